#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, starts a private MariaDB server and
# runs every test suite headless.
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
cd "$BUILD"
ctest --output-on-failure -j2 --timeout 300
