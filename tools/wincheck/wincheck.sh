#!/usr/bin/env bash
# Windows readiness check, run on Linux with Debian's MinGW-w64 cross compilers.
#
#   bash tools/wincheck/wincheck.sh BUILD_DIR
#
# BUILD_DIR is a configured Linux build tree of this repository (its moc_*.cpp and
# ui_*.h are reused: they do not depend on the platform).
#
# 1. Every .cpp of src/, every generated moc_*.cpp and every ui_*.h is compiled
#    syntax-only as Windows code (the compiler itself defines _WIN32, so Qt sets
#    Q_OS_WIN and our Windows branches are compiled for real), for x86_64 and i686.
#    Qt's headers are system headers there; our code gets -Wall -Wextra -Wpedantic
#    (GNU extensions would not get past MSVC), and an error or a warning in our code
#    fails the check. What Qt's own headers would warn about
#    under this compiler is counted in a separate probe and only reported.
# 2. The two exports: a DLL built from ZoVORDA.h and ZoVORDA.def must export exactly
#    ZoVipTrans and ZoCardTrans, with no "_" prefix and no "@N" suffix, and the real
#    api/ZoVORDA.cpp must define them as plain cdecl C functions, on both architectures.
#
# Exit status 0 when everything passes, 1 on a failure, 2 on a usage error.
# Environment: WINCHECK_JOBS (parallel compiles, default: number of CPUs), QT5_INCLUDE
# (default Debian's Qt 5 headers), WINCHECK_KEEP=1 (keep the work folder in /tmp).
set -euo pipefail

if [ $# -ne 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "$1" && pwd)
QT=${QT5_INCLUDE:-/usr/include/x86_64-linux-gnu/qt5}
JOBS=${WINCHECK_JOBS:-$(nproc)}
ARCHS=(x86_64 i686)
# Qt 5.15 runs on Windows 7 and later; keep us to the API it has.
WINDEFS=(-D_WIN32_WINNT=0x0601)
START=$SECONDS

# --- tools ----------------------------------------------------------------------
PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
          qtbase5-dev python3)
bash "$ROOT/scripts/ensure-packages.sh" "${PACKAGES[@]}" >/dev/null

# --- generated sources ------------------------------------------------------------
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$BUILD/CMakeCache.txt" 2>/dev/null || true)
if [ -n "$source_dir" ] && [ "$(cd "$source_dir" && pwd)" != "$ROOT" ]; then
    echo "wincheck: $BUILD was configured for $source_dir, not for $ROOT" >&2
    exit 2
fi

WORK=$(mktemp -d /tmp/wincheck.XXXXXX)
[ -n "${WINCHECK_KEEP:-}" ] || trap 'rm -rf "$WORK"' EXIT

if [ -f "$BUILD/CMakeCache.txt" ]; then
    # Brings moc_*.cpp and ui_*.h up to date with the headers and forms (moc and uic only).
    # A tree that cannot regenerate right now is checked with what it generated last.
    if ! cmake --build "$BUILD" --target zovorda_core_autogen ZoVORDA_autogen >"$WORK/autogen.log" 2>&1; then
        echo "wincheck: could not refresh the generated sources in $BUILD; using them as they are:"
        tail -n 5 "$WORK/autogen.log" | sed 's/^/   /'
    fi
fi
if [ ! -d "$BUILD/src/zovorda_core_autogen" ] || [ ! -f "$BUILD/compile_commands.json" ]; then
    echo "wincheck: $BUILD is not a configured Linux build tree of $ROOT" >&2
    echo "          (cmake -S $ROOT -B $BUILD && cmake --build $BUILD --target zovorda_core_autogen)" >&2
    exit 2
fi

# --- the job list -------------------------------------------------------------------
# One line per compile: arch, label, shell-quoted compiler arguments. The defines and our
# include directories of each file are those of the Linux build (compile_commands.json),
# so the plug-in's own file gets ZOVORDA_BUILDING_PLUGIN exactly as in the real build.
# Files the Linux tree does not know yet are checked with the flags of zovorda_core
# (api/ZoVORDA.cpp with those of ZoVORDA).
# The Qt headers our code includes are parsed once per architecture into a precompiled
# header ("pch" jobs, run first); that halves the time of the check. The database
# library's files are built without the GUI modules' defines, so for them the header
# is read as text instead.
python3 - "$ROOT" "$BUILD" "$QT" "$WORK" "${WINDEFS[*]}" "${ARCHS[@]}" >"$WORK/jobs" <<'PY'
import glob, json, os, re, shlex, sys

