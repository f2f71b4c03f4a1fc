#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Several harborly-cli processes at once against the real router: four `point` runs beside a
# running `keep`, then a `clear` beside two more points, then a last `clear`; after each step
# Harborly.leases is held line by line against miniupnpd's own table (SOAP listing), for the
# upnp and pcp kinds.
#
# Runs inside run-miniupnpd-tier's LAN namespace; started outside one (ROUTER unset) it starts
# the tier itself. Needs HARBORLY_CLI (path of harborly-cli).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ROUTER:-}" ]; then
  exec "$here/run-miniupnpd-tier" -- "$here/cli-tier-keep.sh"
fi
tier=cli-tier-keep
. "$here/tier-checks.sh"

scratch=$(mktemp -d /tmp/hb-cli-tier-keep.XXXXXX)
keeppid=
trap '[ -n "$keeppid" ] && kill "$keeppid" 2>/dev/null; rm -rf "$scratch"' EXIT
apps=("Jellyfin" "WireGuard VPN" "Plex Media Server" "Home Assistant" "Syncthing")

# The daemon's table, this computer's rows as "PROTO INTERNALPORT", sorted.
daemon_table() {
  local i answer
  for i in $(seq 0 200); do
    answer=$(soap GetGenericPortMappingEntry "<NewPortMappingIndex>$i</NewPortMappingIndex>")
    [ -n "$(field errorCode "$answer")" ] && break
    [ -z "$answer" ] && break
    [ "$(field NewInternalClient "$answer")" = "$CLIENT" ] || continue
    echo "$(field NewProtocol "$answer") $(field NewInternalPort "$answer")"
  done | sort -u
}
record() {
  [ -f "$home/Harborly.leases" ] || return 0
  awk -F'\t' '!/^#/ && NF >= 10 && (NF < 11 || $11 == "held") {print $3 " " $5}' \
    "$home/Harborly.leases" | sort -u
}
unsettled() {
  [ -f "$home/Harborly.leases" ] || return 0
  awk -F'\t' '!/^#/ && NF >= 11 && $11 != "held"' "$home/Harborly.leases"
}
agree() {
  local what=$1 t r
  t=$(daemon_table)
  r=$(record)
  if [ "$t" = "$r" ] && [ -z "$(unsettled)" ]; then
    pass "$what: record and miniupnpd's table agree ($(grep -c . <<<"$t") forwards)"
  else
    miss "$what: record and miniupnpd's table differ"
    diff <(echo "$r") <(echo "$t") | head -10 | sed 's/^/    /'
  fi
}
quiet() { timeout 120 "$cli" --home "$home" "$@" </dev/null >>"$scratch/cli.log" 2>&1; }

for kind in upnp pcp; do
  tag="[$kind] "
  home=$scratch/$kind
  write_ini "$kind" "$ROUTER"
  timeout 600 "$cli" --home "$home" keep >"$scratch/keep-$kind.out" 2>&1 &
  keeppid=$!
  ps=()
  for a in "${apps[@]:0:4}"; do
    quiet point "$a" &
    ps+=($!)
  done
  codes=()
  for p in "${ps[@]}"; do wait "$p"; codes+=($?); done
  if [ "${codes[*]}" = "0 0 0 0" ]; then pass "four points at once: all exit 0"; else miss "four points at once: exits ${codes[*]}"; fi
  agree "four points at once beside keep"
  [ "$(record | grep -c .)" -ge 4 ] || miss "the record lists $(record | grep -c .) forwards"

  ps=()
  quiet clear & ps+=($!)
  quiet point "${apps[4]}" & ps+=($!)
  quiet point "${apps[0]}" & ps+=($!)
  codes=()
  for p in "${ps[@]}"; do wait "$p"; codes+=($?); done
  if [ "${codes[*]}" = "0 0 0" ]; then pass "a clear and two points at once: all exit 0"; else miss "a clear and two points at once: exits ${codes[*]}"; fi
  sleep 2 # a keep tick
  agree "a clear beside two points"

  quiet clear
  code=$?
  expect_code 0 "the last clear"
  sleep 2
  agree "the last clear"
  kill "$keeppid"
  wait "$keeppid" 2>/dev/null
  keeppid=
done

if [ "$failures" = 0 ]; then
  echo "cli-tier-keep: all checks passed"
  exit 0
fi
echo "cli-tier-keep: $failures check(s) failed"
sed 's/^/    cli| /' "$scratch/cli.log" | tail -30
exit 1
