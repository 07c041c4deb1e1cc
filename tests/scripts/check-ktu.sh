#!/usr/bin/env bash
# ktu on a table of cases: paths as typed (with and without KTU_DRIVES),
# refusals with their reasons, exit codes, standard output and error. All in
# a sandbox; every folder made, emptied or removed lies on a drive mapped into it.
set -uo pipefail
ktu=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sb=$(mktemp -d "${TMPDIR:-/tmp}/ktu_tool_XXXXXX")
listener=
trap '[ -n "$listener" ] && kill "$listener" 2>/dev/null; rm -rf "$sb"' EXIT
mkdir -p "$sb/t" "$sb/c" "$sb/home" "$sb/a-b.c"
cd "$sb" || exit 1
export HOME=$sb/home KTU_SETTINGS_DB=$sb/registry.db
unset KTU_DRIVES XDG_DESKTOP_DIR
failures=0
bad() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run CODE OUT ERR ARGS...: ktu ARGS exits CODE; a line of standard output
# matches OUT (grep -E), the only line of standard error ERR ('' for none).
run() {
  local code=$1 out=$2 err=$3 rc
  shift 3
  "$ktu" "$@" > "$sb/t/out" 2> "$sb/t/err"
  rc=$?
  if [ "$rc" -ne "$code" ] ||
     { [ -z "$out" ] && [ -s "$sb/t/out" ]; } || { [ -n "$out" ] && ! grep -Eq -- "$out" "$sb/t/out"; } ||
     { [ -z "$err" ] && [ -s "$sb/t/err" ]; } ||
     { [ -n "$err" ] && { [ "$(wc -l < "$sb/t/err")" -ne 1 ] || ! grep -Eq -- "$err" "$sb/t/err"; }; }; then
    bad "ktu $* (KTU_DRIVES=${KTU_DRIVES-}): exit $rc, wanted $code; output:"
    cat "$sb/t/out" "$sb/t/err"
  fi
}

# --- help, version, usage errors (each names the argument) ----------------
run 0 '^usage: ktu COMMAND' '' --help
run 0 '^ktu 4\.02$' '' --version && run 0 '^library KS_TU_UtilityClasses_V4 4\.02$' '' --version
run 0 '^4\.02$' '' version
# shellcheck disable=SC2086
for asked in "help bmp" "bmp --help" "frame send -h" "help version"; do run 0 '^usage: ktu' '' $asked; done
for c in "" $("$ktu" --help | sed -n 's/^  ktu \([a-z]*\).*/\1/p' | sort -u); do
  "$ktu" ${c:+help} "${c:---help}" | awk 'length > 80 { exit 1 }' || bad "the help of '$c' is wider than 80 columns"
done
while IFS='|' read -r err args; do
  # shellcheck disable=SC2086
  run 2 '' "$err" $args
done <<'EOF'
missing COMMAND|
unknown COMMAND 'nosuch'|nosuch
unknown COMMAND 'nosuch'|help nosuch
missing TEXT|log onlyone
--level: 'x'|log --level x M T
'extra'|version extra
RIGHT '0.4' must be above LEFT '0.6'|bmp zoom p.bmp z.bmp 0.6 0.4 0 1
RIGHT '2' is not a number from 0 to 1|bmp zoom p.bmp z.bmp 0 2 0 1
TOP '0.2' must be above BOTTOM '0.5'|bmp zoom p.bmp z.bmp 0 1 0.5 0.2
crop: expects 6 arguments|bmp crop p.bmp
W: '0'|bmp pattern x.bmp 0 5
split: missing PATH|path split
make: missing PATH|folder make
unexpected argument '--force'|folder make x --force
unknown ACTION 'wipe'|folder wipe x
missing ACTION|ps
kill: missing NAME|ps kill
PORT: 'x'|frame listen x
--size-field|frame listen 0 --size-field 30 20
send: missing FILE|frame send 127.0.0.1 1
COUNT '0'|net free-port 0
COMn 'COMx'|serial read COMx
FORMAT: '9'|time 9
EOF

# --- BMP files by every form of path, with and without KTU_DRIVES ----------
run 0 '^p\.bmp$' '' bmp pattern p.bmp 64 48 && run 0 '^a-b\.c/q\.bmp$' '' bmp pattern a-b.c/q.bmp 8 6
for drives in "" "C=/" "D=$sb" "C=$sb"; do
  for path in p.bmp ./p.bmp "$sb/p.bmp" "$sb/a-b.c/../p.bmp"; do
    KTU_DRIVES=$drives run 0 '^width 64$' '' bmp info "$path"
  done
  KTU_DRIVES=$drives run 0 '^bits per pixel 24$' '' bmp info a-b.c/q.bmp
