#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# harborly-cli and IPv6 pinholes on a real router: point opens the IPv4 forward and the pinhole,
# both checked in miniupnpd's own nftables rules and over SOAP; keep renews the pinhole; slots
# lists it; clear closes it. A far host connects to a listener on this computer through the
# forward and through the pinhole, and is dropped without the pinhole. Then the same with PCP,
# and on both kinds keep follows a change of this computer's IPv6 address.
#
# Runs inside run-miniupnpd-tier's LAN namespace, made with --ipv6; started outside one (ROUTER
# unset) it starts the tier itself. Needs HARBORLY_CLI (path of harborly-cli).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ROUTER:-}" ]; then
  exec "$here/run-miniupnpd-tier" --ipv6 -- "$here/cli-tier-ipv6.sh"
fi
tier=cli-tier-ipv6
. "$here/tier-checks.sh"
if [ -z "${TIER_NFT:-}" ] || [ -z "${TIER_ISP:-}" ] || [ "${CLIENT6:-}" != 2001:db8:1::100 ]; then
  echo "$tier: needs the tier's IPv6 layout (run-miniupnpd-tier --ipv6)" >&2
  exit 64
fi
python=$(command -v /usr/bin/python3 python3 | head -n 1)

# The words of a failed pinhole, outside point's own check of each port (which may say that it
# "cannot tell from inside").
no_ipv6_trouble() {
  local saved=$out
  out=$(grep -Ev '^[^:]+ [0-9]+/(TCP|UDP): ' <<<"$saved")
  expect_no_text 'IPv6.*(cannot|refus|not )' "point names no IPv6 trouble"
  out=$saved
}

scratch=$(mktemp -d /tmp/hb-cli-tier-ipv6.XXXXXX)
listener=
trap '[ -n "$listener" ] && kill "$listener" 2>/dev/null; rm -rf "$scratch"' EXIT
readonly PORT=8096 # Jellyfin's, TCP
readonly FC_SERVICE=urn:schemas-upnp-org:service:WANIPv6FirewallControl:1
readonly FC_CONTROL="http://[$ROUTER6]:5000/ctl/IP6FCtl"
# The pinhole's rule matches the destination address as 16 bytes of the IPv6 header.
readonly DEST_MATCH="@nh,192,128 0x20010db8000100000000000000000100"

start_greeter "$PORT"

# miniupnpd's rules; with --debug=netlink each carries its label (pinhole-ID ts-EXPIRY, PCP MAP).
rules() { "$TIER_NFT" list chain inet filter miniupnpd 2>&1; }
labels() { "$TIER_NFT" --debug=netlink list chain inet filter miniupnpd 2>&1 | grep -Eo 'pinhole-[0-9]+ ts-[0-9]+|PCP MAP [0-9a-f]+'; }
pinhole_rule() { rules | grep -F "$DEST_MATCH" | grep "th dport $PORT "; }
expect_rule() {
  local what=$1 rule
  rule=$(pinhole_rule)
  if [ -n "$rule" ]; then pass "$what: $(sed 's/^[[:space:]]*//' <<<"$rule")"; else
    miss "$what: no rule for [$CLIENT6]:$PORT"
    rules | sed 's/^/    nft| /'
  fi
}
expect_no_rule() {
  if [ -z "$(pinhole_rule)" ]; then pass "$1"; else miss "$1: $(pinhole_rule)"; fi
}

