#!/bin/sh
# A private PostgreSQL 15 cluster for one test program.
#   pg_cluster.sh start DIR PORT WATCHPID   initdb in DIR/pg, serve 127.0.0.1:PORT,
#                                           create role, database and schema "tcore";
#                                           when process WATCHPID ends, stop it and
#                                           remove DIR (the test program's work directory)
#   pg_cluster.sh stop DIR                  stop the cluster and remove DIR
#   pg_cluster.sh halt DIR                  stop the server at once, keep the cluster
#   pg_cluster.sh resume DIR                start a halted server again
# Run as root, the server runs as the unprivileged user postgres.
# TCORE_PG_LISTEN: the address to serve (default 127.0.0.1); TCORE_PG_CLIENTS:
# networks (CIDR, blank-separated) whose clients may log in with a password,
# besides the local ones.
set -eu
BIN=${TCORE_PG_BIN:-/usr/lib/postgresql/15/bin}
cmd=$1
dir=$2
pg=$dir/pg

as_owner() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

stop_server() {
    if [ -f "$pg/data/postmaster.pid" ]; then
        as_owner "$BIN/pg_ctl" -D "$pg/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
    fi
}

start_server() {
    as_owner "$BIN/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w -t 60 -o "$(cat "$pg/options")" \
        start >/dev/null 2>&1 || { cat "$pg/server.log" >&2; exit 4; }
}

stop_cluster() {
    stop_server
    rm -rf "$dir"
}

case "$cmd" in
start)
    port=$3
    watch=$4
    [ -x "$BIN/initdb" ] || { echo "pg_cluster: $BIN/initdb not found (Debian package postgresql)" >&2; exit 2; }
    # The server's user reaches its own directory through DIR, nothing else.
    chmod 711 "$dir"
    # A failed earlier attempt may have left its server running.
    stop_server
    rm -rf "$pg"
    mkdir -m 700 "$pg"
    if [ "$(id -u)" = 0 ]; then chown postgres:postgres "$pg"; fi
    printf '%s\n' tcore-pw > "$pg/pwfile"
    if [ "$(id -u)" = 0 ]; then chown postgres:postgres "$pg/pwfile"; fi
    as_owner "$BIN/initdb" -D "$pg/data" -U tcore --pwfile="$pg/pwfile" --auth-local=trust \
        --auth-host=scram-sha-256 -E UTF8 --no-locale --no-sync >"$pg/initdb.log" 2>&1 \
        || { cat "$pg/initdb.log" >&2; exit 3; }
    for net in ${TCORE_PG_CLIENTS:-}; do
        echo "host all all $net scram-sha-256" >>"$pg/data/pg_hba.conf"
    done
    echo "-c listen_addresses=${TCORE_PG_LISTEN:-127.0.0.1} -c port=$port -c unix_socket_directories=$pg -c fsync=off -c max_connections=40" >"$pg/options"
    start_server
    as_owner "$BIN/psql" -X -q -h "$pg" -p "$port" -U tcore -d postgres \
        -c "CREATE DATABASE tcore" >/dev/null
    as_owner "$BIN/psql" -X -q -h "$pg" -p "$port" -U tcore -d tcore \
        -c "CREATE SCHEMA tcore" >/dev/null
    # Whatever happens to the test program, the cluster goes with it.
    (
        i=0
        while kill -0 "$watch" 2>/dev/null && [ $i -lt 21600 ]; do sleep 1; i=$((i + 1)); done
        stop_cluster
    ) </dev/null >/dev/null 2>&1 &
    ;;
stop)
    stop_cluster
    ;;
halt)
    stop_server
    ;;
resume)
    start_server
    ;;
*)
    echo "usage: $0 start DIR PORT WATCHPID | stop DIR | halt DIR | resume DIR" >&2
    exit 1
    ;;
esac
