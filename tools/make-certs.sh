#!/usr/bin/env bash
# Makes a test certificate authority and host certificates for links between
# hosts inside TLS, with the openssl command line:
#   make-certs.sh DIR HOST[,NAME...]...
# DIR/ca.pem and DIR/ca.key (made once, then reused), and for each HOST
# DIR/HOST.pem and DIR/HOST.key, naming HOST and each further NAME (host
# names or IPv4 addresses) as subject alternative names. For trying TLS out and for the tests: an
# operator uses the installation's own authority.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: $0 DIR HOST[,NAME...]..." >&2
    exit 2
fi
dir=$1
shift
mkdir -p "$dir"
umask 077
if [ ! -f "$dir/ca.pem" ] || [ ! -f "$dir/ca.key" ]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 3650 \
        -subj "/CN=tcore test authority" -keyout "$dir/ca.key" -out "$dir/ca.pem" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
fi
serial=$(date +%s)
for names in "$@"; do
    host=${names%%,*}
    san=""
    IFS=, read -ra all <<<"$names"
    for n in "${all[@]}"; do
        if [[ $n =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]]; then entry="IP:$n"; else entry="DNS:$n"; fi
        san="${san:+$san,}$entry"
    done
    ext=$(mktemp)
    printf 'basicConstraints=critical,CA:FALSE\nextendedKeyUsage=serverAuth,clientAuth\nsubjectAltName=%s\n' "$san" >"$ext"
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$host" \
        -keyout "$dir/$host.key" -out "$dir/$host.csr" 2>/dev/null
    serial=$((serial + 1))
    openssl x509 -req -in "$dir/$host.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -set_serial "$serial" \
        -days 825 -extfile "$ext" -out "$dir/$host.pem" 2>/dev/null
    rm -f "$dir/$host.csr" "$ext"
    echo "$dir/$host.pem"
done