# One action of the firewall service, sent from this computer's IPv6 address (the owner's).
soap6() {
  local action=$1 args=$2
  curl -s --max-time 10 --noproxy '*' --interface "$CLIENT6" \
    -H 'Content-Type: text/xml; charset="utf-8"' \
    -H "SOAPAction: \"$FC_SERVICE#$action\"" \
    --data-binary "<?xml version=\"1.0\"?>
<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:$action xmlns:u=\"$FC_SERVICE\">$args</u:$action></s:Body></s:Envelope>" \
    "$FC_CONTROL"
}
# The record's pinhole line for the port: fields 6 lease end, 14 address, 15 UniqueID.
pinhole_line() {
  awk -F'\t' -v port="$PORT" '$2 == "pinhole6" && $5 == port' "$home/Harborly.leases" 2>/dev/null
}
# The record says the pinhole's lease is nearly over, so keep's first tick renews it.
keep_tick() {
  local soon
  soon=$(date -u -d '+60 seconds' +%Y-%m-%dT%H:%M:%SZ)
  awk -F'\t' -v OFS='\t' -v port="$PORT" -v soon="$soon" \
    '$2 == "pinhole6" && $5 == port {$6 = soon} {print}' "$home/Harborly.leases" >"$scratch/leases" &&
    cat "$scratch/leases" >"$home/Harborly.leases"
  timeout 60 "$cli" --home "$home" keep >"$scratch/keep.out" 2>&1 </dev/null &
  local keeper=$!
  for _ in $(seq 30); do
    grep -q 'pinhole' "$scratch/keep.out" && break
    sleep 1
  done
  kill "$keeper" 2>/dev/null
  wait "$keeper" 2>/dev/null
  sed 's/^/    keep| /' "$scratch/keep.out"
  if grep -q 'renewed IPv6 pinhole' "$scratch/keep.out"; then pass "keep renews the pinhole"; else
    miss "keep did not say it renewed the pinhole"
  fi
}
write_ini6() {
  write_ini "$1" "$ROUTER"
  echo "Ipv6Address=$CLIENT6" >>"$home/Harborly.ini"
}

tag="[upnp] "
home=$scratch/upnp
write_ini6 upnp

expect_dropped "$CLIENT6" "before point, [$CLIENT6]:$PORT from outside"
expect_dropped "$WAN" "before point, $WAN:$PORT from outside"

run point Jellyfin
expect_code 0 "point Jellyfin"
no_ipv6_trouble
expect_text "^Jellyfin $PORT/TCP: forwarded, IPv6 pinhole open, .*listens on $PORT" \
  "point checks the port: forwarded, pinhole open, the listener named"
expect_rule "miniupnpd's nftables hold the pinhole"
answer=$(mapping "$PORT" TCP)
if [ "$(field NewInternalClient "$answer")" = "$CLIENT" ]; then
  pass "miniupnpd maps $PORT/TCP to $CLIENT"
else
  miss "miniupnpd has no mapping $PORT/TCP: $(field errorCode "$answer")"
fi

line=$(pinhole_line)
id=$(cut -f15 <<<"$line")
if [ -n "$line" ] && [ "$(cut -f14 <<<"$line")" = "$CLIENT6" ] && [ -n "$id" ]; then
  pass "the record holds the pinhole for $CLIENT6, UniqueID $id"
else
  miss "the record holds no pinhole for $CLIENT6: '$line'"
fi
# miniupnpd answers GetPinholePackets (always 0 on nftables) only for a pinhole it holds.
answer=$(soap6 GetPinholePackets "<UniqueID>${id:-0}</UniqueID>")
if grep -q '<PinholePackets>' <<<"$answer"; then
  pass "SOAP GetPinholePackets($id) names a pinhole miniupnpd holds"
else
  miss "SOAP GetPinholePackets($id): $(field errorCode "$answer") $(field errorDescription "$answer")"
fi
if labels | grep -q "^pinhole-$id ts-"; then pass "its rule is labelled pinhole-$id"; else
  miss "no rule labelled pinhole-$id: $(labels | tr '\n' ' ')"
fi

expect_reach "$CLIENT6" "through the pinhole, [$CLIENT6]:$PORT from outside"
expect_reach "$WAN" "through the forward, $WAN:$PORT from outside"

run slots
expect_code 0 "slots"
expect_text "IPv6 pinhole to this computer, \[$CLIENT6\]:$PORT TCP" "slots lists the pinhole"

run check Jellyfin
expect_text "IPv6 pinhole open" "check says the pinhole is open"
expect_text "listens on $PORT" "check sees the listener"

