#!/bin/sh
# A private MariaDB server for the test suites: its own data folder, socket and
# loopback port under a temporary folder, run as a plain foreground process (no
# system service). The suites find it through the variables printed by "start"
# or, when those are not in their environment, through the file server.env in the
# state folder.
#
#   eval "$(tests/mariadb.sh start)"   # prints export lines for the suites
#   ctest ...
#   tests/mariadb.sh stop
#
# The state folder is $ZOVORDA_MARIADB_DIR, by default ${TMPDIR:-/tmp}/zovorda-mariadb.
set -eu

STATE_DIR=${ZOVORDA_MARIADB_DIR:-${TMPDIR:-/tmp}/zovorda-mariadb}
DATA_DIR=$STATE_DIR/data
SOCKET=$STATE_DIR/mysqld.sock
PID_FILE=$STATE_DIR/mariadbd.pid
ENV_FILE=$STATE_DIR/server.env

find_tool() {
    for name in "$@"; do
        for dir in /usr/sbin /usr/bin /usr/local/sbin /usr/local/bin /usr/libexec; do
            if [ -x "$dir/$name" ]; then
                echo "$dir/$name"
                return 0
            fi
        done
        if command -v "$name" >/dev/null 2>&1; then
            command -v "$name"
            return 0
        fi
    done
    echo "mariadb.sh: none of $* found (install mariadb-server)" >&2
    return 1
}

running() {
    [ -f "$PID_FILE" ] && kill -0 "$(cat "$PID_FILE")" 2>/dev/null
}

print_env() {
    # shellcheck disable=SC1090
    . "$ENV_FILE"
    echo "export ZOVORDA_MARIADB_SOCKET='$ZOVORDA_MARIADB_SOCKET'"
    echo "export ZOVORDA_MARIADB_PORT='$ZOVORDA_MARIADB_PORT'"
    # The plug-in connects to "localhost" without a port; the client library then
    # takes the socket from this variable.
    echo "export MYSQL_UNIX_PORT='$ZOVORDA_MARIADB_SOCKET'"
}

free_port() {
    if command -v python3 >/dev/null 2>&1; then
        python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
    else
        echo $((20000 + $$ % 30000))
    fi
}

start() {
    if running; then
        print_env
        return 0
    fi
    server=$(find_tool mariadbd mysqld)
    install_db=$(find_tool mariadb-install-db mysql_install_db)
    admin=$(find_tool mariadb-admin mysqladmin)

    rm -rf "$STATE_DIR"
    mkdir -p "$DATA_DIR"
    # Root without a password, so that the suites can connect as "root" like a till
    # whose config.ini leaves the user empty.
    if ! "$install_db" --no-defaults --user=root --datadir="$DATA_DIR" \
        --auth-root-authentication-method=normal --skip-test-db >"$STATE_DIR/install.log" 2>&1; then
        cat "$STATE_DIR/install.log" >&2
        return 1
    fi

    port=$(free_port)
    # The server's own output goes to files: "eval $(… start)" waits for stdout to close.
    "$server" --no-defaults --user=root --datadir="$DATA_DIR" --socket="$SOCKET" \
        --port="$port" --bind-address=127.0.0.1 --pid-file="$PID_FILE" \
        --log-error="$STATE_DIR/error.log" --character-set-server=utf8mb4 \
        --innodb-buffer-pool-size=32M --skip-name-resolve \
        </dev/null >"$STATE_DIR/server.out" 2>&1 &

    tries=0
    until "$admin" --no-defaults --socket="$SOCKET" --user=root ping >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -gt 120 ]; then
            echo "mariadb.sh: server did not come up; see $STATE_DIR/error.log" >&2
            cat "$STATE_DIR/error.log" >&2 || true
            return 1
        fi
        sleep 0.25
    done

    {
        echo "ZOVORDA_MARIADB_SOCKET=$SOCKET"
        echo "ZOVORDA_MARIADB_PORT=$port"
    } >"$ENV_FILE"
    print_env
}

stop() {
    if running; then
        pid=$(cat "$PID_FILE")
        kill "$pid"
        tries=0
        while kill -0 "$pid" 2>/dev/null; do
            tries=$((tries + 1))
            if [ "$tries" -gt 120 ]; then
                kill -9 "$pid" 2>/dev/null || true
                break
            fi
            sleep 0.25
        done
    fi
    rm -rf "$STATE_DIR"
}

case "${1:-}" in
start) start ;;
stop) stop ;;
env)
    running || {
        echo "mariadb.sh: no server running" >&2
        exit 1
    }
    print_env
    ;;
*)
    echo "usage: $0 start|stop|env" >&2
    exit 2
    ;;
esac
