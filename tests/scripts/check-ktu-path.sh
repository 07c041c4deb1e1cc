#!/usr/bin/env bash
# ktu path: the split and both conversions print their result and status.
set -euo pipefail
ktu=$1
expect() {  # expected-output expected-exit-code arguments...
  local want=$1 code=$2
  shift 2
  set +e
  got=$("$ktu" path "$@" 2>&1)
  rc=$?
  set -e
  [ "$got" = "$want" ] && [ "$rc" -eq "$code" ] || {
    printf 'ktu path %s: exit %s, printed:\n%s\nexpected exit %s:\n%s\n' "$*" "$rc" "$got" "$code" "$want"
    exit 1
  }
}
expect $'C:/data/in\na.bmp\nstatus 100' 0 split 'C:/data/in/a.bmp'
expect 'status -101' 1 split 'data/a.bmp'
expect 'status -104' 1 split 'C:/data/a.'
expect $'C:/a/c.txt\nstatus 100' 0 abs 'C:\a\b' '..\c.txt'
expect $'NA\nstatus -105' 1 abs C:/a/b d/e.txt
expect $'./Data/x.ini\nstatus 100' 0 rel C:/Proj c:/proj/Data/x.ini
expect $'../ab/x\nstatus 100' 0 rel C:/a C:/ab/x
expect $'NA\nstatus -105' 1 rel C:/a D:/x
set +e
"$ktu" path split 2> /dev/null
[ $? -eq 2 ] || { echo "ktu path split without a path did not exit 2"; exit 1; }
echo "ktu path ok"
