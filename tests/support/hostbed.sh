#!/bin/sh
# A bed of hosts on one machine: each host a network namespace, joined to a
# hub namespace that routes between them (one veth pair per host, a default
# route via the hub), addressed in documentation ranges, named through a
# hosts file of its own that is bind-mounted over /etc/hosts in a private
# mount namespace, with NVHOSTNAME set to its name.
#
#   hostbed.sh check                         exit 0 when namespaces can be made here,
#                                            else print why and exit 77
#   hostbed.sh up DIR WATCHPID [--loopback-names] [--remove-dir]
#                                            make the hosts; DIR holds the bed's files
#                                            and must exist; when process WATCHPID ends
#                                            the bed is removed (with --remove-dir, DIR
#                                            too). --loopback-names: each host's own name
#                                            maps to 127.0.1.1 (as on a default Debian
#                                            install)
#   hostbed.sh run DIR HOST [NAME=VALUE...] -- PROGRAM [ARG...]
#                                            run PROGRAM on HOST (replaces this shell, so
#                                            the caller's child is the program itself)
#   hostbed.sh link DIR HOST down|up         take HOST's link at the hub down or up again
#                                            (up restores the routes the link lost)
#   hostbed.sh address DIR HOST              print HOST's address
#   hostbed.sh hub DIR -- PROGRAM [ARG...]   run PROGRAM in the hub (a capture of every
#                                            link, say)
#   hostbed.sh down DIR                      end every process of the bed, remove it
#
# Hosts and addresses (one subnet per link, the hub has .1 or .129 of it):
#   kernelhost 192.0.2.10/24, agenthost1 198.51.100.10/25,
#   dbhost 198.51.100.130/25, agenthost2 203.0.113.10/24.
# A services file with the entries of the files DIR/services.extra (when it
# exists) added is bind-mounted over /etc/services the same way.
set -eu

HOSTS="kernelhost agenthost1 agenthost2 dbhost"

host_address() {
    case "$1" in
    kernelhost) echo 192.0.2.10 ;;
    agenthost1) echo 198.51.100.10 ;;
    dbhost) echo 198.51.100.130 ;;
    agenthost2) echo 203.0.113.10 ;;
    *) echo "hostbed: no host $1" >&2; exit 2 ;;
    esac
}
hub_address() {
    case "$1" in
    kernelhost) echo 192.0.2.1/24 ;;
    agenthost1) echo 198.51.100.1/25 ;;
    dbhost) echo 198.51.100.129/25 ;;
    agenthost2) echo 203.0.113.1/24 ;;
    esac
}
prefix_length() { hub_address "$1" | sed 's|.*/||'; }

# Namespace names carry the bed's id so that beds of parallel tests do not meet.
load() {
    [ -f "$1/bed.env" ] || { echo "hostbed: no bed in $1" >&2; exit 2; }
    . "$1/bed.env"
}
ns_of() { echo "tcore-$BED_ID-$1"; }
hub_if() { echo "to-$1"; }

check() {
    if [ "$(id -u)" != 0 ]; then
        echo "network namespaces need root (running as uid $(id -u))"
        return 77
    fi
    for t in ip unshare mount; do
        command -v $t >/dev/null 2>&1 || { echo "$t is not installed (Debian packages iproute2, util-linux)"; return 77; }
    done
    probe="tcore-probe-$$"
    if ! out=$(ip netns add "$probe" 2>&1); then
        echo "this machine forbids network namespaces: $out"
        return 77
    fi
    ok=0
    ip netns exec "$probe" unshare -m --propagation private true 2>/dev/null || ok=1
    ip netns del "$probe" 2>/dev/null || true
    if [ $ok != 0 ]; then
        echo "this machine forbids private mount namespaces"
        return 77
    fi
    return 0
}

write_hosts() {
    dir=$1
    loopback=$2
    for h in $HOSTS; do
        {
            echo "127.0.0.1 localhost"
            for o in $HOSTS; do
                if [ "$o" = "$h" ] && [ "$loopback" = 1 ]; then
                    echo "127.0.1.1 $o"
                else
                    echo "$(host_address "$o") $o"
                fi
            done
        } >"$dir/hosts.$h"
    done
    cat /etc/services >"$dir/services"
    if [ -f "$dir/services.extra" ]; then cat "$dir/services.extra" >>"$dir/services"; fi
}

remove_bed() {
    dir=$1
    [ -f "$dir/bed.env" ] || return 0
    . "$dir/bed.env"
    for h in $HOSTS hub; do
        ns=$(ns_of "$h")
        [ -e "/run/netns/$ns" ] || continue
        # Processes of the bed's own namespaces: started by the bed's users.
        pids=$(ip netns pids "$ns" 2>/dev/null || true)
        if [ -n "$pids" ]; then kill -KILL $pids 2>/dev/null || true; fi
        ip netns del "$ns" 2>/dev/null || true
    done
    rm -f "$dir/bed.env"
}

