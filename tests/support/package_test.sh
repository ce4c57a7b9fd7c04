#!/usr/bin/env bash
# Builds the Debian packages of a build tree, checks their metadata and
# contents, installs them into this system, uses what they installed (a
# program with the catalogue, a consumer built through find_package and
# pkg-config, the logger as a service or by hand), then purges them and checks
# that nothing of them is left. Needs root; exits 77 (skipped) otherwise.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION SOVERSION WITH_DAEMON(0|1)
set -euo pipefail
build_dir=$1
source_dir=$2
version=$3
soversion=$4
with_daemon=$5

skip() {
    echo "SKIP: $*"
    exit 77
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ "$(id -u)" = 0 ] || skip "installing packages needs root"
for tool in cpack dpkg-deb dpkg-shlibdeps apt-get readelf unshare; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -f "$build_dir/CPackConfig.cmake" ] ||
    fail "no CPack configuration in $build_dir: configure with -DCMAKE_INSTALL_PREFIX=/usr"

runtime=libtcore$soversion
packages=("$runtime" libtcore-dev tcore-tools)
deb_version=$version-1
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
installed() { dpkg-query -W -f='${Package} ${Status}\n' 2>/dev/null | awk '$4 == "installed" { print $1 }' | sort; }
for p in "${packages[@]}"; do
    if grep -q 'installed\|config-files' <<<"$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)"; then
        skip "$p is already on this machine; an installation of someone else's is left alone"
    fi
done

