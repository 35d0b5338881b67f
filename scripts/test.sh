#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, starts a private MariaDB server and
# runs every test suite headless: once in the normal build, once in a build with
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
# Then every source is compiled for Windows with MinGW-w64 (both architectures), the
# Windows release is built (Qt for Windows once, cached outside the checkout), packed
# and run under Wine, and the fuzz targets replay their corpora.
# ZOVORDA_QUICK=1 skips the Windows and sanitizer passes (for a quick local round).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

export QT_QPA_PLATFORM=offscreen
export ZOVORDA_MARIADB_DIR=${ZOVORDA_MARIADB_DIR:-$(mktemp -d /tmp/zovorda-mariadb.XXXXXX)}
echo "== starting a private MariaDB server"
if server_env=$(sh "$ROOT/tests/mariadb.sh" start); then
    eval "$server_env"
else
    echo "!! no MariaDB server could be started: the MySQL suites will skip"
fi
trap 'sh "$ROOT/tests/mariadb.sh" stop >/dev/null 2>&1 || true' EXIT

echo "== running the tests"
(cd "$BUILD" && ctest --output-on-failure -j2 --timeout 300)

if [ "${ZOVORDA_QUICK:-0}" != 1 ]; then
    echo "== compiling every source for Windows (MinGW-w64, 64 and 32 bit) and checking the export names"
    bash "$ROOT/tools/wincheck/wincheck.sh" "$BUILD"

    echo "== the Windows release: Qt for Windows (once), ZoVORDA.dll and the tools, the zip"
    bash "$ROOT/tools/windows/build.sh" x86_64
    echo "== the Windows release under Wine, against the simulator"
    bash "$ROOT/tools/windows/wine-checks.sh" x86_64

    SAN_BUILD=${ZOVORDA_SAN_BUILD_DIR:-$ROOT/build-sanitize}
    echo "== building with sanitizers in $SAN_BUILD"
    cmake -S "$ROOT" -B "$SAN_BUILD" -DCMAKE_BUILD_TYPE=Debug -DZOVORDA_SANITIZE=ON -DZOVORDA_BENCH=OFF \
        -DZOVORDA_TOOLS=OFF >/dev/null
    cmake --build "$SAN_BUILD" -j"$(nproc)"
    echo "== running the tests under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer"
    export ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    (cd "$SAN_BUILD" && ctest --output-on-failure -j2 --timeout 600)

    echo "== replaying the fuzz corpora (libFuzzer, ASan + UBSan)"
    unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
    BUILD_DIR=${ZOVORDA_FUZZ_BUILD_DIR:-$ROOT/build-fuzz} sh "$ROOT/fuzz/run.sh" --replay
fi