root, build, qt, work, windefs, archs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5].split(), sys.argv[6:]
entries = {}
for e in json.load(open(os.path.join(build, "compile_commands.json"))):
    args = e.get("arguments") or shlex.split(e["command"])
    flags, i = [], 0
    while i < len(args):
        a = args[i]
        if a in ("-D", "-I"):
            a += args[i + 1]
            i += 1
        if a.startswith("-D") or (a.startswith("-I") and not a[2:].startswith(qt)):
            flags.append(a)
        i += 1
    entries[os.path.realpath(os.path.join(e["directory"], e["file"]))] = flags

def autogen_flags(target):
    return entries.get(os.path.realpath(os.path.join(build, "src", target + "_autogen", "mocs_compilation.cpp")))

core = autogen_flags("zovorda_core")
if core is None:
    sys.exit("wincheck: zovorda_core is missing from compile_commands.json")

plugin = autogen_flags("ZoVORDA") or core
jobs = []
for f in sorted(glob.glob(os.path.join(root, "src", "**", "*.cpp"), recursive=True)):
    label = os.path.relpath(f, root)
    jobs.append(("src", label, f, entries.get(os.path.realpath(f), plugin if label == "src/api/ZoVORDA.cpp" else core)))
for target in ("zovorda_core", "ZoVORDA"):
    flags = autogen_flags(target) or core
    top = os.path.join(build, "src", target + "_autogen")
    for f in sorted(glob.glob(os.path.join(top, "**", "moc_*.cpp"), recursive=True)):
        jobs.append(("moc", os.path.relpath(f, build), f, flags))
    for f in sorted(glob.glob(os.path.join(top, "include", "ui_*.h"))):
        jobs.append(("uic", os.path.relpath(f, build), f, flags))

used = set()
for f in glob.glob(os.path.join(root, "src", "**", "*.*"), recursive=True):
    for line in open(f, encoding="utf-8", errors="replace"):
        m = re.match(r'\s*#\s*include\s*<(Q\w*)>', line)
        if m:
            used.add(m.group(1))
qt_headers = "".join("#include <%s>\n" % h for h in sorted(used))

qt_dirs = [qt] + [os.path.join(qt, m) for m in ("QtCore", "QtGui", "QtWidgets", "QtNetwork", "QtSql")]
qt_system = ["-isystem" + d for d in qt_dirs]
common = ["-std=c++17", "-Wall", "-Wextra", "-Wpedantic"] + windefs
for arch in archs:
    os.makedirs(os.path.join(work, arch), exist_ok=True)
    pch = os.path.join(work, arch, "qt.h")
    # What Qt's headers say under this compiler: the same headers taken as ordinary
    # (not system) headers.
    probe = os.path.join(work, arch, "qt_headers_probe.cpp")
    for path in (pch, probe):
        with open(path, "w") as out:
            out.write(qt_headers)
    print("\t".join([arch, "#pch", shlex.join(common + core + qt_system + ["-x", "c++-header", pch, "-o", pch + ".gch"])]))
    print("\t".join([arch, "#qt-headers", shlex.join(common + ["-fsyntax-only"] + core + ["-I" + d for d in qt_dirs] + [probe])]))
    for kind, label, path, flags in jobs:
        lang = ["-x", "c++"] if kind == "uic" else []
        print("\t".join([arch, label, shlex.join(common + ["-fsyntax-only", "-include", pch] + flags + qt_system + lang + [path])]))
PY

# shellcheck disable=SC2317 # run by xargs through bash -c
compile_one() {
    local arch label args
    IFS=$'\t' read -r arch label args <<<"$1"
    local log="$WORK/logs/$arch/${label//\//_}.log"
    mkdir -p "$(dirname "$log")"
    if eval "$arch-w64-mingw32-g++-posix $args" >"$log" 2>&1; then
        echo 0 >"$log.rc"
    else
        echo 1 >"$log.rc"
    fi
}
export -f compile_one
export WORK

echo "== compiling $(grep -vc $'\t#' "$WORK/jobs") translation units as Windows code ($JOBS in parallel)"
# shellcheck disable=SC2016 # $1 is compile_one's, inside bash -c
grep $'\t#pch\t' "$WORK/jobs" | tr '\n' '\0' | xargs -0 -n1 -P "$JOBS" bash -c 'compile_one "$1"' _
# shellcheck disable=SC2016
grep -v $'\t#pch\t' "$WORK/jobs" | tr '\n' '\0' | xargs -0 -n1 -P "$JOBS" bash -c 'compile_one "$1"' _

