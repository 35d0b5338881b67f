#!/usr/bin/env bash
# A day at the demo till, headless: starts the CRM simulator in business mode with
# fresh demo data, fills the till's own member table, lets zovorda-till play the
# day with its scripted cashier, and stops the simulator again.
#
#   tools/till/run-demo.sh BUILD_DIR [--interactive]
#
# Everything lands in BUILD_DIR/demo-day: pictures/ (one PNG per dialog the cashier
# saw), tour.log (every call with its input and result, and the checks), LOG/ (the
# plug-in's own operation log), crm-sim.log and the settings files the till wrote.
# --interactive opens the till's window against the simulator instead: it needs a
# display (DISPLAY or WAYLAND_DISPLAY, e.g. under xvfb-run) and ends with Ctrl+Q.
# Further arguments go to the till. The Windows checks play the same day with the
# Windows till under Wine: ZOVORDA_TILL names another till program,
# ZOVORDA_TILL_RUNNER a command to run it with (e.g. wine), ZOVORDA_DEMO_DAY another
# working directory.
set -euo pipefail

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [--interactive]" >&2
    exit 2
fi
BUILD=$(cd "$1" && pwd)
shift
MODE=tour
if [ "${1:-}" = "--interactive" ]; then
    MODE=interactive
    shift
fi
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
SIM=$BUILD/tools/crm-sim/vorda-crm-sim
TILL=${ZOVORDA_TILL:-$BUILD/tools/till/zovorda-till}
for program in "$SIM" "$TILL"; do
    [ -f "$program" ] || { echo "run-demo: $program is not built" >&2; exit 2; }
done
read -r -a RUNNER <<<"${ZOVORDA_TILL_RUNNER:-}"

DAY=${ZOVORDA_DEMO_DAY:-$BUILD/demo-day}
rm -rf "$DAY"
mkdir -p "$DAY"
cd "$DAY"

# The plug-in writes its log in the system's code page: make that UTF-8.
case "$(locale charmap 2>/dev/null || true)" in
    UTF-8) ;;
    *) export LC_ALL=C.UTF-8 ;;
esac
if [ "$MODE" = tour ]; then
    export QT_QPA_PLATFORM=offscreen
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    # A till on the offscreen platform is invisible and never ends: with a display at
    # hand the window goes there, whatever the shell chose for headless runs.
    case "${QT_QPA_PLATFORM:-}" in
        offscreen | minimal) unset QT_QPA_PLATFORM ;;
    esac
else
    case "${QT_QPA_PLATFORM:-}" in
        "" | offscreen | minimal)
            echo "run-demo: --interactive shows the till's window and needs a display (DISPLAY or" \
                "WAYLAND_DISPLAY); without one, run it under xvfb-run" >&2
            exit 2
            ;;
    esac
fi

# The till's own member table, for look-ups while the CRM is down.
python3 "$SRC/db/load_members.py" --replace --sqlite "$DAY/members.db" "$SRC/tools/till/demo-members.csv" >/dev/null

SIM_PID=
stop_sim() {
    if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
        kill "$SIM_PID"
        wait "$SIM_PID" 2>/dev/null || true
    fi
}
trap stop_sim EXIT

# The simulator prints its address as its first line once it listens.
: >"$DAY/crm-sim.out"
"$SIM" --business --state "$DAY/crm-state.db" --reset --port 0 >"$DAY/crm-sim.out" 2>"$DAY/crm-sim.log" &
SIM_PID=$!
CRM_URL=
for _ in $(seq 200); do
    if [ "$(wc -l <"$DAY/crm-sim.out")" -ge 1 ]; then
        CRM_URL=$(head -n 1 "$DAY/crm-sim.out")
        break
    fi
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$CRM_URL" ]; then
    echo "run-demo: the CRM simulator did not start; see $DAY/crm-sim.log" >&2
    exit 1
fi
echo "CRM simulator (business mode) at $CRM_URL"

status=0
if [ "$MODE" = tour ]; then
    "${RUNNER[@]}" "$TILL" --tour "$DAY/pictures" --crm "$CRM_URL" --members-db "$DAY/members.db" "$@" \
        | tee "$DAY/tour.log" || status=$?
else
    "${RUNNER[@]}" "$TILL" --crm "$CRM_URL" --members-db "$DAY/members.db" "$@" || status=$?
fi
stop_sim

echo
echo "working directory: $DAY"
if [ "$MODE" = tour ]; then
    echo "pictures:          $DAY/pictures ($(find "$DAY/pictures" -name '*.png' 2>/dev/null | wc -l) PNG files)"
    echo "tour log:          $DAY/tour.log"
fi
echo "plug-in log:       $DAY/LOG"
if [ "$status" -ne 0 ]; then
    echo "run-demo: the day at the till FAILED (exit $status)" >&2
fi
exit "$status"
