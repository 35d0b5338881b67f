#!/usr/bin/env bash
# Builds Qt 5.15 for Windows from Debian's own qtbase source with MinGW-w64, once.
#
#   bash tools/windows/build-qt.sh [x86_64|i686]      (default x86_64)
#
# Prints the Qt prefix on stdout (its progress on stderr). The result is kept in a cache folder outside
# the checkout, keyed by the Qt version, the architecture and the configure options:
#   ${ZOVORDA_WIN_CACHE:-$HOME/.cache/zovorda-win}/qt-<version>-<arch>-<key>/
# A second run finds it complete and does nothing.
#
# What is built: qtbase's libraries (Core, Gui, Widgets, Network, Sql, Test and the
# small ones qtbase always builds; not PrintSupport, Concurrent or Xml, which nothing
# here uses), the windows, offscreen and minimal platform
# plugins, the SQLite driver (on SQLite's own source, from Debian's sqlite3 source
# package, since Debian's qtbase source has the bundled copy removed) and the ODBC
# driver. No OpenGL, no OpenSSL (HTTPS on Windows needs Qt's OpenSSL DLLs beside the
# host), no examples, no tests. The host tools (qmake, moc, rcc, uic) are Linux
# programs in the prefix's bin/.
set -euo pipefail

ARCH=${1:-x86_64}
case "$ARCH" in
x86_64) PACKAGE_ARCH=x86-64 ;;
i686) PACKAGE_ARCH=i686 ;;
*)
    echo "usage: $0 [x86_64|i686]" >&2
    exit 2
    ;;
esac
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Progress goes to stderr; stdout gets the prefix alone, at the end.
exec 3>&1 1>&2
CACHE=${ZOVORDA_WIN_CACHE:-$HOME/.cache/zovorda-win}
JOBS=${ZOVORDA_WIN_JOBS:-$(nproc)}
QT_VERSION=5.15.8
TRIPLE=$ARCH-w64-mingw32

CONFIGURE_OPTIONS=(-release -opensource -confirm-license -shared -platform linux-g++ -xplatform win32-g++
                   -device-option CROSS_COMPILE=$TRIPLE- -nomake examples -nomake tests -no-opengl
                   -no-direct2d -no-vulkan -no-dbus -no-icu -no-openssl -qt-zlib -qt-pcre -qt-libpng
                   -qt-libjpeg -qt-freetype -qt-harfbuzz -no-fontconfig -sql-sqlite -qt-sqlite -sql-odbc
                   -no-sql-mysql -no-sql-psql -no-sql-oci -no-sql-db2 -no-sql-ibase -no-sql-tds
                   -no-sql-sqlite2 -no-feature-printer -no-feature-concurrent -no-feature-xml)
# Raise RECIPE when a change below makes a different Qt.
RECIPE=1
KEY=$(printf '%s\n' "$RECIPE" "$QT_VERSION" "$ARCH" "${CONFIGURE_OPTIONS[@]}" | sha256sum | cut -c1-10)
PREFIX=$CACHE/qt-$QT_VERSION-$ARCH-$KEY
if [ -f "$PREFIX/.complete" ]; then
    echo "== Qt $QT_VERSION for Windows ($ARCH) is in the cache: $PREFIX"
    echo "$PREFIX" >&3
    exit 0
fi
START=$SECONDS
step() { echo "== [$(((SECONDS - START) / 60)) min] $*"; }

step "tools"
bash "$ROOT/scripts/ensure-packages.sh" "g++-mingw-w64-$PACKAGE_ARCH-posix" "binutils-mingw-w64-$PACKAGE_ARCH" \
    make perl python3 tcl xz-utils gcc patch

# The posix-thread compilers, under the names Qt's win32-g++ platform files call them.
TOOLBIN=$CACHE/toolbin-$ARCH
mkdir -p "$TOOLBIN"
for tool in gcc g++; do
    ln -sf "/usr/bin/$TRIPLE-$tool-posix" "$TOOLBIN/$TRIPLE-$tool"
done
export PATH=$TOOLBIN:$PATH

