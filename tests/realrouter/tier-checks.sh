# SPDX-License-Identifier: GPL-3.0-or-later
# What the real-router tier's scripts share: the checks before anything runs, running
# harborly-cli, checking its answers, and asking miniupnpd itself over SOAP. Sourced inside the
# tier's LAN namespace; the script sets $tier (its name), $here and $home, and may set $tag
# (shown after "ok" / "FAIL").
readonly CLIENT=10.251.0.2
readonly SERVICE=urn:schemas-upnp-org:service:WANIPConnection:2
readonly CONTROL=http://$ROUTER:5000/ctl/IPConn
# Never against a real router: only the tier's own, from the tier's LAN namespace.
if [ "$ROUTER" != 10.251.0.1 ] || ! ip -4 -o addr show 2>/dev/null | grep -q " $CLIENT/"; then
  echo "$tier: runs only inside run-miniupnpd-tier's LAN (ROUTER=10.251.0.1)" >&2
  exit 64
fi
cli=${HARBORLY_CLI:?set HARBORLY_CLI to the harborly-cli program}
[ -x "$cli" ] || { echo "$tier: $cli is not a program" >&2; exit 64; }
catalog=$here/../../data/Harborly.ini
[ -f "$catalog" ] || { echo "$tier: no shipped catalog at $catalog" >&2; exit 64; }

# The shipped catalog with the [Misc] section of a router of KIND at ADDRESS, no password.
write_ini() {
  local kind=$1 address=$2
  mkdir -p "$home"
  sed '/^\[Misc\]/,$d' "$catalog" >"$home/Harborly.ini"
  printf '[Misc]\nRouterKind=%s\nLanPrivateIP=%s\n' "$kind" "$address" >>"$home/Harborly.ini"
}

failures=0
pass() { echo "$tier: ok   ${tag:-}$*"; }
miss() {
  echo "$tier: FAIL ${tag:-}$*"
  failures=$((failures + 1))
}

# Runs harborly-cli with a time limit; leaves its exit status in $code and its output in $out.
run() {
  out=$(timeout 60 "$cli" --home "$home" "$@" </dev/null 2>&1)
  code=$?
  printf '    $ harborly-cli %s  -> %s\n' "$*" "$code"
  sed 's/^/    | /' <<<"$out"
}
expect_code() {
  local want=$1 what=$2
  if [ "$code" = "$want" ]; then pass "$what: exit $want"; else miss "$what: exit $code, not $want"; fi
}
expect_text() {
  local pattern=$1 what=$2
  if grep -Eq -- "$pattern" <<<"$out"; then pass "$what"; else miss "$what (no /$pattern/)"; fi
}
expect_no_text() {
  local pattern=$1 what=$2
  if grep -Eq -- "$pattern" <<<"$out"; then miss "$what (found /$pattern/)"; else pass "$what"; fi
}

# The router's own answer to one action, for checking what harborly-cli claims.
soap() {
  local action=$1 args=$2
  # $from: the LAN address the request leaves from (miniupnpd maps only to the sender's own).
  curl -s --max-time 10 --noproxy '*' ${from:+--interface "$from"} \
    -H 'Content-Type: text/xml; charset="utf-8"' \
    -H "SOAPAction: \"$SERVICE#$action\"" \
    --data-binary "<?xml version=\"1.0\"?>
<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:$action xmlns:u=\"$SERVICE\">$args</u:$action></s:Body></s:Envelope>" \
    "$CONTROL"
}
mapping() { # port protocol -> the entry's answer, or a fault
  soap GetSpecificPortMappingEntry \
    "<NewRemoteHost></NewRemoteHost><NewExternalPort>$1</NewExternalPort><NewProtocol>$2</NewProtocol>"
}
field() { sed -n "s:.*<$1>\([^<]*\)</$1>.*:\1:p" <<<"$2"; }

# IPv6 tiers: this computer's program on PORT answers every connection with a line naming the
# address it came from; `reach ADDRESS` tries it from the far host. Needs $python and $PORT.
start_greeter() {
  "$python" -c '
import socket, sys
s = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
s.bind(("::", int(sys.argv[1])))
s.listen(8)
while True:
    c, peer = s.accept()
    c.sendall(("hello %s\n" % peer[0]).encode())
    c.close()
' "$1" &
  listener=$!
}
reach() {
  "$TIER_ISP" "$python" -c '
import socket, sys
try:
    c = socket.create_connection((sys.argv[1], int(sys.argv[2])), timeout=3)
    print(c.recv(100).decode().strip())
except OSError as e:
    print("no connection: %s" % e)
' "$1" "$PORT"
}
expect_reach() {
  local address=$1 what=$2 got
  got=$(reach "$address")
  if [[ "$got" == hello* ]]; then pass "$what: $got"; else miss "$what: $got"; fi
}
expect_dropped() {
  local address=$1 what=$2 got
  got=$(reach "$address")
  if [[ "$got" == hello* ]]; then miss "$what: came through ($got)"; else pass "$what: $got"; fi
}
