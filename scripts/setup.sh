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
bash "$ROOT/scripts/ensure-packages.sh" "${PACKAGES[@]}"

echo "== building in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=${ZOVORDA_BUILD_TYPE:-RelWithDebInfo} ${ZOVORDA_CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
