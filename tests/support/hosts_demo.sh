#!/bin/sh
# The data move across hosts, on a bed of network namespaces (hostbed.sh):
# a kernel host, two agent hosts with an agent daemon each, a database host
# with a PostgreSQL server. Everything it makes is removed on every way out.
#
#   hosts_demo.sh BUILD_DIR [--loopback-names] [--tls] [--capture FILE] [--fault KIND]
#                 [tcore-hostdemo options]
#
# --loopback-names  each host's own name resolves to 127.0.1.1 (a default install)
# --tls             every host holds a certificate of a test authority, and every
#                   link between the programs runs inside TLS
# --capture FILE    every packet through the hub (all links) is written to FILE
# --fault KIND      made while agenthost1's copy is under way:
#     kill-agent      its agent is killed (SIGKILL)
#     link-down       the link of agenthost1 goes down for 10 s
#     db-stop         the database server stops (and comes back 5 s later)
#     daemon-restart  the daemon of agenthost1 is killed and started again
# Exit status: the kernel's (0: the move is complete and verified), 77 when
# this machine cannot make the bed.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(cd "$HERE/../.." && pwd)
BUILD=$(cd "$1" && pwd)
shift
BED="$HERE/hostbed.sh"
PGS="$HERE/pg_cluster.sh"
LOOPBACK=""
TLS=""
CAPTURE=""
CAPTURER=""
FAULT=""
KERNEL_ARGS=""
while [ $# -gt 0 ]; do
    case "$1" in
    --loopback-names) LOOPBACK=--loopback-names; shift ;;
    --tls) TLS=1; shift ;;
    --capture) CAPTURE=$2; shift 2 ;;
    --fault) FAULT=$2; shift 2 ;;
    *) KERNEL_ARGS="$KERNEL_ARGS $1"; shift ;;
    esac
done
case "$FAULT" in
"" | kill-agent | link-down | db-stop | daemon-restart) ;;
*) echo "hosts_demo: unknown fault $FAULT" >&2; exit 2 ;;
esac
why=$(sh "$BED" check) || { echo "hosts demo skipped: $why"; exit 77; }