# Renewal: the record says the lease is nearly over, so keep's first tick renews it
# (UpdatePinhole), and the rule's expiry stamp moves on.
stamp_before=$(labels | sed -n "s/^pinhole-$id ts-//p")
keep_tick
stamp_after=$(labels | sed -n "s/^pinhole-$id ts-//p")
if [ -n "$stamp_after" ] && [ -n "$stamp_before" ] && [ "$stamp_after" -gt "$stamp_before" ]; then
  pass "the rule's expiry moved on ($stamp_before -> $stamp_after)"
else
  miss "the rule's expiry did not move on ('$stamp_before' -> '$stamp_after')"
fi
lease_end=$(cut -f6 <<<"$(pinhole_line)")
if [ -n "$lease_end" ] && [ "$(date -d "$lease_end" +%s)" -gt $(($(date +%s) + 1800)) ]; then
  pass "the record's lease runs to $lease_end"
else
  miss "the record's lease was not renewed: '$lease_end'"
fi

run clear
expect_code 0 "clear"
expect_no_rule "after clear, miniupnpd's nftables hold no pinhole"
answer=$(soap6 GetPinholePackets "<UniqueID>${id:-0}</UniqueID>")
if [ -n "$(field errorCode "$answer")" ]; then
  pass "SOAP GetPinholePackets($id) after clear: fault $(field errorCode "$answer")"
else
  miss "SOAP GetPinholePackets($id) after clear still answers"
fi
expect_dropped "$CLIENT6" "after clear, [$CLIENT6]:$PORT from outside"
expect_dropped "$WAN" "after clear, $WAN:$PORT from outside"
if [ -z "$(pinhole_line)" ]; then pass "the record holds no pinhole"; else miss "the record still holds: $(pinhole_line)"; fi

