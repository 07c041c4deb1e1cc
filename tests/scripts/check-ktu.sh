#!/usr/bin/env bash
# The ktu tool: help and version on standard output with exit code 0, a log
# line, and usage errors as one line on standard error with exit code 2.
set -euo pipefail
# grep -q stops reading at the first match, and the program writing into the
# pipe may then die of SIGPIPE, which pipefail reports as a failure: read the
# whole input instead.
matches() { grep "$@" >/dev/null; }
ktu=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/ktu_cli_XXXXXX")
trap 'rm -rf "$work"' EXIT
"$ktu" --help | matches "ktu log"
[ "$("$ktu" version)" = "4.02" ]
[ "$("$ktu" --version)" = "4.02" ]
for asked in "help" "-h" "help bmp" "bmp --help" "frame send -h" "log --help" "help version"; do
  # shellcheck disable=SC2086
  "$ktu" $asked > "$work/out" 2> "$work/err" || { echo "'ktu $asked' failed"; exit 1; }
  grep -q "^usage: ktu" "$work/out" || { echo "'ktu $asked' printed no help"; exit 1; }
  [ ! -s "$work/err" ] || { echo "'ktu $asked' wrote to standard error"; exit 1; }
done
"$ktu" log --dir "$work/logs" Common "hello from ktu"
grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{4} - [0-9]{2}:[0-9]{2}::[0-9]{2}\.[0-9]{3} : Common-hello from ktu$' "$work/logs/output.log"
# An INI file named by a native path gets its folders, with or without a drive map.
for drives in "" "C=$work;D=/mnt"; do
  ini="$work/ini${#drives}/nested/app.ini"
  KTU_DRIVES=$drives "$ktu" ini set "$ini" Camera Fps 25
  [ "$(KTU_DRIVES=$drives "$ktu" ini get "$ini" camera FPS)" = "25" ]
done
for bad in "" "nosuchcommand" "help nosuchcommand" "log onlyone" "log --level x Common t" "version extra"; do
  set +e
  # shellcheck disable=SC2086
  "$ktu" $bad 2> "$work/err"
  code=$?
  set -e
  [ "$code" -eq 2 ] || { echo "'ktu $bad' exited $code"; exit 1; }
  grep -q "usage\|ktu --help" "$work/err" || { echo "'ktu $bad' printed no usage"; exit 1; }
  [ "$(wc -l < "$work/err")" -eq 1 ] || { echo "'ktu $bad' printed more than one line"; exit 1; }
done
echo "ktu ok"
