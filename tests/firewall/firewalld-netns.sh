#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# harborly-cli against a real firewalld: firewalld runs in this test's own network and mount
# namespaces with a private system bus, never on the machine. A veth pair leads to a second
# namespace, the router's side, whose connections to a listener here the zone "public"
# refuses. The check names the firewall that blocks; LocalFirewall=open opens the port so the
# connection arrives; a reload drops the opening and keep makes it again; clear closes what
# Harborly opened and nothing else; a user firewalld refuses is told so in words.
#
# Needs root, firewalld, nftables, dbus-daemon, python3, HARBORLY_CLI (harborly-cli) and
# HARBORLY_ROUTER_SIM (harborly-router-sim). Exit 77: something needed is missing.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${HARBORLY_FIREWALL_NS:-}" ]; then
  # A namespace of its own, so that the firewall it runs programs no other.
  exec unshare --net --mount -- env HARBORLY_FIREWALL_NS=1 bash "$0" "$@"
fi
tier=firewalld
cli=${HARBORLY_CLI:?set HARBORLY_CLI to the harborly-cli program}
sim=${HARBORLY_ROUTER_SIM:?set HARBORLY_ROUTER_SIM to the harborly-router-sim program}
for p in firewalld firewall-cmd nft dbus-daemon python3 setpriv ip; do
  command -v "$p" >/dev/null || { echo "$tier: $p is not installed" >&2; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "$tier: needs root (firewalld programs nftables)" >&2; exit 77; }

ip link set lo up
# The bus, firewalld's own files and the router's namespace: this namespace's alone.
mount -t tmpfs -o mode=0755 tmpfs /run || exit 77
scratch=$(mktemp -d -t hb-firewalld.XXXXXX)
chmod 755 "$scratch"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
pass() { echo "$tier: ok   $*"; }
miss() {
  echo "$tier: FAIL $*"
  failures=$((failures + 1))
}
# Runs harborly-cli (as USER when `as` is set); its status in $code, its output in $out.
run() {
  out=$(timeout -s INT "${limit:-60}" ${as:+setpriv --reuid=$as --regid=$as --clear-groups} \
    "$cli" --home "$home" "$@" </dev/null 2>&1)
  code=$?
  printf '    $ harborly-cli %s  -> %s\n' "$*" "$code"
  sed 's/^/    | /' <<<"$out"
}
expect_text() {
  if grep -Fq -- "$1" <<<"$out"; then pass "$2"; else miss "$2 (no \"$1\")"; fi
}
expect_no_text() {
  if grep -Fq -- "$1" <<<"$out"; then miss "$2 (found \"$1\")"; else pass "$2"; fi
}
# Waits for a condition to hold, a bounded number of times; no duration is asserted.
await() {
  local i
  for i in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.2; done
  return 1
}

# The system bus, private: root may own firewalld's name, anyone may call it.
cat >"$scratch/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$scratch/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
  <policy user="root">
    <allow own="org.fedoraproject.FirewallD1"/>
    <allow own="org.fedoraproject.FirewallD1.config"/>
  </policy>
</busconfig>
EOF
dbus-daemon --config-file="$scratch/bus.conf" --nofork --nopidfile >"$scratch/bus.log" 2>&1 &
pids+=($!)
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$scratch/bus
await test -S "$scratch/bus" || { miss "the private bus did not start"; exit 1; }

# firewalld's own settings in the scratch folder; its defaults read from the package.
mkdir -p "$scratch/etc"
printf 'DefaultZone=public\nFirewallBackend=nftables\nCleanupOnExit=yes\nLogDenied=off\n' \
  >"$scratch/etc/firewalld.conf"
firewalld --nofork --nopid --system-config "$scratch/etc" --default-config /usr/lib/firewalld \
  --log-target console >"$scratch/firewalld.log" 2>&1 &