# PCP: MAP for the IPv6 address opens the pinhole (miniupnpd answers with the address and port
# themselves: no translation).
tag="[pcp] "
home=$scratch/pcp
write_ini6 pcp
run point Jellyfin
expect_code 0 "point Jellyfin"
no_ipv6_trouble
expect_text "^Jellyfin $PORT/TCP: forwarded, IPv6 pinhole open, " "point's check names the pinhole"
expect_rule "miniupnpd's nftables hold the pinhole"
# The label holds the nonce as three 32-bit words in the router's byte order (little-endian).
nonce=$(cut -f8 <<<"$(pinhole_line)")
label=$(sed -E 's/(..)(..)(..)(..)/\4\3\2\1/g' <<<"$nonce")
if [ ${#nonce} = 24 ] && labels | grep -qx "PCP MAP $label"; then
  pass "its rule is labelled PCP MAP $label, the record's nonce $nonce"
else
  miss "no rule labelled with the record's nonce '$nonce': $(labels | tr '\n' ' ')"
fi
expect_reach "$CLIENT6" "through the pinhole, [$CLIENT6]:$PORT from outside"
run slots
expect_code 0 "slots"
expect_text "IPv6 pinhole to this computer, \[$CLIENT6\]:$PORT TCP" "slots lists the pinhole"
run clear
expect_code 0 "clear"
expect_no_rule "after clear, miniupnpd's nftables hold no pinhole"
expect_dropped "$CLIENT6" "after clear, [$CLIENT6]:$PORT from outside"

# Once renewed, miniupnpd 2.3.1 refuses the pinhole's own delete: clear lets it lapse on the
# shortest lease instead, says so, and the router drops it when that is over.
run point Jellyfin
expect_code 0 "point Jellyfin again"
keep_tick
expect_rule "after the renewal, miniupnpd's nftables hold the pinhole"
run clear
expect_code 0 "clear after a renewal"
expect_text "closes by itself in 120 s" "clear says the pinhole closes by itself"
if [ "$(cut -f11 <<<"$(pinhole_line)")" = clearing ]; then pass "the record marks it as clearing"; else
  miss "the record does not mark it as clearing: '$(pinhole_line)'"
fi
for _ in $(seq 150); do
  [ -z "$(pinhole_rule)" ] && break
  sleep 1
done
expect_no_rule "when that lease is over, miniupnpd's nftables hold no pinhole"
expect_dropped "$CLIENT6" "then [$CLIENT6]:$PORT from outside"
run clear
expect_code 0 "clear once it lapsed"
if [ -z "$(pinhole_line)" ]; then pass "the record holds no pinhole"; else miss "the record still holds: $(pinhole_line)"; fi

# This computer's address changes, as when the provider hands out a new prefix: a second global
# address comes and the first is deprecated. keep opens the pinhole for the new one, closes the
# old one's, and the far host reaches the new address. Harborly is told the interface, not an
# address, so it follows what the kernel lists.
readonly CLIENT6_NEW=2001:db8:1::200
readonly NEW_DEST_MATCH="@nh,192,128 0x20010db8000100000000000000000200"
rule_to() { rules | grep -F "$1" | grep "th dport $PORT "; }
follow_keep() {
  timeout 60 "$cli" --home "$home" keep >"$scratch/keep.out" 2>&1 </dev/null &
  local keeper=$!
  for _ in $(seq 30); do
    grep -q 'IPv6 address changed' "$scratch/keep.out" && break
    sleep 1
  done
  kill "$keeper" 2>/dev/null
  wait "$keeper" 2>/dev/null
  sed 's/^/    keep| /' "$scratch/keep.out"
}
lan_if=$(ip -6 -o addr show | awk -v a="$CLIENT6/64" '$4 == a {print $2; exit}')
for kind in upnp pcp; do
  tag="[$kind, new address] "
  home=$scratch/follow-$kind
  write_ini "$kind" "$ROUTER"
  echo "Ipv6Address=$lan_if" >>"$home/Harborly.ini"
  run point Jellyfin
  expect_code 0 "point Jellyfin for the interface $lan_if"
  if [ "$(cut -f14 <<<"$(pinhole_line)")" = "$CLIENT6" ]; then pass "the record's pinhole is for $CLIENT6"; else
    miss "the record's pinhole is not for $CLIENT6: '$(pinhole_line)'"
  fi
  expect_rule "miniupnpd's nftables hold the pinhole for $CLIENT6"

  ip -6 addr add "$CLIENT6_NEW/64" dev "$lan_if" nodad
  ip -6 addr change "$CLIENT6/64" dev "$lan_if" valid_lft forever preferred_lft 0
  follow_keep
  if grep -q "This computer's IPv6 address changed to $CLIENT6_NEW; IPv6 ports opened again for it." \
    "$scratch/keep.out"; then pass "keep says the address changed, in one line"; else
    miss "keep did not say the address changed"
  fi
  rule=$(rule_to "$NEW_DEST_MATCH")
  if [ -n "$rule" ]; then pass "miniupnpd's nftables let $PORT in to $CLIENT6_NEW: $(sed 's/^[[:space:]]*//' <<<"$rule")"; else
    miss "no rule for [$CLIENT6_NEW]:$PORT"
    rules | sed 's/^/    nft| /'
  fi
  expect_no_rule "the rule for the old address $CLIENT6 is gone"
  if [ "$(cut -f14 <<<"$(pinhole_line)")" = "$CLIENT6_NEW" ] && [ "$(pinhole_line | wc -l)" = 1 ]; then
    pass "the record's one pinhole line is for $CLIENT6_NEW"
  else
    miss "the record's pinhole lines: '$(pinhole_line)'"
  fi
  expect_reach "$CLIENT6_NEW" "through the pinhole, [$CLIENT6_NEW]:$PORT from outside"
  expect_dropped "$CLIENT6" "[$CLIENT6]:$PORT from outside"

  run clear
  expect_code 0 "clear"
  [ -z "$(rule_to "$NEW_DEST_MATCH")" ] && pass "after clear, no rule for $CLIENT6_NEW" ||
    miss "after clear, still: $(rule_to "$NEW_DEST_MATCH")"
  ip -6 addr del "$CLIENT6_NEW/64" dev "$lan_if"
  ip -6 addr change "$CLIENT6/64" dev "$lan_if" valid_lft forever preferred_lft forever
done

if [ "$failures" = 0 ]; then
  echo "cli-tier-ipv6: all checks passed"
  exit 0
fi
echo "cli-tier-ipv6: $failures check(s) failed"
exit 1
