#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# harborly-cli on a LAN host with IPv6 alone: the host's IPv4 address and default route are
# taken away inside the tier's LAN namespace, LanPrivateIP is empty, and Harborly finds the
# router by the IPv6 default route (first the router's global address, then its link-local one
# with the interface as zone). point opens the pinhole and no IPv4 forward, a far host connects
# through it, slots lists it, clear closes it; the same with PCP; NAT-PMP says it cannot.
#
# Runs inside run-miniupnpd-tier's LAN namespace, made with --ipv6; started outside one (ROUTER
# unset) it starts the tier itself. Needs HARBORLY_CLI (path of harborly-cli).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ROUTER:-}" ]; then
  exec "$here/run-miniupnpd-tier" --ipv6 -- "$here/cli-tier-v6only.sh"
fi
tier=cli-tier-v6only
. "$here/tier-checks.sh"
if [ -z "${TIER_NFT:-}" ] || [ -z "${TIER_ISP:-}" ] || [ "${CLIENT6:-}" != 2001:db8:1::100 ]; then
  echo "$tier: needs the tier's IPv6 layout (run-miniupnpd-tier --ipv6)" >&2
  exit 64
fi
python=$(command -v /usr/bin/python3 python3 | head -n 1)

scratch=$(mktemp -d /tmp/hb-cli-tier-v6only.XXXXXX)
listener=
trap '[ -n "$listener" ] && kill "$listener" 2>/dev/null; rm -rf "$scratch"' EXIT
readonly PORT=8096 # Jellyfin's, TCP
readonly DEST_MATCH="@nh,192,128 0x20010db8000100000000000000000100"

start_greeter "$PORT"

rules() { "$TIER_NFT" list chain inet filter miniupnpd 2>&1; }
pinhole_rule() { rules | grep -F "$DEST_MATCH" | grep "th dport $PORT "; }
expect_rule() {
  local rule
  rule=$(pinhole_rule)
  if [ -n "$rule" ]; then pass "$1: $(sed 's/^[[:space:]]*//' <<<"$rule")"; else
    miss "$1: no rule for [$CLIENT6]:$PORT"
    rules | sed 's/^/    nft| /'
  fi
}
expect_no_rule() {
  if [ -z "$(pinhole_rule)" ]; then pass "$1"; else miss "$1: $(pinhole_rule)"; fi
}
# The router's IPv4 forwarding table, asked over IPv6 (this host has no IPv4 left).
expect_no_forward() {
  local answer
  answer=$(curl -s --max-time 10 --noproxy '*' -H 'Content-Type: text/xml; charset="utf-8"' \
    -H "SOAPAction: \"$SERVICE#GetSpecificPortMappingEntry\"" \
    --data-binary "<?xml version=\"1.0\"?>
<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:GetSpecificPortMappingEntry xmlns:u=\"$SERVICE\"><NewRemoteHost></NewRemoteHost><NewExternalPort>$PORT</NewExternalPort><NewProtocol>TCP</NewProtocol></u:GetSpecificPortMappingEntry></s:Body></s:Envelope>" \
    "http://[$ROUTER6]:5000/ctl/IPConn")
  if [ "$(field errorCode "$answer")" = 714 ]; then pass "$1"; else
    miss "$1: $(field NewInternalClient "$answer") $(field errorCode "$answer")"
  fi
}
write_ini6() {
  write_ini "$1" ""
  echo "Ipv6Address=$CLIENT6" >>"$home/Harborly.ini"
}
# point, the rule, a connection through it, slots, clear, and the rule gone.
point_and_clear() {
  run point Jellyfin
  expect_code 0 "point Jellyfin"
  expect_text "no IPv4 address toward the router; only IPv6 ports were opened" \
    "point says only IPv6 ports were opened"
  expect_text "^Jellyfin $PORT/TCP: IPv6 pinhole open, .*listens on $PORT" \
    "point's check speaks of the pinhole and the listener, of no IPv4 forward"
  expect_rule "miniupnpd's nftables hold the pinhole"
  expect_no_forward "no IPv4 forward of $PORT/TCP on the router"
  expect_reach "$CLIENT6" "through the pinhole, [$CLIENT6]:$PORT from outside"
  run slots
  expect_code 0 "slots"
  expect_text "IPv6 pinhole to this computer, \[$CLIENT6\]:$PORT TCP" "slots lists the pinhole"
  run clear
  expect_code 0 "clear"
  expect_no_rule "after clear, miniupnpd's nftables hold no pinhole"
  expect_dropped "$CLIENT6" "after clear, [$CLIENT6]:$PORT from outside"
}