work=$(mktemp -d /tmp/tcore-package-XXXXXX)
before=$(installed)
cleanup() {
    dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
    # Whatever apt-get brought in for the packages goes again.
    local added
    added=$(comm -13 <(echo "$before") <(installed) || true)
    if [ -n "$added" ]; then
        # shellcheck disable=SC2086
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# --- build -------------------------------------------------------------------
(cd "$work" && cpack --config "$build_dir/CPackConfig.cmake" -B "$work/packages" >"$work/cpack.log" 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
deb() { echo "$work/packages/${1}_${deb_version}_${arch}.deb"; }
for p in "${packages[@]}"; do [ -f "$(deb "$p")" ] || fail "no package $(basename "$(deb "$p")")"; done
[ "$(ls "$work"/packages/*.deb | wc -l)" = 3 ] || fail "other packages than the three: $(ls "$work"/packages/*.deb)"

# --- metadata ----------------------------------------------------------------
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
expect_field() {  # package field pattern
    grep -qE -- "$3" <<<"$(field "$1" "$2")" || fail "$1: $2 is '$(field "$1" "$2")', expected /$3/"
}
for p in "${packages[@]}"; do
    expect_field "$p" Package "^$p\$"
    expect_field "$p" Version "^$deb_version\$"
    expect_field "$p" Architecture "^$arch\$"
    expect_field "$p" Maintainer ".+ <.+@.+>"
    expect_field "$p" Description "data-warehouse control system"
    grep -q "common runtime of a data-warehouse control system. Four kinds" <<<"$(field "$p" Description)" ||
        fail "$p: the long description does not say what the system is"
done
expect_field "$runtime" Section '^libs$'
# shlibdeps: the real unixODBC, C and C++ runtime packages.
for dep in 'libodbc[0-9]' 'libc6 \(>=' 'libstdc\+\+6 \(>='; do expect_field "$runtime" Depends "$dep"; done
[ "$(dpkg-deb -I "$(deb "$runtime")" shlibs)" = "libtcore $soversion $runtime (>= $deb_version)" ] ||
    fail "$runtime: no shlibs entry for libtcore.so.$soversion"
expect_field libtcore-dev Depends "$runtime \(= $deb_version\)"
expect_field libtcore-dev Depends 'unixodbc-dev'
expect_field tcore-tools Depends "$runtime \(= $deb_version\)"
expect_field tcore-tools Depends 'adduser'
expect_field tcore-tools Depends 'libc6 \(>='
[ "$(dpkg-deb -I "$(deb tcore-tools)" conffiles)" = /etc/tcore/tcore.conf ] || fail "tcore-tools: conffiles"
for script in postinst prerm postrm; do
    [ "$(dpkg-deb -I "$(deb tcore-tools)" "$script" | sed -n 1p)" = '#!/bin/sh' ] || fail "tcore-tools: no $script"
done

# --- contents ----------------------------------------------------------------
contents() { dpkg-deb -c "$(deb "$1")" | awk '{ print $6 }' | sed 's|^\./|/|'; }
for p in "${packages[@]}"; do contents "$p" >"$work/$p.files"; done
has() {  # package path...
    local p=$1 f
    shift
    for f in "$@"; do grep -qxF "$f" "$work/$p.files" || fail "$p does not hold $f"; done
}
lacks() {
    local p=$1 f
    shift
    for f in "$@"; do ! grep -qE "$f" "$work/$p.files" || fail "$p holds $(grep -E "$f" "$work/$p.files" | head -n 1)"; done
}
libdir=/usr/lib/$multiarch
has "$runtime" "$libdir/libtcore.so.$version" "$libdir/libtcore.so.$soversion" /usr/share/tcore/ql7orx.mo \
    "/usr/share/doc/$runtime/copyright" "/usr/share/doc/$runtime/changelog.Debian.gz"
lacks "$runtime" '/libtcore\.so$' '^/usr/include' '^/usr/bin'
has libtcore-dev "$libdir/libtcore.so" /usr/include/tcore/foundation/XQRC.h /usr/include/tcore/messages/XQAgentMessage.h \
    "$libdir/cmake/tcore/tcoreConfig.cmake" "$libdir/cmake/tcore/tcoreConfigVersion.cmake" \
    "$libdir/cmake/tcore/tcoreTargets.cmake" "$libdir/pkgconfig/tcore.pc"
lacks libtcore-dev '/libtcore\.so\.'
programs=(tcore-agent tcore-config tcore-listen tcore-logger tcore-msg tcore-ping tcore-scramble tcore-send)
units=(tcore-logger.service)
if [ "$with_daemon" = 1 ]; then
    programs+=(tcore-daemon)
    units+=(tcore-daemon.service)
fi
for p in "${programs[@]}"; do has tcore-tools "/usr/bin/$p" "/usr/share/man/man1/$p.1.gz"; done
for u in "${units[@]}"; do has tcore-tools "/lib/systemd/system/$u"; done
has tcore-tools /etc/tcore/tcore.conf /usr/share/tcore/odbcinst.ini /usr/share/doc/tcore-tools/copyright
[ "$with_daemon" = 1 ] || lacks tcore-tools tcore-daemon
lacks tcore-tools tcore-demo tcore-hostdemo '^/usr/lib' '^/usr/include'
# Every program has its manual page, and nothing else is in /usr/bin.
[ "$(grep -c '^/usr/bin/.' "$work/tcore-tools.files")" = "${#programs[@]}" ] ||
    fail "tcore-tools: /usr/bin holds $(grep '^/usr/bin/.' "$work/tcore-tools.files" | tr '\n' ' ')"
# Stripped, and no search path of the build or install tree in any binary.
dpkg-deb -x "$(deb tcore-tools)" "$work/x"
dpkg-deb -x "$(deb "$runtime")" "$work/x"
for f in "$work"/x/usr/bin/* "$work/x$libdir/libtcore.so.$version"; do
    ! grep -qE 'RPATH|RUNPATH' <<<"$(readelf -d "$f")" || fail "$(basename "$f") carries $(readelf -d "$f" | grep -E 'RPATH|RUNPATH')"
    [ -z "$(readelf -S "$f" | grep -F .debug_info)" ] || fail "$(basename "$f") is not stripped"
done
grep -q '^\.SH SYNOPSIS' <<<"$(zcat "$work/x/usr/share/man/man1/tcore-logger.1.gz")" || fail "tcore-logger.1: no synopsis"

# --- install -----------------------------------------------------------------
expected_msg=$("$build_dir/tools/tcore-msg" 9148)
mapfile -t debs < <(for p in "${packages[@]}"; do deb "$p"; done)
if ! dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get -f install -y -qq >>"$work/dpkg.log" 2>&1 ||
        { cat "$work/dpkg.log"; fail "the packages did not install"; }
fi
for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$p")" = 'install ok installed' ] || { cat "$work/dpkg.log"; fail "$p is not installed"; }
done
getent passwd tcore-logger >/dev/null || fail "no system user tcore-logger"
[ "$(stat -c %U /var/log/tcore/logger)" = tcore-logger ] || fail "/var/log/tcore/logger is not the logger's"

# What follows sees only the installed files: the source and build trees are
# hidden in a private mount namespace.
cp -r "$source_dir/tests/support/consumer" "$work/consumer"
cat >"$work/installed.sh" <<'EOF'
set -euo pipefail
work=$1
/usr/bin/tcore-msg 9148
cmake -S "$work/consumer" -B "$work/cm" >/dev/null
cmake --build "$work/cm" >/dev/null
"$work/cm/consumer"
g++ -o "$work/pc" "$work/consumer/main.cpp" $(pkg-config --cflags --libs tcore)
"$work/pc"
EOF
out=$(unshare -m --propagation private sh -c 'mount -t tmpfs none "$1" && mount -t tmpfs none "$2" && bash "$3" "$4"' \
    sh "$build_dir" "$source_dir" "$work/installed.sh" "$work" 2>&1) || { echo "$out"; fail "the installed files do not work on their own"; }
[ "$(echo "$out" | head -n 1)" = "$expected_msg" ] ||
    fail "installed tcore-msg 9148 printed '$(echo "$out" | head -n 1)', the build tree's '$expected_msg'"
[ "$(echo "$out" | sed -n '2,3p' | tr '\n' ' ')" = "9148 WhsSrv 18000 9148 WhsSrv 18000 " ] ||
    fail "the consumers printed: $(echo "$out" | tail -n +2)"

if command -v systemd-analyze >/dev/null; then
    for u in "${units[@]}"; do
        systemd-analyze verify --man=no "/lib/systemd/system/$u" >"$work/verify.log" 2>&1 ||
            { cat "$work/verify.log"; fail "systemd-analyze verify $u"; }
    done
fi

# --- the logger --------------------------------------------------------------
record="package test $$"
if [ -d /run/systemd/system ]; then
    # shellcheck disable=SC1091
    port=$(. /etc/tcore/tcore.conf && echo "$TCORE_LOGGER_OPTS" | sed -n 's/.*--port \([0-9]*\).*/\1/p')
    systemctl start tcore-logger.service
    for _ in $(seq 1 50); do /usr/bin/tcore-ping 127.0.0.1 "$port" >/dev/null 2>&1 && break; sleep 0.2; done
    /usr/bin/tcore-send --port "$port" --kind log --command 301 --event-message "$record" >/dev/null
    systemctl stop tcore-logger.service
    [ "$(systemctl show -p ExecMainStatus --value tcore-logger.service)" = 0 ] || fail "the logger service did not end cleanly"
    log=/var/log/tcore/logger/records.log
    echo "logger ran as a systemd service on port $port"
else
    # No systemd here: the program as its unit would run it, under its user.
    log=/var/log/tcore/logger/test.log
    portfile=/var/log/tcore/logger/test.port
    setpriv --reuid=tcore-logger --regid=tcore-logger --init-groups \
        /usr/bin/tcore-logger --port 0 --port-file "$portfile" --log "$log" >"$work/logger.out" 2>&1 &
    logger_pid=$!
    for _ in $(seq 1 100); do [ -s "$portfile" ] && break; sleep 0.1; done
    [ -s "$portfile" ] || { cat "$work/logger.out"; fail "the logger did not start"; }
    port=$(cat "$portfile")
    /usr/bin/tcore-send --port "$port" --kind log --command 301 --event-message "$record" >/dev/null
    kill -TERM "$logger_pid"
    wait "$logger_pid" || { cat "$work/logger.out"; fail "the logger did not end cleanly on SIGTERM"; }
    grep -q "1 records written" "$work/logger.out" || { cat "$work/logger.out"; fail "the logger's count"; }
    echo "no systemd running: logger ran by hand as tcore-logger on port $port"
fi
grep -q "$record" "$log" || fail "the record is not in $log"
[ "$(stat -c %U "$log")" = tcore-logger ] || fail "$log is not the logger's"
# An operator's enablement, which the purge has to take away.
if command -v systemctl >/dev/null; then
    systemctl enable tcore-logger.service >/dev/null 2>&1 || fail "systemctl enable tcore-logger"
    [ -L /etc/systemd/system/multi-user.target.wants/tcore-logger.service ] || fail "enable made no link"
fi

# --- purge -------------------------------------------------------------------
dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge failed"; }
for p in "${packages[@]}"; do
    [ -z "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -v not-installed)" ] || fail "$p is still known to dpkg"
    while read -r f; do
        [ -n "$f" ] && [ "${f%/}" = "$f" ] || continue
        if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is left after the purge"; fi
    done <"$work/$p.files"
done
for d in /etc/tcore /var/log/tcore /usr/share/tcore /usr/include/tcore "$libdir/cmake/tcore" /usr/share/doc/tcore-tools; do
    [ ! -e "$d" ] || fail "$d is left after the purge"
done
! getent passwd tcore-logger >/dev/null || fail "the user tcore-logger is left after the purge"
! getent group tcore-logger >/dev/null || fail "the group tcore-logger is left after the purge"
left=$(find /etc/systemd/system /var/lib/systemd/deb-systemd-helper-enabled -name 'tcore-*' 2>/dev/null || true)
[ -z "$left" ] || fail "left after the purge: $left"
echo "packages built, checked, installed, used and purged: ${packages[*]}"
