#!/usr/bin/env bash
# Runs the Windows build under Wine, from the unzipped release, against the CRM
# simulator running natively on the loopback address.
#
#   bash tools/windows/wine-checks.sh [x86_64|i686]     (default x86_64)
#
# Needs the release zip and the Windows build tree (tools/windows/build.sh) and the
# Linux build with the simulator (scripts/setup.sh). Each check prints one line; the
# exit status is 0 when every check passed. Everything runs in a throw-away folder
# (kept, and named at the end, when a check fails) with its own Wine prefix, a Chinese
# locale (so that Windows' ANSI code page is GBK), no display (Qt's offscreen
# platform) and Wine's own messages off. ZOVORDA_WINE_KEEP=1 keeps the folder (the
# tour's pictures are in demo-day/pictures/).
#
# 1. the export table: exactly the two calls, undecorated;
# 2. the library not pinned before its first call, pinned after it, and a clean exit
#    in the three teardown orders;
# 3. the demo day's tour end to end by the Windows till (the plug-in loaded with
#    LoadLibraryW from the unzipped release), including the CRM outage answered from
#    the local SQLite table;
# 4. the operation log written under LOG\ in GBK;
# 5. the companion program found running through tasklist (Wine's own is a stub that
#    prints nothing: the prefix gets tools/windows/tasklist.c in its place);
# 6. the doctor on the tour's working directory;
# 7. the Qt Test suites of the Windows build.
set -euo pipefail

ARCH=${1:-x86_64}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
case "$ARCH" in
x86_64) BITS=win64 WIN_BUILD=${ZOVORDA_WIN_BUILD_DIR:-$ROOT/build-win64} WINE_LOADER=wine64 ;;
i686) BITS=win32 WIN_BUILD=${ZOVORDA_WIN_BUILD_DIR:-$ROOT/build-win32} WINE_LOADER=wine ;;
*)
    echo "usage: $0 [x86_64|i686]" >&2
    exit 2
    ;;