# Only addresses of this namespace, made by the tier: IPv4 goes, IPv6 stays.
ip -4 route flush default && ip -4 addr flush dev eth0 || {
  echo "$tier: cannot take IPv4 away from eth0" >&2
  exit 1
}
if [ -z "$(ip -4 addr show dev eth0)" ] && [ -z "$(ip -4 route show default)" ]; then
  pass "this host has no IPv4 address and no IPv4 default route"
else
  miss "IPv4 is still here: $(ip -4 -o addr show dev eth0) $(ip -4 route show default)"
fi
expect_dropped "$CLIENT6" "before point, [$CLIENT6]:$PORT from outside"

tag="[upnp, default via $ROUTER6] "
home=$scratch/upnp
write_ini6 upnp
run status
expect_code 0 "status"
expect_text "WAN Public IP Address: $WAN" "status tells the WAN address over IPv6 control"
point_and_clear

# The router drops the unicast search (some do not answer one): the search of the IPv6 groups
# finds it, and the router counts the datagrams that came to them.
tag="[upnp, multicast search] "
home=$scratch/upnp-multicast
write_ini6 upnp
if "$TIER_NFT" -f - <<EOF; then
table inet hbsearch {
	chain input {
		type filter hook input priority -10; policy accept;
		ip6 daddr $ROUTER6 udp dport 1900 drop
		ip6 daddr { ff02::c, ff05::c } udp dport 1900 counter
	}
}
EOF
  run status
  expect_code 0 "status"
  expect_text "WAN Public IP Address: $WAN" "status tells the WAN address"
  counted=$("$TIER_NFT" list table inet hbsearch | sed -n 's/.*counter packets \([0-9]*\).*/\1/p')
  if [ "${counted:-0}" -gt 0 ]; then pass "the router got $counted search(es) on ff02::c / ff05::c"; else
    miss "no search reached ff02::c or ff05::c"
  fi
  "$TIER_NFT" delete table inet hbsearch
else
  miss "cannot make the router drop the unicast search"
fi

# A router advertisement's default route names the router's link-local address. Its answer to
# a search of the link-local group comes from there.
router_ll=$("$python" -c '
import socket
s = socket.socket(socket.AF_INET6, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_MULTICAST_HOPS, 2)
s.settimeout(3)
s.sendto(b"M-SEARCH * HTTP/1.1\r\nHOST: [FF02::C]:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\n"
         b"ST: upnp:rootdevice\r\n\r\n", ("ff02::c", 1900, 0, socket.if_nametoindex("eth0")))
print(s.recvfrom(2048)[1][0].split("%")[0])
' 2>/dev/null)
if [[ "$router_ll" == fe80:* ]] && ip -6 route replace default via "$router_ll" dev eth0; then
  pass "the default route now names the router's link-local address $router_ll"
  tag="[upnp, default via $router_ll%eth0] "
  home=$scratch/upnp-ll
  write_ini6 upnp
  point_and_clear
  ip -6 route replace default via "$ROUTER6" dev eth0
else
  miss "no link-local answer to a search of ff02::c: '$router_ll'"
fi

tag="[pcp] "
home=$scratch/pcp
write_ini6 pcp
point_and_clear

tag="[auto] "
home=$scratch/auto
write_ini6 auto
point_and_clear

tag="[natpmp] "
home=$scratch/natpmp
write_ini6 natpmp
run point Jellyfin
expect_code 1 "point Jellyfin"
expect_text "NAT-PMP works over IPv4 only" "NAT-PMP says it cannot work over IPv6"
expect_no_rule "miniupnpd's nftables hold no pinhole"

if [ "$failures" = 0 ]; then
  echo "$tier: all checks passed"
  exit 0
fi
echo "$tier: $failures check(s) failed"
exit 1