done
KTU_DRIVES="C=$sb" run 0 '^height 48$' '' bmp info C:/p.bmp
run 1 '' "^ktu bmp: cannot read 'nope\.bmp' as a BMP file$" bmp info nope.bmp
run 0 '^c\.bmp$' '' bmp crop p.bmp c.bmp 8 4 100 20
run 0 '^width 64$' '' bmp info c.bmp && run 0 '^height 20$' '' bmp info c.bmp
run 0 '^r\.bmp$' '' bmp resize p.bmp r.bmp 32 24 && run 0 '^height 24$' '' bmp info r.bmp
run 0 '^z\.bmp$' '' bmp zoom p.bmp z.bmp 0 0.5 0 0.5
run 0 '^p\.raw 64x48, 9216 bytes' '' bmp raw p.bmp p.raw && run 0 '^z\.raw' '' bmp raw z.bmp z.raw
# Zoomed pixel (2x, 2y) is original pixel (x, y): row 2, column 4 against row 1, column 2.
bytes() { od -An -tu1 -j "$2" -N 3 "$1"; }
[ "$(bytes z.raw $(((2 * 64 + 4) * 3)))" = "$(bytes p.raw $(((1 * 64 + 2) * 3)))" ] || bad "zoom does not replicate pixels"

# --- path strings ------------------------------------------------------------
run 0 '^C:/data/in$' '' path split C:/data/in/a.bmp
run 0 '^/srv/in$' '' path split /srv/in/a.bmp
run 1 '' "split: 'data/a.bmp': no drive.*status -101" path split data/a.bmp
run 1 '' 'lone.*status -104' path split C:/data/a.
run 0 '^C:/a/c\.txt$' '' path abs 'C:\a\b' '..\c.txt'
run 1 '' 'status -105' path abs C:/a/b d/e.txt
run 0 '^\./Data/x\.ini$' '' path rel C:/Proj c:/proj/Data/x.ini
run 1 '' 'status -105' path rel C:/a D:/x

# --- INI files, settings, processes, time --------------------------------
KTU_DRIVES="C=$sb" run 0 '' '' ini set "$sb/ini/nested/app.ini" Camera Fps 25
KTU_DRIVES="C=$sb" run 0 '^25$' '' ini get C:/ini/nested/app.ini camera FPS
run 0 '^25$' '' ini get ini/nested/app.ini camera FPS
run 1 '' "no key 'Gain' in section 'Camera'" ini get ini/nested/app.ini Camera Gain
run 0 '^7$' '' ini get ini/nested/app.ini Camera Gain 7
run 1 '' "no file 'none\.ini'" ini get none.ini Camera Fps
KTU_DRIVES="C=$sb" run 1 '' "holds '\.'" ini set "$sb/x.y/app.ini" Camera Fps 25
run 0 '' '' reg set 'Tool\Sub' Name v1
run 0 '^v1$' '' reg get 'Tool\Sub' Name
run 1 '' "'Tool' was not deleted.*subkeys" reg delete Tool
run 0 '' '' reg delete 'Tool\Sub' && run 0 '' '' reg delete Tool
run 1 '' "no value 'Name'" reg get 'Tool\Sub' Name
run 0 '^[0-9]{4}-[0-9]{2}-' '' time
cp /bin/sleep "$sb/ktu_tool_sleeper"
# Started from a subshell that ends at once, so this shell has no job to report.
sleeper=$( ("$sb/ktu_tool_sleeper" 60 > /dev/null 2>&1 & echo $!) )
run 0 "^$sleeper ktu_tool_sleeper$" '' ps list
run 0 '^1$' '' ps count ktu_tool_sleeper
run 0 '' '' ps kill ktu_tool_sleeper
run 0 '^0$' '' ps count ktu_tool_sleeper
run 1 '' "no process named 'ktu_tool_sleeper'" ps kill ktu_tool_sleeper

