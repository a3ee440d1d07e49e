#!/bin/sh
# Usage: subproject.sh SOURCE_DIR SCRATCH_DIR C_COMPILER CXX_COMPILER
# Builds subproject/, a host that takes vantor in with add_subdirectory, where
# CLI11 and nlohmann/json cannot be found; runs the host, and installs the
# parent: only the host's own file is installed.
set -eu
source=$1 scratch=$2 cc=$3 cxx=$4
rm -rf "$scratch"
cmake -S "$source/tests/install/subproject" -B "$scratch/build" -DVANTOR_SOURCE="$source" \
      -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON \
      -DCMAKE_IGNORE_PATH=/usr/include >/dev/null
cmake --build "$scratch/build" >/dev/null
VANTOR_REGISTRY=$scratch/store.reg "$scratch/build/host"
cmake --install "$scratch/build" --prefix "$scratch/prefix" >/dev/null
installed=$(cd "$scratch/prefix" && find . -type f)
if [ "$installed" != "./bin/host" ]; then
    echo "FAIL: the parent's install installed more than its host:" >&2
    echo "$installed" >&2
    exit 1
fi
