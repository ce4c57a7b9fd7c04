#!/usr/bin/env bash
# Installs the built library into a temporary prefix and builds a small
# program against it twice: through find_package(tcore) and through pkg-config.
set -euo pipefail
build_dir="$1"
source_dir="$2"
work=$(mktemp -d /tmp/tcore-consumer-XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
# lib/ or, for a /usr build, Debian's multiarch lib/<triplet>/.
libdir=$(dirname "$(find "$work/prefix" -name libtcore.so | head -n 1)")

cmake -S "$source_dir/tests/support/consumer" -B "$work/cm" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cm" >/dev/null
out=$(LD_LIBRARY_PATH="$libdir" "$work/cm/consumer")
[ "$out" = "9148 WhsSrv 18000" ] || { echo "find_package consumer printed: $out"; exit 1; }

export PKG_CONFIG_PATH="$libdir/pkgconfig"
g++ -o "$work/pc" "$source_dir/tests/support/consumer/main.cpp" $(pkg-config --cflags --libs tcore)
out=$(LD_LIBRARY_PATH="$libdir" "$work/pc")
[ "$out" = "9148 WhsSrv 18000" ] || { echo "pkg-config consumer printed: $out"; exit 1; }
echo "consumer built and ran through find_package and pkg-config"
