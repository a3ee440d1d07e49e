#!/bin/sh
# Usage: run.sh BUILD_DIR HOST_SOURCE SCRATCH_DIR C_COMPILER TABLE_DIR
# Installs the library from BUILD_DIR into a scratch prefix, then builds and
# runs a C host against it through find_package and through pkg-config,
# whose file must name the prefix in plain paths.
# TABLE_DIR holds settings/values.def, whose defaults the host expects.
set -eu
build=$1 source=$2 scratch=$3 cc=$4 table=$5
rm -rf "$scratch"
mkdir -p "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/include/vantor.h"
libdir=$(dirname "$(find "$prefix" -name 'libvantor.so.1' | head -n 1)")
test -n "$libdir"

cmake -S "$source" -B "$scratch/host" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_C_COMPILER="$cc" -DVANTOR_TABLE_DIR="$table" >/dev/null
cmake --build "$scratch/host" >/dev/null
VANTOR_REGISTRY=$scratch/cmake.reg "$scratch/host/host"

PKG_CONFIG_PATH=$libdir/pkgconfig
export PKG_CONFIG_PATH
# The .pc file names the prefix installed to in plain paths.
for variable in includedir:$prefix/include libdir:$libdir; do
    got=$(pkg-config --variable="${variable%%:*}" vantor)
    if [ "$got" != "${variable#*:}" ]; then
        echo "FAIL: vantor.pc: ${variable%%:*} is $got, not ${variable#*:}" >&2
        exit 1
    fi
done
# shellcheck disable=SC2046
"$cc" -o "$scratch/pc-host" -I"$table" "$source/host.c" $(pkg-config --cflags --libs vantor)
VANTOR_REGISTRY=$scratch/pc.reg LD_LIBRARY_PATH=$libdir "$scratch/pc-host"
