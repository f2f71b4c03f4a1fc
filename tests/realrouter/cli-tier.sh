#!/usr/bin/env bash
# harborly-cli against a real UPnP router: status, point, slots, dmz, clear, with every result
# checked a second time by asking the router directly (curl + SOAP).
#
# Runs inside run-miniupnpd-tier's LAN namespace; started outside one (ROUTER unset) it starts
# the tier itself. Needs HARBORLY_CLI (path of harborly-cli). HARBORLY_HOME may name a scratch
# program folder; its Harborly.ini is (re)written with RouterKind=upnp and LanPrivateIP=ROUTER.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ROUTER:-}" ]; then
  exec "$here/run-miniupnpd-tier" -- "$here/cli-tier.sh"
fi
tier=cli-tier
. "$here/tier-checks.sh"

scratch=$(mktemp -d /tmp/hb-cli-tier.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
home=${HARBORLY_HOME:-$scratch/home}
mkdir -p "$home"

expect_mapped() {
  local port=$1 protocol=$2 answer
  answer=$(mapping "$port" "$protocol")
  if [ "$(field NewInternalClient "$answer")" = "$CLIENT" ] &&
    [ "$(field NewInternalPort "$answer")" = "$port" ] &&
    field NewPortMappingDescription "$answer" | grep -q Harborly; then
    pass "router maps $port/$protocol to $CLIENT ($(field NewPortMappingDescription "$answer"), $(field NewLeaseDuration "$answer") s left)"
  else
    miss "router has no mapping $port/$protocol to $CLIENT: $(field errorCode "$answer")"
  fi
}
expect_unmapped() {
  local port=$1 protocol=$2
  if [ "$(field errorCode "$(mapping "$port" "$protocol")")" = 714 ]; then
    pass "router has no mapping $port/$protocol"
  else
    miss "router still maps $port/$protocol"
  fi
}

write_ini upnp "$ROUTER"

run status
expect_code 0 "status"
expect_text '11\.22\.33\.44' "status shows the external address"
expect_text 'Harborly test router' "status names the router"

run point Jellyfin "WireGuard VPN"
expect_code 0 "point Jellyfin, WireGuard VPN"
expect_text 'Completed' "point says Completed"
expect_mapped 8096 TCP
expect_mapped 51820 UDP
expect_unmapped 8096 UDP

run point Jellyfin
expect_code 0 "point again: a forward that holds is no conflict"

run slots
expect_code 0 "slots"
expect_text '8096' "slots lists 8096"
expect_text '51820' "slots lists 51820"
expect_text "$CLIENT" "slots names this computer"

# miniupnpd's rules allow ports 1024-65535 only: port 80 and 443 are refused (606).
run point "Web Server"
expect_code 2 "point Web Server (ports below 1024)"
expect_text '(^|[^0-9])80([^0-9]|$)' "the refusal names port 80"
expect_no_text 'Completed' "no Completed after a refusal"
expect_unmapped 80 TCP

run dmz set
expect_code 3 "dmz set on a UPnP router"
expect_text '[Dd][Mm][Zz]' "the refusal speaks of the DMZ"

run clear
expect_code 0 "clear"
expect_unmapped 8096 TCP
expect_unmapped 51820 UDP
if [ "$(field errorCode "$(soap GetGenericPortMappingEntry '<NewPortMappingIndex>0</NewPortMappingIndex>')")" = 713 ]; then
  pass "router's table is empty"
else
  miss "router's table is not empty after clear"
fi

run slots
expect_code 0 "slots after clear"
expect_no_text '8096|51820' "slots lists nothing of ours"

# An address in the LAN where nothing answers: discovery gives up, nothing leaves the namespace.
# Nothing answers the unicast search on this port: the multicast search finds the router.
write_ini upnp "$ROUTER:1901"
run status
expect_code 0 "status found by multicast discovery"
expect_text '11\.22\.33\.44' "multicast: the external address"

write_ini upnp 10.251.0.99
run status
expect_code 1 "status with no router"
expect_text 'Communication failure with the router' "the failure is the usual one"

if [ "$failures" = 0 ]; then
  echo "cli-tier: all checks passed"
  exit 0
fi
echo "cli-tier: $failures check(s) failed"
exit 1
