#!/usr/bin/env bash
# run-demo.sh --interactive against stand-ins for the simulator and the till: with a
# display the till goes to it, even when the shell asked for the offscreen platform (an
# invisible till never ends); without one the script says so instead of starting it.
set -euo pipefail
RUN_DEMO=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/run-demo.sh
BUILD=$(mktemp -d)
trap 'rm -rf "$BUILD"' EXIT
mkdir -p "$BUILD/tools/crm-sim" "$BUILD/tools/till"
cat >"$BUILD/tools/crm-sim/vorda-crm-sim" <<'SIM'
#!/bin/sh
echo http://127.0.0.1:9
exec sleep 600
SIM
cat >"$BUILD/tools/till/zovorda-till" <<'TILL'
#!/bin/sh
echo "platform ${QT_QPA_PLATFORM:-default}" >"$(dirname "$0")/../../till.out"
TILL
chmod +x "$BUILD/tools/crm-sim/vorda-crm-sim" "$BUILD/tools/till/zovorda-till"

failed=0
check() { # what, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected \"$2\", got \"$3\"" >&2
        failed=1
    fi
}

for display in DISPLAY WAYLAND_DISPLAY; do
    rm -f "$BUILD/till.out"
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$display=:7" QT_QPA_PLATFORM=offscreen \
        "$RUN_DEMO" "$BUILD" --interactive >/dev/null 2>&1 || status=$?
    check "$display set: exit status" 0 "$status"
    check "$display set: the till's platform" "platform default" "$(cat "$BUILD/till.out" 2>/dev/null)"
done

rm -f "$BUILD/till.out"
status=0
said=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
    "$RUN_DEMO" "$BUILD" --interactive 2>&1 >/dev/null) || status=$?
check "no display: exit status" 2 "$status"
check "no display: the message" \
    "run-demo: --interactive shows the till's window and needs a display (DISPLAY or WAYLAND_DISPLAY); without one, run it under xvfb-run" \
    "$said"
check "no display: the till" "not started" "$([ -e "$BUILD/till.out" ] && echo started || echo not started)"
exit "$failed"
