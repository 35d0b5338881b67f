#!/bin/sh
# Builds zovorda-bench and runs it: bench/run.sh [--quick] [--only SECTION,...]
#   BUILD=<dir>      build directory (default: build-bench beside this folder; with
#                    --quick build/, the tree scripts/demo.sh and scripts/test.sh build)
#   BUILD_TYPE=<t>   build type when the directory is first configured here (default
#                    Release: the figures of an unoptimised build say little about a till;
#                    with --quick RelWithDebInfo, as the set-up builds build/)
# The table goes to stdout, progress to stderr. The exit code is the benchmark's: 0
# unless a call answered something wrong; timing never fails it.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE=$(dirname "$HERE")
case " $* " in
*" --quick "*)
    # The quick set checks answers, not speed: any optimised build will do, so it takes
    # the tree that is most likely built already instead of compiling a second one.
    BUILD=${BUILD:-$SOURCE/build}
    BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
    ;;
*)
    BUILD=${BUILD:-$SOURCE/build-bench}
    BUILD_TYPE=${BUILD_TYPE:-Release}
    ;;
esac
LOG="$BUILD/bench-build.log"

mkdir -p "$BUILD"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$SOURCE" -B "$BUILD" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" >"$LOG" 2>&1 || { cat "$LOG" >&2; exit 2; }
fi
cmake --build "$BUILD" --target zovorda-bench -j"${JOBS:-2}" >"$LOG" 2>&1 || { cat "$LOG" >&2; exit 2; }

export QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="qt.qpa.*=false"
exec "$BUILD/bench/zovorda-bench" "$@"
