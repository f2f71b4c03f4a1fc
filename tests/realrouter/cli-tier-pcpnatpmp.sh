#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# harborly-cli against a real PCP / NAT-PMP router: status, point, slots, dmz and clear with
# RouterKind=pcp, natpmp and auto, every forward checked a second time in the router's own table
# (miniupnpd also lists the mappings made over PCP and NAT-PMP through UPnP, curl + SOAP).
#
# Runs inside run-miniupnpd-tier's LAN namespace; started outside one (ROUTER unset) it starts
# the tier itself. Needs HARBORLY_CLI (path of harborly-cli). HARBORLY_HOME may name a scratch
# folder; each kind gets a program folder of its own below it, whose Harborly.ini is (re)written
# with that RouterKind and LanPrivateIP=ROUTER.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ROUTER:-}" ]; then
  exec "$here/run-miniupnpd-tier" -- "$here/cli-tier-pcpnatpmp.sh"
fi
tier=cli-tier-pcpnatpmp
. "$here/tier-checks.sh"

scratch=$(mktemp -d /tmp/hb-cli-tier-pcpnatpmp.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
base=${HARBORLY_HOME:-$scratch/home}

# How miniupnpd describes a mapping made with each protocol.
description_of() {
  case $1 in
    PCP) echo '^PCP MAP [0-9a-fA-F]{24}$' ;;
    NAT-PMP) echo "^NAT-PMP $2 ${3,,}\$" ;;
    *) echo 'Harborly' ;;
  esac
}
expect_mapped() {
  local port=$1 protocol=$2 answer description lease
  answer=$(mapping "$port" "$protocol")
  description=$(field NewPortMappingDescription "$answer")
  lease=$(field NewLeaseDuration "$answer")
  if [ "$(field NewInternalClient "$answer")" = "$CLIENT" ] &&
    [ "$(field NewInternalPort "$answer")" = "$port" ] &&
    grep -Eq -- "$(description_of "$found" "$port" "$protocol")" <<<"$description"; then
    pass "router maps $port/$protocol to $CLIENT ($description, $lease s left)"
  else
    miss "router has no $found mapping $port/$protocol to $CLIENT: ${description:-$(field errorCode "$answer")}"
  fi
  # PCP and NAT-PMP leases always run out; the renewals are Harborly's business.
  if [ "$found" != UPnP ]; then
    if [ -n "$lease" ] && [ "$lease" -gt 0 ]; then
      pass "the $port/$protocol lease runs out ($lease s)"
    else
      miss "the $port/$protocol lease is '$lease', not a number of seconds"
    fi
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
expect_table_empty() {
  if [ "$(field errorCode "$(soap GetGenericPortMappingEntry '<NewPortMappingIndex>0</NewPortMappingIndex>')")" = 713 ]; then
    pass "router's table is empty"
  else
    miss "router's table is not empty"
  fi
}
# Harborly.leases: beside Harborly.ini, owner-only, naming what Harborly holds.
expect_ledger() {
  local file=$home/Harborly.leases mode
  if [ ! -f "$file" ]; then
    miss "no Harborly.leases beside Harborly.ini"
    return
  fi
  mode=$(stat -c %a "$file")
  if [ "$mode" = 600 ]; then pass "Harborly.leases is owner-only"; else miss "Harborly.leases has mode $mode"; fi
  if grep -q 8096 "$file" && grep -q 51820 "$file"; then
    pass "Harborly.leases records 8096 and 51820"
  else
    miss "Harborly.leases lacks 8096 or 51820"
  fi
}
expect_ledger_clear() {
  local file=$home/Harborly.leases
  if [ -f "$file" ] && grep -Eq '8096|51820' "$file"; then
    miss "Harborly.leases still records a forward after clear"
  else
    pass "Harborly.leases records nothing of ours"
  fi
}

# A duration as "slots" might show the time left: 7190 s, 119 min, 2 h, 1:59:50.
readonly TIME_LEFT='[0-9]+ ?(s|sec|secs|seconds?|m|min|mins|minutes?|h|hours?)([^a-z]|$)|[0-9]+:[0-9]{2}'

for kind in pcp natpmp auto; do
  tag="[$kind] "
  home=$base/$kind
  echo "cli-tier-pcpnatpmp: --- RouterKind=$kind, LanPrivateIP=$ROUTER"
  write_ini "$kind" "$ROUTER"

  run status
  expect_code 0 "status"
  expect_text '11\.22\.33\.44' "status shows the external address"
  case $kind in
    pcp) want=PCP ;;
    natpmp) want=NAT-PMP ;;
    # The router offers all three; UPnP is preferred when several answer.
    auto) want=UPnP ;;
  esac
  expect_text "$want" "status says $want"
  found=$want

  run point Jellyfin "WireGuard VPN"
  expect_code 0 "point Jellyfin, WireGuard VPN"
  expect_text 'Completed' "point says Completed"
  expect_mapped 8096 TCP
  expect_mapped 51820 UDP
  expect_unmapped 8096 UDP
  expect_ledger

  run point Jellyfin
  expect_code 0 "point again: a forward of this computer's is renewed, no conflict"
  expect_mapped 8096 TCP

  run slots
  expect_code 0 "slots"
  expect_text '8096' "slots lists 8096"
  expect_text '51820' "slots lists 51820"
  if [ "$found" != UPnP ]; then
    if grep -E -- '8096|51820' <<<"$out" | grep -Eq -- "$TIME_LEFT"; then
      pass "slots shows the time left of the forwards"
    else
      miss "slots shows no time left next to 8096 / 51820"
    fi
  fi

  run dmz set
  expect_code 3 "dmz set on a $found router"
  expect_text '[Dd][Mm][Zz]' "the refusal speaks of the DMZ"

  run clear
  expect_code 0 "clear"
  expect_unmapped 8096 TCP
  expect_unmapped 51820 UDP
  expect_table_empty
  expect_ledger_clear

  run slots
  expect_code 0 "slots after clear"
  expect_no_text '8096|51820' "slots lists nothing of ours"

  # An address in the LAN where nothing answers: nothing leaves the namespace. (Not for auto,
  # whose multicast discovery would still meet the tier's router.)
  if [ "$kind" != auto ]; then
    write_ini "$kind" 10.251.0.99
    run status
    expect_code 1 "status with no router"
    expect_no_text '11\.22\.33\.44' "no external address without a router"
  fi
done

if [ "$failures" = 0 ]; then
  echo "cli-tier-pcpnatpmp: all checks passed"
  exit 0
fi
echo "cli-tier-pcpnatpmp: $failures check(s) failed"
exit 1
