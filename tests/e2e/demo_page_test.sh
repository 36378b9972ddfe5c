#!/bin/sh
# The demo page end to end: a running agent (with its watchdog, card library
# and token lister, copied to an install directory of its own) on a demo
# token in a temporary directory, and examples/index.html in headless
# Chromium. The page's verify step must report success; a screenshot is saved.
#
#   demo_page_test.sh BIN_DIR SOURCE_DIR SCREENSHOT
set -u
BIN=$1
SRC=$2
SHOT=$3
T=$(mktemp -d "${TMPDIR:-/tmp}/tolvan-page.XXXXXX")
AGENT_PID=
cleanup() {
  if [ -n "$AGENT_PID" ]; then
    kill -TERM "$AGENT_PID" 2>/dev/null
    # The agent stops in order (and its watchdog with it) within its bound.
    i=0
    while kill -0 "$AGENT_PID" 2>/dev/null && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    kill -KILL "$AGENT_PID" 2>/dev/null
  fi
  rm -rf "$T"
}
trap cleanup EXIT INT TERM
fail() { echo "demo page test: $*" >&2; [ -d "$T/app/Log" ] && cat "$T"/app/Log/Tolvan* >&2; exit 1; }

command -v chromium >/dev/null || fail "chromium is not installed (scripts/setup installs it)"

mkdir -p "$T/app" "$T/run" "$T/config" "$T/data" "$T/profile"
chmod 700 "$T/run"
for f in Tolvan TolvanDaemon TolvanKeyProbe libpkiCard.so; do
  cp "$BIN/$f" "$T/app/" || fail "missing $BIN/$f"
done
printf '[Config]\nIP=127.0.0.1\nPort=0\nDebugLevel=4\n' > "$T/app/TolvanService.ini"
"$SRC/scripts/demo-token" "$T/token" TolvanDemo >/dev/null || fail "demo token not made"
echo '<KeyLabel>Demo</KeyLabel>' > "$T/config/Client.conf"

XDG_RUNTIME_DIR="$T/run" XDG_DATA_HOME="$T/data" TOLVAN_CONFIG_DIR="$T/config" \
SOFTHSM2_CONF="$T/token/softhsm2.conf" PKICARD_MODULE=/usr/lib/softhsm/libsofthsm2.so \
PKICARD_TOKEN_LABEL=TolvanDemo PKICARD_INI="$T/absent.ini" \
  "$T/app/Tolvan" >"$T/agent.out" 2>&1 &
AGENT_PID=$!

# The port the agent bound (port 0 in its settings), from its log.
PORT=
i=0
while [ -z "$PORT" ] && [ $i -lt 300 ]; do
  PORT=$(cat "$T"/app/Log/Tolvan* 2>/dev/null | sed -n 's/.*Service is listening on port \([0-9]*\).*/\1/p' | head -1)
  [ -n "$PORT" ] || sleep 0.1
  i=$((i + 1))
done
[ -n "$PORT" ] || fail "the agent did not start listening"
URL="http://127.0.0.1:$PORT/Tolvan"

# The first watch pass initialises the card library: wait until it signs.
i=0
until curl -s -d "Fun=advSignData&label=Demo_SIG&keyPasswd=123456&digestAlgo=2&signType=1&clearText=x" \
        "$URL" | grep -q '"return":"0"'; do
  i=$((i + 1))
  [ $i -lt 300 ] || fail "the agent did not sign with the demo token"
  sleep 0.1
done

PAGE="file://$SRC/examples/index.html?agent=$URL&run=1"
chrome() {
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$T/profile" --virtual-time-budget=20000 --window-size=1100,900 "$@" 2>>"$T/chromium.log"
}
chrome --dump-dom "$PAGE" > "$T/dom.html" || fail "chromium failed: $(tail -5 "$T/chromium.log")"
chrome --screenshot="$SHOT" "$PAGE" >/dev/null || fail "no screenshot"
[ -s "$SHOT" ] || fail "empty screenshot"

grep -q 'id="summary"[^>]*data-done="true"' "$T/dom.html" || fail "the page did not finish: $(cat "$T/dom.html")"
grep -q '<tr id="step-verify" class="ok" data-ok="true">' "$T/dom.html" ||
  fail "verify step did not succeed: $(grep -o '<tr id="step-[^/]*' "$T/dom.html")"
grep -o '<div id="summary"[^>]*>[^<]*' "$T/dom.html"
grep -q 'data-passed="6" data-total="6"' "$T/dom.html" ||
  fail "not every step succeeded: $(sed 's/<tr/\n<tr/g' "$T/dom.html" | grep '^<tr id')"
echo "demo page test: verify succeeded, screenshot $SHOT"