step "Debian's sources of qtbase and sqlite3"
DOWNLOADS=$CACHE/downloads
mkdir -p "$DOWNLOADS"
if ! ls "$DOWNLOADS"/qtbase-opensource-src_$QT_VERSION*.orig.tar.xz >/dev/null 2>&1 ||
    ! ls "$DOWNLOADS"/sqlite3_*.orig.tar.xz >/dev/null 2>&1; then
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        SUDO=""
        [ "$(id -u)" -eq 0 ] || SUDO=sudo
        $SUDO tee /etc/apt/sources.list.d/zovorda-debian-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        $SUDO apt-get update -q
    fi
    (cd "$DOWNLOADS" && apt-get source --download-only -q qtbase-opensource-src sqlite3 >"$DOWNLOADS/apt-source.log" 2>&1) || {
        cat "$DOWNLOADS/apt-source.log"
        exit 1
    }
fi
QT_ORIG=$(ls "$DOWNLOADS"/qtbase-opensource-src_$QT_VERSION*.orig.tar.xz | head -1)
QT_DEBIAN=$(ls "$DOWNLOADS"/qtbase-opensource-src_$QT_VERSION*.debian.tar.xz | tail -1)
SQLITE_ORIG=$(ls "$DOWNLOADS"/sqlite3_*.orig.tar.xz | grep -v www | head -1)

WORK=$CACHE/work-$ARCH-$KEY
rm -rf "$WORK"
mkdir -p "$WORK"
step "unpacking $(basename "$QT_ORIG") with Debian's patches"
tar xf "$QT_ORIG" -C "$WORK"
tar xf "$QT_DEBIAN" -C "$WORK"
SRC=$WORK/qtbase-everywhere-src-$QT_VERSION
while read -r patch; do
    case "$patch" in '' | '#'*) continue ;; esac
    patch -d "$SRC" -p1 -s --forward <"$WORK/debian/patches/$patch"
done <"$WORK/debian/patches/series"

# Debian's source has the Wintab header (graphics tablets) removed as well: the windows
# platform plug-in goes without Wintab (pen input through Windows' pointer messages
# stays).
WINDOWS_QPA=$SRC/src/plugins/platforms/windows
sed -i 's/^qtConfig(tabletevent) {/false { # no Wintab: its header is not in this source/' "$WINDOWS_QPA/windows.pri"
sed -i 's|QT_CONFIG(tabletevent)|0 /* no Wintab header in this source */|' "$WINDOWS_QPA/qwindowscontext.cpp"

step "SQLite's single-file source from $(basename "$SQLITE_ORIG")"
tar xf "$SQLITE_ORIG" -C "$WORK"
SQLITE_SRC=$(find "$WORK" -maxdepth 1 -type d -name 'sqlite3-*' | head -1)
(cd "$SQLITE_SRC" && ./configure -q >/dev/null && make -s sqlite3.c >/dev/null)
mkdir -p "$SRC/src/3rdparty/sqlite"
cp "$SQLITE_SRC/sqlite3.c" "$SQLITE_SRC/sqlite3.h" "$SRC/src/3rdparty/sqlite/"

step "configuring (output in $WORK/configure.log)"
mkdir -p "$WORK/build"
(cd "$WORK/build" && "$SRC/configure" -prefix "$PREFIX" "${CONFIGURE_OPTIONS[@]}" >"$WORK/configure.log" 2>&1) || {
    tail -30 "$WORK/configure.log"
    exit 1
}

step "building with $JOBS jobs (output in $WORK/build.log)"
(cd "$WORK/build" && make -j"$JOBS" >"$WORK/build.log" 2>&1) || {
    grep -E -B3 'error|Error' "$WORK/build.log" | head -40
    exit 1
}
step "installing into $PREFIX"
(cd "$WORK/build" && make -j"$JOBS" install >"$WORK/install.log" 2>&1) || {
    tail -30 "$WORK/install.log"
    exit 1
}
# CMake's Qt packages look for the host tools with Windows' suffix in a cross build.
for tool in "$PREFIX"/bin/moc "$PREFIX"/bin/rcc "$PREFIX"/bin/uic "$PREFIX"/bin/qmake; do
    [ -f "$tool" ] && [ ! -e "$tool.exe" ] && ln -s "$(basename "$tool")" "$tool.exe"
done
rm -rf "$WORK"
touch "$PREFIX/.complete"
step "done"
echo "$PREFIX" >&3