failed=0
for arch in "${ARCHS[@]}"; do
    ok=0
    bad=()
    while IFS=$'\t' read -r a label _; do
        [ "$a" = "$arch" ] || continue
        log="$WORK/logs/$arch/${label//\//_}.log"
        if [ "$label" = "#qt-headers" ]; then
            qtwarn=$(grep -c ': warning:' "$log" || true)
            kinds=$(grep -o '\[-W[^]]*\]' "$log" | sort | uniq -c | sort -rn | awk '{printf "%s%s x%s", sep, $2, $1; sep=", "}')
            continue
        fi
        if [ "$(cat "$log.rc")" = 0 ] && ! grep -q ': warning:' "$log"; then
            [ "$label" = "#pch" ] || ok=$((ok + 1))
        else
            bad+=("$label")
            echo "!! $arch: $label"
            sed 's/^/   /' "$log"
        fi
    done <"$WORK/jobs"
    if [ ${#bad[@]} -eq 0 ]; then
        echo "wincheck $arch: $ok files OK"
    else
        echo "wincheck $arch: $ok files OK, ${#bad[@]} FAILED: ${bad[*]}"
        failed=1
    fi
    echo "   Qt 5 headers themselves (not ours, not failing): ${qtwarn} warnings${kinds:+ ($kinds)}"
done

# --- the exports ----------------------------------------------------------------------
# A DLL from the header's own declarations and the module-definition file: its export
# table is what a host's GetProcAddress sees.
cat >"$WORK/exports_stub.cpp" <<'EOF'
#include "api/ZoVORDA.h"

extern "C" {
ZOVORDA_API void ZOVORDA_CALL ZoVipTrans(const char*, char* out) {
    *out = 0;
}
ZOVORDA_API void ZOVORDA_CALL ZoCardTrans(const char*, const char*, const char*, void*, char* out) {
    *out = 0;
}
}
EOF
plugin_flags=$(awk -F'\t' '$2 == "src/api/ZoVORDA.cpp" { print $3; exit }' "$WORK/jobs" | sed 's/ -include [^ ]*//')
for arch in "${ARCHS[@]}"; do
    cxx=$arch-w64-mingw32-g++-posix
    dll=$WORK/$arch/ZoVORDA.dll
    mkdir -p "$WORK/$arch"
    if ! $cxx -std=c++17 -Wall -Wextra -DZOVORDA_BUILDING_PLUGIN -I"$ROOT/src" -isystem "$QT" -isystem "$QT/QtCore" \
        -shared -static-libgcc -static-libstdc++ -o "$dll" "$WORK/exports_stub.cpp" "$ROOT/src/api/ZoVORDA.def" \
        >"$WORK/$arch/link.log" 2>&1; then
        echo "!! $arch: the export stub DLL does not link"
        sed 's/^/   /' "$WORK/$arch/link.log"
        failed=1
        continue
    fi
    exports=$("$arch"-w64-mingw32-objdump -p "$dll" |
        sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ { print $NF }' | sort | tr '\n' ' ')

    # The real definitions: C names of cdecl functions are the bare name (with the
    # platform's "_" on 32-bit COFF); __stdcall would add "@N", C++ linkage would mangle.
    # eval: the flags are shell-quoted by the job list.
    eval "$cxx ${plugin_flags/-fsyntax-only/-c -w} -o $WORK/$arch/ZoVORDA.o" \
        >"$WORK/$arch/obj.log" 2>&1 || true
    symbols=$("$arch"-w64-mingw32-nm --defined-only -g "$WORK/$arch/ZoVORDA.o" 2>/dev/null |
        awk '$2 == "T" && $3 ~ /ZoVipTrans|ZoCardTrans/ { print $3 }' | sort | tr '\n' ' ')
    want_symbols="ZoCardTrans ZoVipTrans "
    [ "$arch" = i686 ] && want_symbols="_ZoCardTrans _ZoVipTrans "

    if [ "$exports" = "ZoCardTrans ZoVipTrans " ] && [ "$symbols" = "$want_symbols" ]; then
        echo "wincheck $arch: exports ZoVipTrans, ZoCardTrans (undecorated; cdecl in api/ZoVORDA.cpp)"
    else
        echo "!! $arch: DLL exports [${exports% }] (want [ZoCardTrans ZoVipTrans]);" \
            "api/ZoVORDA.cpp defines [${symbols% }] (want [${want_symbols% }])"
        sed 's/^/   /' "$WORK/$arch/obj.log"
        failed=1
    fi
done

echo "wincheck: $((SECONDS - START)) s"
exit $failed
