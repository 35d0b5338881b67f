#!/usr/bin/env bash
# Puts the Windows release together: what a POS integrator unzips beside the host.
#
#   bash tools/windows/package.sh BUILD_DIR QT_PREFIX [x86_64|i686]
#
# BUILD_DIR is a Windows build of this repository (tools/windows/build.sh makes it),
# QT_PREFIX the Qt it was built against. Writes dist/ZoVORDA-<version>-win64.zip (win32
# for i686) and prints its path on the last line. Every DLL and program in the zip must
# find each DLL it imports in the zip or in Windows itself; one that does not fails the
# packaging.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 BUILD_DIR QT_PREFIX [x86_64|i686]" >&2
    exit 2
fi
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=$(cd "$1" && pwd)
QT=$(cd "$2" && pwd)
ARCH=${3:-x86_64}
case "$ARCH" in
x86_64) BITS=win64 GCC_RUNTIME=libgcc_s_seh-1.dll ;;
i686) BITS=win32 GCC_RUNTIME=libgcc_s_dw2-1.dll ;;
*)
    echo "usage: $0 BUILD_DIR QT_PREFIX [x86_64|i686]" >&2
    exit 2
    ;;
esac
TRIPLE=$ARCH-w64-mingw32
VERSION=$(sed -n 's/^project(ZoVORDA VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
NAME=ZoVORDA-$VERSION-$BITS
STAGE=$(mktemp -d /tmp/zovorda-package.XXXXXX)
trap 'rm -rf "$STAGE"' EXIT
OUT=$STAGE/$NAME
mkdir -p "$OUT"

# The plug-in and the installer's check.
cp "$BUILD/ZoVORDA.dll" "$BUILD/tools/doctor/zovorda-doctor.exe" "$OUT/"
# The Qt DLLs and plug-ins the plug-in and the doctor use, as windeployqt collects
# them; offscreen and minimal for headless checks.
for module in Core Gui Widgets Network Sql; do
    cp "$QT/bin/Qt5$module.dll" "$OUT/"
done
for plugin in platforms/qwindows platforms/qoffscreen platforms/qminimal sqldrivers/qsqlite sqldrivers/qsqlodbc \
    styles/qwindowsvistastyle imageformats/qgif imageformats/qico imageformats/qjpeg bearer/qgenericbearer; do
    mkdir -p "$OUT/$(dirname "$plugin")"
    cp "$QT/plugins/$plugin.dll" "$OUT/$plugin.dll"
done
# The compiler's run-time, the posix-thread flavour everything was built with.
GCC_DIR=$(dirname "$("$TRIPLE-g++-posix" -print-file-name=libstdc++-6.dll)")
cp "$GCC_DIR/libstdc++-6.dll" "$GCC_DIR/$GCC_RUNTIME" "$OUT/"
cp "$("$TRIPLE-g++-posix" -print-file-name=libwinpthread-1.dll)" "$OUT/"
# Settings, the member table and this folder's read-me.
cp "$ROOT/tools/windows/dist/README.txt" "$ROOT/tools/windows/dist/ZoVORDA.ini" \
    "$ROOT/tools/windows/dist/RVX_Config.ini" "$ROOT/tools/windows/dist/config.ini" \
    "$ROOT/db/t_member.sqlite.sql" "$ROOT/db/t_member.mariadb.sql" "$ROOT/db/load_members.py" "$OUT/"
# The read-me is written for the 64-bit folder; the 32-bit one has its own run-time and
# OpenSSL file names and fits the other hosts.
if [ "$ARCH" = i686 ]; then
    sed -i -e 's/(64-bit, MinGW-w64/(32-bit, MinGW-w64/' -e 's/libgcc_s_seh-1\.dll/libgcc_s_dw2-1.dll/' \
        -e 's/must be a 64-bit Qt 5 program/must be a 32-bit Qt 5 program/' -e 's/or a 32-bit host,/or a 64-bit host,/' \
        -e 's/libssl-1_1-x64\.dll, libcrypto-1_1-x64\.dll/libssl-1_1.dll, libcrypto-1_1.dll/' "$OUT/README.txt"
fi
"$TRIPLE-strip" --strip-unneeded "$OUT/ZoVORDA.dll" "$OUT/zovorda-doctor.exe"

# The DLL exports the two calls under their plain names, and nothing else.
exports=$("$TRIPLE-objdump" -p "$OUT/ZoVORDA.dll" | awk '/\[Ordinal\/Name Pointer\] Table/ {table = 1; next}
    table && /^\s*\[/ {print $NF; next} table {table = 0}' | sort | tr '\n' ' ')
if [ "$exports" != "ZoCardTrans ZoVipTrans " ]; then
    echo "package: ZoVORDA.dll exports '$exports', not exactly ZoCardTrans and ZoVipTrans" >&2
    exit 1
fi
echo "ZoVORDA.dll exports: $exports"

# Every import found in the folder or in Windows.
SYSTEM_DLLS=(advapi32 bcrypt comdlg32 crypt32 d3d9 d3d11 dnsapi dwmapi dwrite dxgi gdi32 imm32 iphlpapi
             kernel32 mpr msvcrt ncrypt netapi32 odbc32 ole32 oleaut32 secur32 setupapi shell32 shlwapi
             user32 userenv uxtheme version winmm ws2_32 wtsapi32)
is_system_dll() {
    local name
    name=$(echo "${1%.[dD][lL][lL]}" | tr 'A-Z' 'a-z')
    for system in "${SYSTEM_DLLS[@]}"; do
        [ "$name" = "$system" ] && return 0
    done
    return 1
}
missing=0
while IFS= read -r -d '' file; do
    for dll in $("$TRIPLE-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        case "$dll" in api-ms-win-* | API-MS-WIN-*) continue ;; esac
        [ -f "$OUT/$dll" ] || is_system_dll "$dll" && continue
        echo "package: ${file#"$OUT"/} imports $dll, which is neither in the package nor in Windows" >&2
        missing=1
    done
done < <(find "$OUT" \( -name '*.dll' -o -name '*.exe' \) -print0)
[ "$missing" = 0 ] || exit 1

mkdir -p "$ROOT/dist"
ZIP=$ROOT/dist/$NAME.zip
rm -f "$ZIP"
(cd "$STAGE" && python3 -c '
import os, sys, zipfile
name, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(name):
        dirs.sort()
        for f in sorted(files):
            z.write(os.path.join(folder, f))
' "$NAME" "$ZIP")
echo "$ZIP ($(du -k "$ZIP" | cut -f1) KiB, $(find "$OUT" -type f | wc -l) files)"
echo "$ZIP"