pids+=($!)
firewalld_pid=$!
if ! await bash -c '[ "$(firewall-cmd --state 2>/dev/null)" = running ]'; then
  miss "firewalld did not start"
  sed 's/^/    | /' "$scratch/firewalld.log"
  exit 1
fi
pass "firewalld runs in the test's namespace (pid $firewalld_pid)"

# The router's side: a veth pair, the near end in zone public.
ip netns add hbrouter
ip link add hb0 type veth peer name hb1
ip link set hb1 netns hbrouter
ip addr add 10.252.0.2/24 dev hb0
ip link set hb0 up
ip netns exec hbrouter ip addr add 10.252.0.1/24 dev hb1
ip netns exec hbrouter ip link set hb1 up
ip netns exec hbrouter ip link set lo up
firewall-cmd -q --zone=public --change-interface=hb0

# A program here on 6660 and 6661, greeting whoever connects.
python3 -c '
import socket, threading
def serve(port):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("0.0.0.0", port))
    s.listen(8)
    while True:
        c, _ = s.accept()
        c.sendall(b"hello\n")
        c.close()
for p in (6660, 6661):
    threading.Thread(target=serve, args=(p,)).start()
' &
pids+=($!)
# From the router's side: "arrived" or why not.
reach() {
  ip netns exec hbrouter python3 -c '
import socket, sys
try:
    c = socket.create_connection(("10.252.0.2", int(sys.argv[1])), timeout=10)
    print("arrived" if c.recv(16) == b"hello\n" else "other")
except OSError as e:
    print("refused:", e.strerror or e)
' "$1"
}
expect_reach() { # port want what
  local got
  got=$(reach "$1")
  if [ "${got%%:*}" = "$2" ]; then pass "$3 ($got)"; else miss "$3: $got"; fi
}
await bash -c "ss -ltn | grep -q ':6661 '"