# --- folders and the log, on drive C: mapped into the sandbox ----------------
export KTU_DRIVES="C=$sb/c"
mkdir -p "$sb/c/w/a/b/sub" "$sb/c/w/sib"
touch "$sb/c/top.txt" "$sb/c/w/w.txt" "$sb/c/w/a/a.txt" "$sb/c/w/a/b/old.txt" "$sb/c/w/sib/s.txt"
run 0 '' '' folder make "$sb/c/w/a/b/new/deep" && run 0 '' '' folder make "$sb/c/w/a/b"
[ -f "$sb/c/w/a/b/old.txt" ] || bad "folder make without --recreate changed an existing folder"
run 0 '' '' folder make "$sb/c/w/a/b" --recreate
[ -d "$sb/c/w/a/b" ] && [ -z "$(ls -A "$sb/c/w/a/b")" ] || bad "--recreate did not leave the last folder empty"
for kept in top.txt w/w.txt w/a/a.txt w/sib/s.txt; do
  [ -f "$sb/c/$kept" ] || bad "--recreate removed $kept beside a parent"
done
cd "$sb/c/w" && run 0 '' '' folder make rel/x && cd "$sb" && [ -d "$sb/c/w/rel/x" ] || bad "relative folder not made"
run 0 '' '' folder make C:/w/d && [ -d "$sb/c/w/d" ] || bad "drive-form folder not made"
run 1 '' "'$sb/c' is the root of a drive" folder make "$sb/c" --recreate
run 1 '' "'$sb/c/x\.y/z' holds '\.'" folder make "$sb/c/x.y/z"
run 1 '' "holds '-'" folder make "$sb/c/nc-w3" --recreate
run 1 '' "'/ktu_nowhere/a' lies on no drive" folder make /ktu_nowhere/a --recreate
[ ! -e "$sb/c/x.y" ] && [ ! -e "$sb/c/nc-w3" ] && [ ! -e /ktu_nowhere ] || bad "a refused folder was made"
run 0 '' '' folder remove "$sb/c/w/d" && [ ! -e "$sb/c/w/d" ] || bad "folder remove left the folder"
run 1 '' "no folder 'C:/none'" folder remove C:/none
run 0 '' '' log --dir "$sb/c/logs" Common "hello from ktu"
grep -qE '^[0-9]{2}/[0-9]{2}/[0-9]{4} - [0-9]{2}:[0-9]{2}::[0-9]{2}\.[0-9]{3} : Common-hello from ktu$' \
  "$sb/c/logs/output.log" || bad "log line"
run 1 '' "'$sb/c/nc-w3/logs': it holds '-'" log --dir "$sb/c/nc-w3/logs" M T
run 1 '' "desktop folder '$sb/home/Desktop' does not exist" log M T
mkdir "$sb/home/Desktop"
run 0 '' '' log M "to the desktop" && grep -q 'M-to the desktop$' "$sb/home/Desktop/Logs/output.log" ||
  bad "log without --dir"
unset KTU_DRIVES

# --- framed messages on loopback, a serial line over a pseudo-terminal -------
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 20)' > payload
for field in "20 29" "24 31 AB"; do
  set -- $field
  "$ktu" frame listen 0 --once --size-field "$1" "$2" --out got --log-dir "$sb/flogs" > listen.out &
  listener=$!
  for _ in $(seq 100); do port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' listen.out); [ -n "$port" ] && break; sleep 0.1; done
  run 0 '^sent ' '' frame send 127.0.0.1 "$port" payload --size-field "$1" "$2" ${3:+--header "$3"}
  wait "$listener"; listener=
  # Markers, the header padded with '0' to the field, the zero-padded length, the payload.
  header=${3:-} length=$(($2 + 1 + 5120 + 20))
  { printf 'KS_NET_API_MSG_START%s' "$header"; printf "%$(($1 - 20 - ${#header}))s" '' | tr ' ' 0
    printf "%0$(($2 - $1 + 1))d" "$length"; cat payload; printf 'KS_NET_API_MSG_END00'; } > want
  cmp want got || bad "frame with size field $field differs"
  grep -q "^frame 1: $length bytes, markers ok$" listen.out || bad "frame report: $(cat listen.out)"
done
KTU=$ktu python3 - <<'PY' || bad "serial send and read"
import os, pty, subprocess, sys, time
master, slave = pty.openpty()
env = dict(os.environ, KTU_SERIAL_PORTS="COM5=" + os.ttyname(slave))
subprocess.run([os.environ["KTU"], "serial", "send", "COM5", "hi"], env=env, check=True, stdout=subprocess.DEVNULL)
time.sleep(0.1)
sent = os.read(master, 100)
reader = subprocess.Popen([os.environ["KTU"], "serial", "read", "COM5", "--wait", "1500"], env=env, stdout=subprocess.PIPE)
time.sleep(0.3)
os.write(master, b"from the line")
sys.exit(sent != b"hi" or reader.communicate(timeout=20)[0] != b"from the line")
PY

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "ktu ok"
