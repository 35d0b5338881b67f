#!/usr/bin/env bash
# The Windows build, made on Linux: Qt for Windows (once, cached), then ZoVORDA.dll,
# zovorda-doctor.exe, the demo till, the bare test host and the Qt Test suites that
# need neither the CRM simulator nor a MariaDB server, then the release zip.
#
#   bash tools/windows/build.sh [x86_64|i686]        (default x86_64)
#
# The build tree is build-win64 (build-win32 for i686; ZOVORDA_WIN_BUILD_DIR to change
# it); the zip lands in dist/. Prints the zip's path on the last line.
set -euo pipefail

ARCH=${1:-x86_64}
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
case "$ARCH" in
x86_64) BUILD=${ZOVORDA_WIN_BUILD_DIR:-$ROOT/build-win64} ;;
i686) BUILD=${ZOVORDA_WIN_BUILD_DIR:-$ROOT/build-win32} ;;
*)
    echo "usage: $0 [x86_64|i686]" >&2
    exit 2
    ;;
esac

QT_PREFIX=$(bash "$ROOT/tools/windows/build-qt.sh" "$ARCH")
bash "$ROOT/scripts/ensure-packages.sh" cmake ninja-build

echo "== building for Windows ($ARCH) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/tools/windows/mingw-w64.cmake" \
    -DZOVORDA_WIN_ARCH="$ARCH" -DZOVORDA_WIN_QT="$QT_PREFIX" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)"

echo "== packaging"
bash "$ROOT/tools/windows/package.sh" "$BUILD" "$QT_PREFIX" "$ARCH"
