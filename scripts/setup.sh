#!/usr/bin/env bash
# Installs what the build and the tests need (Debian 12) and builds into build/.
# Sourced by demo.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT=$PWD
BUILD=${ZOVORDA_BUILD_DIR:-$ROOT/build}

PACKAGES=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite libqt5sql5-mysql
          libqt5sql5-odbc libcpp-httplib-dev libssl-dev mariadb-server mariadb-client odbc-mariadb unixodbc
          sqlite3 python3 fonts-noto-cjk openssl clang libclang-rt-14-dev)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

echo "== building in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=${ZOVORDA_BUILD_TYPE:-RelWithDebInfo} ${ZOVORDA_CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