# The router, simulated on loopback.
"$sim" --kind pcp --listen 127.0.0.1:0 --log "$scratch/sim.log" >"$scratch/sim.out" &
pids+=($!)
await grep -q ':[0-9]' "$scratch/sim.out" || { miss "the simulated router did not start"; exit 1; }
line=$(head -n1 "$scratch/sim.out")
router=127.0.0.1:${line##*:}

home=$scratch/home
mkdir -p "$home"
write_ini() { # [LocalFirewall value]
  printf '[Application1]\nName=One\nPortRangeLow1=6660\nPortRangeHigh1=6660\nProtocol1=tcp\n' \
    >"$home/Harborly.ini"
  printf '[Application2]\nName=Two\nPortRangeLow1=6661\nPortRangeHigh1=6661\nProtocol1=tcp\n' \
    >>"$home/Harborly.ini"
  printf '[Misc]\nRouterKind=pcp\nLanPrivateIP=%s\n' "$router" >>"$home/Harborly.ini"
  [ -z "${1:-}" ] || printf 'LocalFirewall=%s\n' "$1" >>"$home/Harborly.ini"
}
blocks="this computer's firewall (firewalld, zone public) blocks 6660/TCP"
lets="this computer's firewall (firewalld, zone public) lets 6660/TCP in"

# The user's own opening, before Harborly looks.
firewall-cmd -q --zone=public --add-port=6661/tcp
expect_reach 6660 refused "before: the firewall refuses 6660 from the router's side"
expect_reach 6661 arrived "before: the user's own 6661 arrives"

write_ini
run point One Two
expect_text "One 6660/TCP: forwarded, python3 listens on 6660, $blocks" "point names the firewall that blocks"
expect_text "this computer's firewall (firewalld, zone public) lets 6661/TCP in" "point sees the user's opening"
expect_reach 6660 refused "LocalFirewall unset: the command line opens nothing"
run check One
expect_text "$blocks" "check names the firewall that blocks"
[ "$code" = 2 ] && pass "check: a blocked port needs something done (exit 2)" || miss "check: exit $code, not 2"

write_ini open
run point One Two
expect_text "One 6660/TCP: forwarded, python3 listens on 6660, $lets" "LocalFirewall=open: point opens it"
expect_reach 6660 arrived "after point: a connection from the router's side arrives"
if grep -P '^[^\t]+\tfirewall\tTCP\t6660\t' "$home/Harborly.leases" >/dev/null &&
  ! grep -P '\tfirewall\tTCP\t6661\t' "$home/Harborly.leases" >/dev/null; then
  pass "the record holds Harborly's opening only"
else
  miss "the record's firewall lines: $(grep firewall "$home/Harborly.leases")"
fi

firewall-cmd -q --reload
expect_reach 6660 refused "a reload drops the runtime opening"
firewall-cmd -q --zone=public --add-port=6661/tcp # the user's, dropped by the reload too
limit=10 HARBORLY_CHECK_SECONDS=1 run keep
expect_text "made again 6660/TCP (One) in this computer's firewall (firewalld, zone public)" "keep makes it again"
expect_reach 6660 arrived "after keep: it arrives again"

# A reload while keep runs: firewalld's own signal has it made again at once, long before the
# keeper's next look (five minutes).
asked=$(wc -l <"$scratch/sim.log")
timeout -s INT 120 "$cli" --home "$home" keep >"$scratch/keep.out" 2>&1 </dev/null &
keeper=$!
pids+=($keeper)
# Its first look at the router (which looks at the firewall too) is over before the reload.
await bash -c "[ \$(wc -l <'$scratch/sim.log') -gt $asked ]"
sleep 2
firewall-cmd -q --reload
firewall-cmd -q --zone=public --add-port=6661/tcp
for _ in $(seq 100); do [ "$(reach 6660)" = arrived ] && break; sleep 0.2; done
expect_reach 6660 arrived "a reload while keep runs: made again on firewalld's signal"
kill -INT "$keeper"
wait "$keeper" 2>/dev/null
out=$(cat "$scratch/keep.out")
sed 's/^/    | /' <<<"$out"
expect_text "gone from this computer's firewall (it was reloaded)" "keep says why it made it again"

run clear
expect_reach 6660 refused "after clear: Harborly's opening is closed"
expect_reach 6661 arrived "after clear: the user's own opening stays"
if grep -q $'\tfirewall\t' "$home/Harborly.leases"; then miss "clear left firewall lines"; else pass "clear leaves no firewall line"; fi
[ "$(firewall-cmd --permanent --zone=public --list-ports)" = "" ] &&
  pass "nothing was written to firewalld's permanent settings" || miss "permanent ports: $(firewall-cmd --permanent --zone=public --list-ports)"

# A forward removed by hand takes its opening with it.
run point One
expect_reach 6660 arrived "pointed again: it arrives"
run remove 6660/tcp
expect_reach 6660 refused "after remove: the opening is closed with the forward"
expect_reach 6661 arrived "after remove: the user's own opening stays"

# Without polkit on this bus firewalld answers only root.
nobody=$(id -u nobody)
chown -R "$nobody:$nobody" "$home"
as=$nobody run check One
expect_text "firewalld refused: this user is not allowed to do it" "another user: the refusal is said in words"
expect_no_text "blocks 6660/TCP" "another user: no guess where firewalld refused"

# firewalld never runs outside the namespace that started it: every one is this test's.
ours=$(readlink /proc/self/ns/net)
seen=0
for pid in $(pgrep -x firewalld); do
  ns=$(readlink "/proc/$pid/ns/net") || continue
  seen=$((seen + 1))
  [ "$ns" = "$ours" ] || miss "firewalld $pid runs outside this test's network namespace ($ns)"
done
[ "$seen" -ge 1 ] && pass "every firewalld seen ($seen) runs in this test's network namespace" ||
  miss "the test's own firewalld was not seen"

echo "$tier: $failures failure(s)"
[ "$failures" -eq 0 ]