DIR=$(mktemp -d /tmp/tcore-hosts-XXXXXX)
chmod 755 "$DIR"
DAEMON1=""
DAEMON2=""
cleanup() {
    status=$?
    trap - EXIT INT TERM
    for p in $DAEMON1 $DAEMON2 $CAPTURER; do kill -TERM "$p" 2>/dev/null || true; done
    for p in $DAEMON1 $DAEMON2; do
        i=0
        while kill -0 "$p" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    done
    sh "$PGS" stop "$DIR/db" >/dev/null 2>&1 || true
    sh "$BED" down "$DIR" || true
    rm -rf "$DIR"
    exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

PG_PORT=5432
DAEMON_PORT=47200
echo "tcore-daemon $DAEMON_PORT/tcp" >"$DIR/services.extra"
sh "$BED" up "$DIR" $$ $LOOPBACK --remove-dir
echo "hosts: kernelhost $(sh "$BED" address "$DIR" kernelhost), agenthost1 $(sh "$BED" address "$DIR" agenthost1)," \
    "agenthost2 $(sh "$BED" address "$DIR" agenthost2), dbhost $(sh "$BED" address "$DIR" dbhost)${LOOPBACK:+ (own names on 127.0.1.1)}"

# The settings of TLS for a host's programs (empty without --tls).
tls_env() {
    [ -n "$TLS" ] || return 0
    echo "TCORE_TLS_CA=$DIR/certs/ca.pem TCORE_TLS_CERT=$DIR/certs/$1.pem TCORE_TLS_KEY=$DIR/certs/$1.key"
}
if [ -n "$TLS" ]; then
    set --
    # Each host's name and address, and its loopback ones for the links
    # between its own programs.
    for h in kernelhost agenthost1 agenthost2; do
        set -- "$@" "$h,$(sh "$BED" address "$DIR" "$h"),localhost,127.0.0.1,127.0.1.1"
    done
    bash "$SRC/tools/make-certs.sh" "$DIR/certs" "$@" >/dev/null
    chmod 755 "$DIR/certs"
    chmod 644 "$DIR"/certs/*.pem "$DIR"/certs/*.key
    echo "hosts: every link inside TLS; each host holds its own certificate"
fi
if [ -n "$CAPTURE" ]; then
    sh "$BED" hub "$DIR" -- tcpdump -i any -U -s 0 -w "$CAPTURE" tcp >"$DIR/capture.log" 2>&1 &
    CAPTURER=$!
    i=0
    while ! grep -q listening "$DIR/capture.log" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
fi

mkdir "$DIR/db"
TCORE_PG_LISTEN=$(sh "$BED" address "$DIR" dbhost) TCORE_PG_CLIENTS="192.0.2.0/24 198.51.100.0/24 203.0.113.0/24" \
    sh "$BED" run "$DIR" dbhost -- sh "$PGS" start "$DIR/db" $PG_PORT $$
echo "dbhost: PostgreSQL serves $(sh "$BED" address "$DIR" dbhost):$PG_PORT"

pg_dsn() {
    printf '[%s]\nDriver = PostgreSQL Unicode\nServername = dbhost\nPort = %s\nDatabase = tcore\nUsername = tcore\nPassword = tcore-pw\n\n' "$1" $PG_PORT
}
sqlite_dsn() {
    printf '[%s]\nDriver = SQLite3\nDatabase = %s\nTimeout = 10000\n\n' "$1" "$2"
}
USER_NAME=$(id -un)
for h in agenthost1 agenthost2; do
    mkdir -p "$DIR/$h/bin"
    ln -s "$BUILD/tools/tcore-agent" "$DIR/$h/bin/tcore-agent"
    echo "$USER_NAME" >"$DIR/$h/allowed"
    { sqlite_dsn local "$DIR/$h/local.db"; pg_dsn warehouse; } >"$DIR/$h/odbc.ini"
done
{
    pg_dsn warehouse
    sqlite_dsn agenthost1_local "$DIR/agenthost1/local.db"
    sqlite_dsn agenthost2_local "$DIR/agenthost2/local.db"
} >"$DIR/kernel.odbc.ini"

start_daemon() {
    h=$1
    rm -f "$DIR/$h/daemon.port"
    # shellcheck disable=SC2046
    sh "$BED" run "$DIR" "$h" QL7DIR="$DIR/$h" ODBCINI="$DIR/$h/odbc.ini" $(tls_env "$h") -- "$BUILD/tools/tcore-daemon" \
        --service tcore-daemon --allowed-users "$DIR/$h/allowed" --port-file "$DIR/$h/daemon.port" \
        --stop-grace 3000 >>"$DIR/$h/daemon.log" 2>&1 &
    pid=$!
    i=0
    while [ ! -s "$DIR/$h/daemon.port" ] && [ $i -lt 100 ]; do
        kill -0 $pid 2>/dev/null || { cat "$DIR/$h/daemon.log" >&2; exit 1; }
        sleep 0.1
        i=$((i + 1))
    done
    [ -s "$DIR/$h/daemon.port" ] || { echo "hosts_demo: the daemon of $h did not start" >&2; exit 1; }
    echo "$h: tcore-daemon (pid $pid) on port $(cat "$DIR/$h/daemon.port")"
    eval "$2=$pid"
}
start_daemon agenthost1 DAEMON1
start_daemon agenthost2 DAEMON2

now_ms() { date +%s%3N; }

# Makes the fault once agenthost1's copy is a third done; bounded by the kernel's run.
inject() {
    out=$1
    i=0
    while [ $i -lt 1200 ]; do
        if grep -Eq 'agenthost1 +progress +([3-9][0-9]|100)%' "$out" 2>/dev/null; then break; fi
        kill -0 "$KERNEL" 2>/dev/null || return 0
        sleep 0.05
        i=$((i + 1))
    done
    case "$FAULT" in
    kill-agent)
        pid=$(sed -n 's/.*agenthost1 *daemon: agent up, queue port [0-9]*, pid \([0-9]*\).*/\1/p' "$out" | tail -1)
        now_ms >"$DIR/fault.at"
        kill -KILL "$pid"
        echo "fault: agent pid $pid on agenthost1 killed" ;;
    link-down)
        now_ms >"$DIR/fault.at"
        sh "$BED" link "$DIR" agenthost1 down
        echo "fault: link of agenthost1 down"
        sleep 10
        sh "$BED" link "$DIR" agenthost1 up
        echo "fault: link of agenthost1 up again after 10 s" ;;
    db-stop)
        now_ms >"$DIR/fault.at"
        sh "$PGS" halt "$DIR/db"
        echo "fault: database server on dbhost stopped"
        sleep 5
        sh "$BED" run "$DIR" dbhost -- sh "$PGS" resume "$DIR/db"
        echo "fault: database server on dbhost started again" ;;
    daemon-restart)
        now_ms >"$DIR/fault.at"
        kill -KILL "$DAEMON1"
        echo "fault: daemon pid $DAEMON1 of agenthost1 killed"
        start_daemon agenthost1 DAEMON1 ;;
    esac
}

EXPECT=""
[ "$FAULT" = db-stop ] && EXPECT=--expect-failure
: >"$DIR/kernel.out"
# shellcheck disable=SC2086
# shellcheck disable=SC2046
sh "$BED" run "$DIR" kernelhost ODBCINI="$DIR/kernel.odbc.ini" $(tls_env kernelhost) -- "$BUILD/tools/tcore-hostdemo" \
    --fault-file "$DIR/fault.at" $EXPECT $KERNEL_ARGS >"$DIR/kernel.out" 2>&1 &
KERNEL=$!
tail -f "$DIR/kernel.out" --pid=$KERNEL &
TAIL=$!
[ -n "$FAULT" ] && inject "$DIR/kernel.out"
set +e
wait $KERNEL
status=$?
set -e
wait $TAIL 2>/dev/null || true
for h in agenthost1 agenthost2; do
    echo "--- $h daemon log"
    cat "$DIR/$h/daemon.log"
done
if [ -n "$CAPTURER" ]; then
    kill -INT "$CAPTURER" 2>/dev/null || true
    wait "$CAPTURER" 2>/dev/null || true
    CAPTURER=""
    cat "$DIR/capture.log"
fi
exit $status
