#!/usr/bin/env bash
# Builds the parent project of this folder both ways (add_subdirectory and
# FetchContent) without GoogleTest, and runs its program.
#   check.sh SOURCE_TREE WORK_FOLDER
set -euo pipefail
src=$1 work=$2
for how in subdirectory fetch; do
  cmake -S "$src/tests/subproject" -B "$work/$how" -G Ninja -DKTU_HOW=$how -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON > "$work/$how.log"
  cmake --build "$work/$how" >> "$work/$how.log" || { cat "$work/$how.log"; exit 1; }
  "$work/$how/parent_app" | grep -qx "4.02 accepted" || { echo "subproject ($how): the program failed"; exit 1; }
  if [ -e "$work/$how/CPackConfig.cmake" ] || grep -q "ktu_tests\|Making the ktu manual page" "$work/$how.log"; then
    echo "subproject ($how): the library built its tests or tools"; exit 1
  fi
done
echo "subproject ok"
