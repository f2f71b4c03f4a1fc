#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
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

# Forwards clear must leave alone: another program's on this computer, and another computer's
# (a second LAN address; miniupnpd maps only to the address a request comes from).
readonly OTHER=10.251.0.3
add_foreign() { # from port protocol description
  from=$1 soap AddPortMapping "<NewRemoteHost></NewRemoteHost><NewExternalPort>$2</NewExternalPort><NewProtocol>$3</NewProtocol><NewInternalPort>$2</NewInternalPort><NewInternalClient>$1</NewInternalClient><NewEnabled>1</NewEnabled><NewPortMappingDescription>$4</NewPortMappingDescription><NewLeaseDuration>3600</NewLeaseDuration>"
}
expect_foreign() { # client port protocol description
  local answer
  answer=$(mapping "$2" "$3")
  if [ "$(field NewInternalClient "$answer")" = "$1" ] &&
    [ "$(field NewPortMappingDescription "$answer")" = "$4" ]; then
    pass "router still maps $2/$3 to $1 ($4)"
  else
    miss "router lost $2/$3 to $1 ($4): $(field errorCode "$answer")"
  fi
}
table_size() {
  local i=0
  while [ "$i" -lt 64 ] &&
    [ -n "$(field NewExternalPort "$(soap GetGenericPortMappingEntry "<NewPortMappingIndex>$i</NewPortMappingIndex>")")" ]; do
    i=$((i + 1))
  done
  echo "$i"
}
ip addr add "$OTHER/24" dev eth0 2>/dev/null
add_foreign "$CLIENT" 6881 TCP "Torrent client" >/dev/null
add_foreign "$OTHER" 27015 UDP "Game console" >/dev/null
expect_foreign "$CLIENT" 6881 TCP "Torrent client"
expect_foreign "$OTHER" 27015 UDP "Game console"

run clear
expect_code 0 "clear"
expect_no_text 'Error|refuse' "clear reports no refusal"
expect_unmapped 8096 TCP
expect_unmapped 51820 UDP
expect_foreign "$CLIENT" 6881 TCP "Torrent client"
expect_foreign "$OTHER" 27015 UDP "Game console"
if [ "$(table_size)" = 2 ]; then
  pass "router's table holds the two others' forwards alone"
else
  miss "router's table holds $(table_size) forwards after clear, not the two others'"
fi

from=$CLIENT soap DeletePortMapping "<NewRemoteHost></NewRemoteHost><NewExternalPort>6881</NewExternalPort><NewProtocol>TCP</NewProtocol>" >/dev/null
from=$OTHER soap DeletePortMapping "<NewRemoteHost></NewRemoteHost><NewExternalPort>27015</NewExternalPort><NewProtocol>UDP</NewProtocol>" >/dev/null
ip addr del "$OTHER/24" dev eth0 2>/dev/null
if [ "$(table_size)" = 0 ]; then
  pass "router's table is empty"
else
  miss "router's table is not empty after the others' forwards were removed"
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
expect_text 'No router answered' "the failure is the usual one"

if [ "$failures" = 0 ]; then
  echo "cli-tier: all checks passed"
  exit 0
fi
echo "cli-tier: $failures check(s) failed"
exit 1
