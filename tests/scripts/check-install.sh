#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs a small
# consumer against it, once through find_package and once through pkg-config.
set -euo pipefail
build=$1 consumer=$2 cmake=$3 cxx=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cmake" --install "$build" --prefix "$work/prefix" > "$work/install.log"
"$cmake" -S "$consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_CXX_COMPILER="$cxx" > "$work/configure.log"
"$cmake" --build "$work/build" > "$work/build.log"
LD_LIBRARY_PATH="$work/prefix/lib:${LD_LIBRARY_PATH:-}" "$work/build/consumer" | grep -qx "4.02 accepted"
pcdir=$(dirname "$(find "$work/prefix" -name KS_TU_UtilityClasses_V4.pc | head -1)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs KS_TU_UtilityClasses_V4)
# shellcheck disable=SC2086
"$cxx" -std=c++17 "$consumer/main.cpp" $flags -o "$work/pc-consumer"
LD_LIBRARY_PATH="$work/prefix/lib:${LD_LIBRARY_PATH:-}" "$work/pc-consumer" | grep -qx "4.02 accepted"
echo "install ok"
