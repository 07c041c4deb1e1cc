#!/usr/bin/env bash
# Installs the build into a temporary prefix and moves the whole tree, then
# uses the moved copy as an application would, with no LD_LIBRARY_PATH: the
# installed ktu runs, a small consumer builds and runs once through
# find_package and once through pkg-config, and the ktu tool builds from its
# own folder against the installed library alone.
set -euo pipefail
# grep -q stops reading at the first match, and the program writing into the
# pipe may then die of SIGPIPE, which pipefail reports as a failure: read the
# whole input instead.
matches() { grep "$@" >/dev/null; }
build=$1 consumer=$2 cmake=$3 cxx=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
"$cmake" --install "$build" --prefix "$work/prefix" > "$work/install.log"
mv "$work/prefix" "$work/moved"
prefix=$work/moved

"$prefix/bin/ktu" --version | matches -x "ktu 4.02" || { echo "the moved ktu did not run"; exit 1; }

"$cmake" -S "$consumer" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" > "$work/configure.log"
"$cmake" --build "$work/build" > "$work/build.log"
"$work/build/consumer" | matches -x "4.02 accepted"

pcdir=$(dirname "$(find "$prefix" -name KS_TU_UtilityClasses_V4.pc | head -1)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs KS_TU_UtilityClasses_V4)
libdir=$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=libdir KS_TU_UtilityClasses_V4)
[ -e "$libdir/libKS_TU_UtilityClasses_V4.so" ] || { echo "pkg-config names $libdir"; exit 1; }
# shellcheck disable=SC2086
"$cxx" -std=c++17 "$consumer/main.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/pc-consumer"
"$work/pc-consumer" | matches -x "4.02 accepted"

# The tool needs nothing but the public headers and the installed library.
tool=$(cd "$consumer/../../tools/ktu" && pwd)
"$cmake" -S "$tool" -B "$work/tool" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" > "$work/tool.log"
"$cmake" --build "$work/tool" --target ktu >> "$work/tool.log" 2>&1 || { cat "$work/tool.log"; exit 1; }
"$work/tool/ktu" --version | matches -x "library KS_TU_UtilityClasses_V4 4.02" || { echo "ktu built outside"; exit 1; }
echo "install ok"
