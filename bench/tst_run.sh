#!/bin/sh
# bench/run.sh --quick against a stand-in cmake and benchmark: it builds and runs in the
# build/ tree beside it, with no second tree and no configure step.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
mkdir -p "$T/src/bench" "$T/src/build/bench" "$T/bin"
cp "$HERE/run.sh" "$T/src/bench/run.sh"
: >"$T/src/build/CMakeCache.txt"
printf '#!/bin/sh\necho "cmake $*" >>"%s/calls"\n' "$T" >"$T/bin/cmake"
printf '#!/bin/sh\necho "zovorda-bench $*" >>"%s/calls"\n' "$T" >"$T/src/build/bench/zovorda-bench"
chmod +x "$T/bin/cmake" "$T/src/build/bench/zovorda-bench"

status=0
env -u BUILD -u BUILD_TYPE JOBS=2 PATH="$T/bin:$PATH" sh "$T/src/bench/run.sh" --quick >/dev/null 2>&1 ||
    status=$?
expected="cmake --build $T/src/build --target zovorda-bench -j2
zovorda-bench --quick"
if [ "$status" != 0 ] || [ "$(cat "$T/calls" 2>/dev/null)" != "$expected" ] || [ -e "$T/src/build-bench" ]; then
    echo "FAIL bench/run.sh --quick: exit status $status, calls:" >&2
    cat "$T/calls" >&2 2>/dev/null || true
    [ ! -e "$T/src/build-bench" ] || echo "and it made build-bench/" >&2
    exit 1
fi
