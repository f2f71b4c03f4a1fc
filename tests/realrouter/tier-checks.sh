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
