#!/bin/sh
# The move across hosts twice, every packet through the hub captured: over
# plain TCP the capture holds the warehouse password that the requests carry
# (so the capture could see it), inside TLS it holds no trace of it, in
# UTF-8 or in UCS-2BE. Exit 77 where the bed cannot be made.
#   tls_capture_test.sh BUILD_DIR
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD=$1
SECRET=tcore-pw
command -v tcpdump >/dev/null || { echo "tls capture skipped: tcpdump is not installed"; exit 77; }
T=$(mktemp -d /tmp/tcore-capture-XXXXXX)
trap 'rm -rf "$T"' EXIT
# The capture as one line of hex, two digits a byte.
hex_of() { od -An -tx1 -v "$1" | tr -d ' \n'; }
utf8=$(printf '%s' "$SECRET" | od -An -tx1 -v | tr -d ' \n')
ucs2=$(printf '%s' "$SECRET" | od -An -tx1 -v | tr -d ' \n' | sed 's/\(..\)/00\1/g')
count_in() {
    # Matches at an even offset of the hex text are whole bytes.
    hex_of "$1" | grep -ob -e "$utf8" -e "$ucs2" | awk -F: '$1 % 2 == 0' | wc -l
}
for mode in plain tls; do
    set +e
    flag=""
    [ $mode = tls ] && flag=--tls
    sh "$HERE/hosts_demo.sh" "$BUILD" $flag --capture "$T/$mode.pcap" --rows 200 --fetch 50 \
        --warehouse-login "tcore:$SECRET" >"$T/$mode.out" 2>&1
    status=$?
    set -e
    [ $status -eq 77 ] && { tail -1 "$T/$mode.out"; exit 77; }
    [ $status -eq 0 ] || { cat "$T/$mode.out"; echo "the $mode move failed ($status)"; exit 1; }
done
grep -q "every link inside TLS" "$T/tls.out" || { echo "the second move did not run inside TLS"; exit 1; }
plain=$(count_in "$T/plain.pcap")
tls=$(count_in "$T/tls.pcap")
echo "password seen in the plain capture $plain times ($(wc -c <"$T/plain.pcap") bytes), in the TLS capture $tls times ($(wc -c <"$T/tls.pcap") bytes)"
[ "$plain" -gt 0 ] || { echo "the plain capture should show the password: the capture saw nothing"; exit 1; }
[ "$tls" -eq 0 ] || { echo "the password crossed the links in clear inside TLS"; exit 1; }
