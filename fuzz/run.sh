#!/bin/sh
# Builds the libFuzzer targets and runs them.
#
#   fuzz/run.sh [--replay]             build, then replay every committed corpus file and
#                                      crash reproducer once (CI); non-zero on any finding
#   fuzz/run.sh --fuzz TARGET [SECS] [WORKERS]
#                                      fuzz one target (default 600 s) from its committed
#                                      corpus; new inputs go to build-fuzz/corpus/TARGET,
#                                      findings to build-fuzz/findings/; WORKERS processes
#                                      (default 1) share the corpus
#   fuzz/run.sh --merge TARGET         minimise committed + new inputs back into
#                                      fuzz/corpus/TARGET
#   fuzz/run.sh --build                build only
#
# TARGET is one of $TARGETS below. The build directory is $BUILD_DIR (default build-fuzz
# next to fuzz/); the compiler is clang++ (or $CXX when it is clang).
set -eu

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(dirname "$HERE")
BUILD=${BUILD_DIR:-$ROOT/build-fuzz}
# The whole exchange (tens to hundreds of inputs a second), then the readers on their
# own (tens of thousands).
EXCHANGE_TARGETS="fuzz_vip fuzz_card fuzz_reply"
READER_TARGETS="fuzz_member_request fuzz_tender_request fuzz_crm_reply fuzz_settings_file"
TARGETS="$EXCHANGE_TARGETS $READER_TARGETS"
CXX_COMPILER=${CXX:-clang++}
case "$("$CXX_COMPILER" --version 2>/dev/null)" in *clang*) ;; *) CXX_COMPILER=clang++ ;; esac

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}

is_reader() {
    case " $READER_TARGETS " in *" $1 "*) return 0 ;; *) return 1 ;; esac
}
# A reader that takes seconds over one input is a finding of its own; and a reader's
# input beyond 2 KiB only makes each run slower (a request or a reply is a few hundred
# bytes, a settings file not much more; 4 KiB inputs halve the speed).
timeout_of() {
    if is_reader "$1"; then echo 10; else echo 30; fi
}
max_len_of() {
    if is_reader "$1"; then echo 2048; else echo 8192; fi
}

build() {
    generator=
    command -v ninja >/dev/null 2>&1 && generator="-G Ninja"
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        # shellcheck disable=SC2086
        cmake -S "$HERE" -B "$BUILD" $generator -DCMAKE_CXX_COMPILER="$CXX_COMPILER" >/dev/null
    fi
    cmake --build "$BUILD" -j"$(nproc)" --target $TARGETS
}

replay() {
    status=0
    for t in $TARGETS; do
        set -- "$HERE/corpus/$t"/*
        for crash in "$HERE/crashes/$t"-*; do
            [ -f "$crash" ] && set -- "$@" "$crash"
        done
        echo "== $t: $# inputs"
        log="$BUILD/replay-$t.log"
        if "$BUILD/$t" -timeout="$(timeout_of "$t")" -rss_limit_mb=4096 "$@" >"$log" 2>&1; then
            echo "   ok"
        else
            status=1
            echo "   FAILED (log: $log)"
            grep -E "==FINDING==|ERROR:|runtime error|SUMMARY" -A4 "$log" | head -40
        fi
    done
    return $status
}

fuzz() {
    t=$1
    secs=${2:-600}
    workers=${3:-1}
    # Each target runs in a folder of its own: -jobs writes the logs there (fuzz-0.log, ...).
    mkdir -p "$BUILD/corpus/$t" "$BUILD/findings" "$BUILD/run-$t"
    cd "$BUILD/run-$t"
    leaks=1
    if is_reader "$t"; then
        # ASan's default quarantine (256 MB of freed blocks) costs a reader half its speed
        # in page faults; 16 MB still holds what hundreds of inputs freed.
        case "$ASAN_OPTIONS" in *quarantine_size_mb*) ;; *) ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=16" ;; esac
        # Qt's duplicate-key leak (see README) makes libFuzzer look for a leak after
        # many inputs, a whole-heap scan each time, which costs a reader most of its first
        # minutes. LeakSanitizer still looks when each process ends, and the replay looks
        # after every input.
        leaks=0
    fi
    "$BUILD/$t" -max_total_time="$secs" -jobs="$workers" -workers="$workers" -timeout="$(timeout_of "$t")" \
        -detect_leaks=$leaks -rss_limit_mb=4096 -max_len="$(max_len_of "$t")" -print_final_stats=1 \
        -artifact_prefix="$BUILD/findings/$t-" -dict="$HERE/dict/$t.dict" \
        "$BUILD/corpus/$t" "$HERE/corpus/$t"
}

merge() {
    t=$1
    fresh="$BUILD/merged-$t"
    rm -rf "$fresh"
    mkdir -p "$fresh"
    mkdir -p "$HERE/corpus/$t"
    "$BUILD/$t" -merge=1 -timeout="$(timeout_of "$t")" -rss_limit_mb=4096 -max_len="$(max_len_of "$t")" "$fresh" \
        "$HERE/corpus/$t" "$BUILD/corpus/$t"
    rm -f "$HERE/corpus/$t"/*
    cp "$fresh"/* "$HERE/corpus/$t"/
    echo "$t: $(ls "$HERE/corpus/$t" | wc -l) files kept"
}

mode=${1:---replay}
case "$mode" in
--replay) build && replay ;;
--build) build ;;
--fuzz) build && fuzz "$2" "${3:-600}" "${4:-1}" ;;
--merge) merge "$2" ;;
*) sed -n '2,19p' "$0"; exit 2 ;;
esac
