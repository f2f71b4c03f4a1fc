#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# harborly-cli behind two real routers (double NAT): the inner miniupnpd tells the public
# address (ext_ip), so Harborly finds the router in front by the path. A listener here is
# unreachable from the Internet until `point`, reachable after, and unreachable again after
# `clear`; status names the public address and both routers; keep renews the forwards on both;
# each daemon's own nftables are checked for Harborly's rules.
#
# Runs inside run-miniupnpd-tier's LAN namespace, made with --double; started outside one
# (ROUTER unset) it starts the tier itself. Needs HARBORLY_CLI (path of harborly-cli).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${ROUTER:-}" ]; then
  exec "$here/run-miniupnpd-tier" --double -- "$here/cli-tier-double.sh"
fi
tier=cli-tier-double
. "$here/tier-checks.sh"
if [ -z "${TIER_NFT_OUTER:-}" ] || [ -z "${TIER_ISP:-}" ] || [ "${OUTER:-}" != 192.168.77.1 ]; then
  echo "$tier: needs the tier's double NAT (run-miniupnpd-tier --double)" >&2
  exit 64
fi
python=$(command -v /usr/bin/python3 python3 | head -n 1)

scratch=$(mktemp -d -t hb-cli-tier-double.XXXXXX)
listener=
trap '[ -n "$listener" ] && kill "$listener" 2>/dev/null; rm -rf "$scratch"' EXIT
readonly PORT=8096 # Jellyfin's, TCP

start_greeter "$PORT"

# A daemon's port forward for PORT: its DNAT rule, toward where.
dnat() { "$1" list chain inet filter prerouting_miniupnpd 2>&1 | grep -E "dport $PORT .*dnat"; }
expect_dnat() {
  local nft=$1 toward=$2 what=$3 rule
  rule=$(dnat "$nft")
  if grep -q "$toward:$PORT" <<<"$rule"; then pass "$what: $(sed 's/^[[:space:]]*//' <<<"$rule")"; else
    miss "$what: no DNAT of $PORT toward $toward"
    "$nft" list chain inet filter prerouting_miniupnpd 2>&1 | sed 's/^/    nft| /'
  fi
}
expect_no_dnat() {
  if [ -z "$(dnat "$1")" ]; then pass "$2"; else miss "$2: $(dnat "$1")"; fi
}
# Another program's NAT-PMP mapping of TCP 2000 on the router in front (lifetime 0: deleted).
foreign_map() {
  "$python" -c '
import socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
for wait in (0.25, 0.5, 1.0, 2.0):
    s.sendto(struct.pack("!BBHHHI", 0, 2, 0, 2000, 2000, int(sys.argv[2])), (sys.argv[1], 5351))
    s.settimeout(wait)
    try:
        print(s.recv(16).hex())
        sys.exit(0)
    except socket.timeout:
        pass
sys.exit(1)
' "$OUTER" "$1" | sed 's/^/    natpmp| /'
}
foreign_held() {
  local _
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    "$TIER_NFT_OUTER" list chain inet filter prerouting_miniupnpd | grep -q "dport 2000 " && return 0
    sleep 0.2
  done
  return 1
}
recorded() {
  awk -F'\t' '!/^#/ && NF >= 10' "$home/Harborly.leases" 2>/dev/null
}

for kind in upnp pcp; do
  tag="[$kind] "
  home=$scratch/$kind
  write_ini "$kind" "$ROUTER"

  expect_dropped "$WAN" "before point, $WAN:$PORT from outside"

  run status
  expect_code 0 "status"
  expect_text "^WAN Public IP Address: $WAN" "status names the public address $WAN"
  expect_text "two routers" "status says there are two routers"
  expect_text "behind .*$OUTER" "status names the router in front, $OUTER"

  run point Jellyfin
  expect_code 0 "point Jellyfin"
  expect_dnat "$TIER_NFT" "$CLIENT" "the inner daemon forwards $PORT to this computer"
  expect_dnat "$TIER_NFT_OUTER" "$INNER_WAN" "the outer daemon forwards $PORT to the inner router"
  expect_reach "$WAN" "through both routers, $WAN:$PORT from outside"
  if recorded | awk -F'\t' -v o="$OUTER" '$1 == o' | grep -q .; then
    pass "the record holds the forward on $OUTER"
  else
    miss "the record holds nothing on $OUTER"
    recorded | sed 's/^/    record| /'
  fi

  run slots
  expect_text "$OUTER" "slots lists the router in front's forwards"

  # Every lease nearly over, so keep's first tick renews the forwards on both routers.
  soon=$(date -u -d '+60 seconds' +%Y-%m-%dT%H:%M:%SZ)
  awk -F'\t' -v OFS='\t' -v soon="$soon" '!/^#/ && NF >= 10 && $6 != "" {$6 = soon} {print}' \
    "$home/Harborly.leases" >"$scratch/leases" && cat "$scratch/leases" >"$home/Harborly.leases"
  timeout 60 "$cli" --home "$home" keep >"$scratch/keep.out" 2>&1 </dev/null &
  keeper=$!
  for _ in $(seq 40); do
    [ "$(grep -cE ' (renewed|made again) ' "$scratch/keep.out")" -ge 2 ] && break
    sleep 0.5
  done
  kill "$keeper" 2>/dev/null
  wait "$keeper" 2>/dev/null
  sed 's/^/    keep| /' "$scratch/keep.out"
  out=$(cat "$scratch/keep.out")
  # A PCP router's line whose lease was moved reads as a router restarted meanwhile (its epoch
  # falls behind the time since): the forward is made again, with its nonce, which renews it.
  expect_text " (renewed|made again) .* on $ROUTER: " "keep renews the forward on the inner router"
  expect_text " renewed .* on the router in front \($OUTER\): " "keep renews the forward in front"

  if foreign_map 3600 && foreign_held; then
    pass "another program's forward is on the router in front"
  else
    miss "another program's forward could not be made on the router in front"
  fi
  run clear
  expect_code 0 "clear"
  expect_no_dnat "$TIER_NFT" "the inner daemon holds no forward of $PORT after clear"
  expect_no_dnat "$TIER_NFT_OUTER" "the outer daemon holds no forward of $PORT after clear"
  if foreign_held; then
    pass "clear leaves another program's forward on the router in front"
  else
    miss "clear removed another program's forward on the router in front"
  fi
  foreign_map 0
  expect_dropped "$WAN" "after clear, $WAN:$PORT from outside"
  if [ -z "$(recorded)" ]; then pass "the record is empty after clear"; else
    miss "the record keeps lines after clear"
    recorded | sed 's/^/    record| /'
  fi
done

if [ "$failures" = 0 ]; then
  echo "$tier: all checks passed"
  exit 0
fi
echo "$tier: $failures check(s) failed"
exit 1