up() {
    dir=$1
    watch=$2
    shift 2
    loopback=0
    removedir=0
    for flag in "$@"; do
        case "$flag" in
        --loopback-names) loopback=1 ;;
        --remove-dir) removedir=1 ;;
        *) echo "hostbed: unknown flag $flag" >&2; exit 2 ;;
        esac
    done
    [ -d "$dir" ] || { echo "hostbed: $dir is not a directory" >&2; exit 2; }
    why=$(check) || { echo "hostbed: $why" >&2; exit 77; }
    BED_ID=$(printf '%s' "$dir" | cksum | cut -d' ' -f1 | cut -c1-8)$$
    echo "BED_ID=$BED_ID" >"$dir/bed.env"
    trap 'remove_bed "$dir"' EXIT
    hub=$(ns_of hub)
    ip netns add "$hub"
    ip -n "$hub" link set lo up
    ip netns exec "$hub" sysctl -q -w net.ipv4.ip_forward=1
    for h in $HOSTS; do
        ns=$(ns_of "$h")
        ip netns add "$ns"
        ip -n "$ns" link set lo up
        # Both ends are made inside their namespaces, so no name meets the machine's.
        ip link add eth0 netns "$ns" type veth peer name "$(hub_if "$h")" netns "$hub"
        ip -n "$ns" addr add "$(host_address "$h")/$(prefix_length "$h")" dev eth0
        ip -n "$ns" link set eth0 up
        ip -n "$hub" addr add "$(hub_address "$h")" dev "$(hub_if "$h")"
        ip -n "$hub" link set "$(hub_if "$h")" up
        ip -n "$ns" route add default via "$(hub_address "$h" | sed 's|/.*||')"
    done
    write_hosts "$dir" $loopback
    trap - EXIT
    # Whatever happens to the watched process, the bed goes with it.
    (
        i=0
        while kill -0 "$watch" 2>/dev/null && [ $i -lt 21600 ]; do sleep 1; i=$((i + 1)); done
        remove_bed "$dir"
        if [ $removedir = 1 ]; then rm -rf "$dir"; fi
    ) </dev/null >/dev/null 2>&1 &
}

run() {
    dir=$1
    host=$2
    shift 2
    load "$dir"
    host_address "$host" >/dev/null
    envs=""
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do
        case "$1" in
        *=*) envs="$envs $1" ;;
        *) echo "hostbed: expected NAME=VALUE or --, got $1" >&2; exit 2 ;;
        esac
        shift
    done
    [ $# -gt 1 ] || { echo "hostbed: run needs -- PROGRAM" >&2; exit 2; }
    shift
    # Every step execs, so the program keeps this process's id.
    # shellcheck disable=SC2086
    exec ip netns exec "$(ns_of "$host")" unshare -m --propagation private \
        sh -c 'mount --bind "$1" /etc/hosts && mount --bind "$2" /etc/services && shift 2 && exec "$@"' \
        hostbed "$dir/hosts.$host" "$dir/services" env NVHOSTNAME="$host" $envs "$@"
}

link() {
    dir=$1
    host=$2
    state=$3
    load "$dir"
    hub=$(ns_of hub)
    case "$state" in
    down) ip -n "$hub" link set "$(hub_if "$host")" down ;;
    up)
        ip -n "$hub" link set "$(hub_if "$host")" up
        # A route through a link that went down is gone when it comes back.
        ip -n "$(ns_of "$host")" route replace default via "$(hub_address "$host" | sed 's|/.*||')"
        ;;
    *) echo "hostbed: link state is down or up" >&2; exit 2 ;;
    esac
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
check) why=$(check) && exit 0; echo "$why"; exit 77 ;;
up) [ $# -ge 2 ] || { echo "usage: hostbed.sh up DIR WATCHPID [--loopback-names] [--remove-dir]" >&2; exit 2; }; up "$@" ;;
run) [ $# -ge 2 ] || { echo "usage: hostbed.sh run DIR HOST [NAME=VALUE...] -- PROGRAM [ARG...]" >&2; exit 2; }; run "$@" ;;
link) [ $# -eq 3 ] || { echo "usage: hostbed.sh link DIR HOST down|up" >&2; exit 2; }; link "$@" ;;
address) [ $# -eq 2 ] || { echo "usage: hostbed.sh address DIR HOST" >&2; exit 2; }; host_address "$2" ;;
hub) [ $# -ge 3 ] && [ "$2" = "--" ] || { echo "usage: hostbed.sh hub DIR -- PROGRAM [ARG...]" >&2; exit 2; }
    load "$1"; hubns=$(ns_of hub); shift 2; exec ip netns exec "$hubns" "$@" ;;
down) [ $# -eq 1 ] || { echo "usage: hostbed.sh down DIR" >&2; exit 2; }; remove_bed "$1" ;;
*) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