esac
LINUX_BUILD=${ZOVORDA_BUILD_DIR:-$ROOT/build}
VERSION=$(sed -n 's/^project(ZoVORDA VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
ZIP=$ROOT/dist/ZoVORDA-$VERSION-$BITS.zip
for needed in "$ZIP" "$WIN_BUILD/tools/till/zovorda-till.exe" "$LINUX_BUILD/tools/crm-sim/vorda-crm-sim"; do
    [ -f "$needed" ] || { echo "wine-checks: $needed is missing (build it first)" >&2; exit 2; }
done
bash "$ROOT/scripts/ensure-packages.sh" wine wine64 libwine python3 locales fonts-noto-cjk >/dev/null
# Wine takes Windows' ANSI code page from the locale (zh_CN: 936, GBK) and names files
# through it: the locale must exist on this machine.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
WINE_PROGRAM=$(command -v "$WINE_LOADER" || echo /usr/lib/wine/$WINE_LOADER)
# A Chinese Windows: the ANSI code page is 936 (GBK).
WINE="env LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 $WINE_PROGRAM"

WORK=$(mktemp -d /tmp/zovorda-wine.XXXXXX)
# The prefix's tasklist.exe is ours (below): Wine must run it rather than its own.
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;tasklist.exe=n"
# Wine keeps the Unix QT_* variables from Windows programs and passes WINEQT_* as QT_*.
# Qt's messages go to stderr rather than to the debugger, where the checks read them.
export WINEQT_QPA_PLATFORM=offscreen WINEQT_LOGGING_RULES="qt.qpa.*=false" WINEQT_FORCE_STDERR_LOGGING=1
# No display: nothing of Wine's or Qt's may need one.
unset DISPLAY WAYLAND_DISPLAY
# No MariaDB from Windows (no MySQL driver for it here): its suites' rows skip, also
# when the Linux suites' private server is up.
unset ZOVORDA_MARIADB_SOCKET ZOVORDA_MARIADB_PORT ZOVORDA_MARIADB_DIR MYSQL_UNIX_PORT
failures=0
pass() { echo "   ok      $*"; }
fail() {
    echo "   FAILED  $*"
    failures=$((failures + 1))
}
# A Unix path as Windows programs see it: a fresh prefix maps / to drive Z:.
winpath() {
    local path
    path=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    echo "Z:${path//\//\\}"
}
cleanup() {
    "${WINE_PROGRAM%/*}/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
    if [ "$failures" = 0 ] && [ "${ZOVORDA_WINE_KEEP:-0}" != 1 ]; then rm -rf "$WORK"; fi
}
trap cleanup EXIT

echo "== a fresh Wine prefix ($WINEPREFIX) and the unzipped $(basename "$ZIP")"
START=$SECONDS
$WINE wineboot -i >"$WORK/wineboot.log" 2>&1 || true
"$ARCH-w64-mingw32-gcc-posix" -municode -std=c11 -O2 -Wall -Wextra -Werror "$ROOT/tools/windows/tasklist.c" \
    -o "$WINEPREFIX/drive_c/windows/system32/tasklist.exe"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$ZIP" "$WORK"
PKG=$WORK/ZoVORDA-$VERSION-$BITS
# The test programs live in the build tree; the DLLs and Qt plug-ins they and the
# plug-in load come from the unzipped release, but for Qt Test's DLL (the suites').
QT_PREFIX=$(bash "$ROOT/tools/windows/build-qt.sh" "$ARCH" 2>/dev/null)
mkdir -p "$WORK/test-dlls"
cp "$QT_PREFIX/bin/Qt5Test.dll" "$WORK/test-dlls/"
export WINEPATH; WINEPATH="$(winpath "$PKG");$(winpath "$WORK/test-dlls")"
export WINEQT_PLUGIN_PATH; WINEQT_PLUGIN_PATH=$(winpath "$PKG")
# Qt's offscreen platform on Windows reads font files from a folder, not from Windows:
# the Noto CJK fonts, so that the dialogs (the tour's pictures) show their Chinese.
export WINEQT_QPA_FONTDIR; WINEQT_QPA_FONTDIR=$(winpath /usr/share/fonts/opentype/noto)
DLL=$(winpath "$PKG/ZoVORDA.dll")
HOST=$WIN_BUILD/tools/windows/wine-host.exe
echo "   ready in $((SECONDS - START)) s"

echo "== the export table"
if out=$($WINE "$HOST" exports "$DLL" 2>&1); then pass "${out//$'\r'/}"; else fail "exports: ${out//$'\r'/}"; fi

echo "== pinned after the first call, and the three ways a host ends"
for mode in unload-first app-first exit; do
    mkdir -p "$WORK/teardown-$mode"
    if out=$(cd "$WORK/teardown-$mode" && $WINE "$HOST" teardown "$mode" "$DLL" 2>"$WORK/teardown-$mode/stderr"); then
        noise=$(grep -v -e '^This plugin does not support' -e '^QStandardPaths:' "$WORK/teardown-$mode/stderr" || true)
        if [ -z "$noise" ]; then pass "$mode"; else fail "$mode: the host said: $noise"; fi
    else
        fail "$mode: ${out//$'\r'/}"
    fi
done

echo "== the demo day at the Windows till"
DAY=$WORK/demo-day
TILL_EXE=$WIN_BUILD/tools/till/zovorda-till.exe
if ZOVORDA_TILL=$TILL_EXE ZOVORDA_TILL_RUNNER=$WINE ZOVORDA_DEMO_DAY=$DAY \
    bash "$ROOT/tools/till/run-demo.sh" "$LINUX_BUILD" --plugin "$DLL" \
    --companion "$(winpath "$TILL_EXE" | tr '\\' /)" >"$WORK/tour.out" 2>&1; then
    pass "tour: $(grep -a -E '^== the day:' "$DAY/tour.log" | tr -d '\r')"
else
    fail "tour (see $DAY/tour.log):"
    grep -a -E 'FAIL|fail' "$WORK/tour.out" | head -20
fi
if grep -a -q '^== 9. CRM 中断' "$DAY/tour.log"; then pass "the CRM outage answered from the local SQLite table"; else fail "no CRM outage step in the tour log"; fi

echo "== the operation log in Windows' ANSI code page (GBK)"
if python3 - "$DAY/LOG" <<'EOF'; then pass "LOG\\PayLog*.txt is GBK"; else fail "the log is not GBK"; fi
import pathlib, sys
logs = sorted(pathlib.Path(sys.argv[1]).glob("PayLog*.txt"))
if not logs:
    sys.exit("no PayLog*.txt under LOG")
data = logs[-1].read_bytes()
try:
    data.decode("utf-8")
    sys.exit("the log reads as UTF-8: not written in the code page")
except UnicodeDecodeError:
    pass
text = data.decode("gbk")
for step in ("会员签到", "会员验证"):
    if step.encode("gbk") not in data:
        sys.exit("no record of %s in GBK" % step)
print("   %d bytes, %d records" % (len(data), text.count("\n") // 5), file=sys.stderr)
EOF

echo "== the companion program, looked for with Wine's tasklist"
if python3 - "$DAY/LOG" <<'EOF'; then pass "zovorda-till.exe found running"; else fail "the companion check"; fi
import pathlib, sys
text = sorted(pathlib.Path(sys.argv[1]).glob("PayLog*.txt"))[-1].read_bytes().decode("gbk")
sys.exit(0 if "zovorda-till.exe已经启动" in text else "no record that zovorda-till.exe is running")
EOF

echo "== the doctor on the tour's working directory, with the simulator up again"
"$LINUX_BUILD/tools/crm-sim/vorda-crm-sim" --business --state "$DAY/crm-state.db" --port 0 \
    >"$WORK/doctor-sim.out" 2>"$WORK/doctor-sim.log" &
SIM_PID=$!
for _ in $(seq 100); do
    [ -s "$WORK/doctor-sim.out" ] && break
    sleep 0.1
done
CRM_URL=$(head -n 1 "$WORK/doctor-sim.out")
sed -i "s|^HttpAddress=.*|HttpAddress=$CRM_URL|" "$DAY/ZoVORDA.ini"
if out=$(cd "$DAY" && $WINE "$PKG/zovorda-doctor.exe" 2>&1); then
    pass "zovorda-doctor.exe: $(echo "$out" | tr -d '\r' | grep '^Summary')"
else
    fail "zovorda-doctor.exe:"
    echo "$out" | tr -d '\r' | iconv -c -f GBK -t UTF-8 | grep -v '^OK' | head -20
fi
kill "$SIM_PID" 2>/dev/null || true
wait "$SIM_PID" 2>/dev/null || true
journal=$(cd "$DAY" && $WINE "$PKG/zovorda-doctor.exe" --journal --csv 2>/dev/null | tr -d '\r' || true)
calls=$(echo "$journal" | grep -c ',accepted,' || true)
if [ "$calls" -ge 4 ]; then
    pass "zovorda-doctor.exe --journal: $calls money-moving calls accepted today (LOG\\journal.db)"
else
    fail "zovorda-doctor.exe --journal lists $calls accepted calls:"
    echo "$journal" | head -10
fi

echo "== the Qt Test suites of the Windows build"
for suite in $(find "$WIN_BUILD" -name 'tst_*.exe' | sort); do
    name=$(basename "$suite" .exe)
    mkdir -p "$WORK/suite-$name"
    if (cd "$WORK/suite-$name" && $WINE "$suite" >"$WORK/suite-$name/out.txt" 2>&1); then
        pass "$name: $(tr -d '\r' <"$WORK/suite-$name/out.txt" | grep -E '^Totals:' | tail -1)"
    else
        fail "$name:"
        tr -d '\r' <"$WORK/suite-$name/out.txt" | grep -E '^(FAIL|Totals)|Loc:' | head -20
    fi
done

echo "== $failures failed, $((SECONDS - START)) s"
[ "$failures" = 0 ] && [ "${ZOVORDA_WINE_KEEP:-0}" != 1 ] || echo "   everything is kept in $WORK"
[ "$failures" = 0 ]
