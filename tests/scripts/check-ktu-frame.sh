#!/usr/bin/env bash
# ktu frame send and ktu frame listen: a file sent as one frame arrives byte
# for byte, with the length field where the options put it.
set -euo pipefail
ktu=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/ktu_frame_XXXXXX")
listener=
cleanup() {
  [ -n "$listener" ] && kill "$listener" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# roundtrip NAME START END [HEADER]: sends $work/payload, checks what the
# listener received against the frame built here.
roundtrip() {
  local name=$1 start=$2 end=$3 header=${4:-}
  local out="$work/$name.listen" got="$work/$name.got"
  timeout 30 "$ktu" frame listen 0 --once --size-field "$start" "$end" --out "$got" --log-dir "$work/logs" > "$out" &
  listener=$!
  local port=
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || { echo "$name: the listener did not start"; exit 1; }
  local send_args=(frame send 127.0.0.1 "$port" "$work/payload" --size-field "$start" "$end")
  [ -n "$header" ] && send_args+=(--header "$header")
  "$ktu" "${send_args[@]}" > /dev/null
  wait "$listener"
  listener=
  # The expected frame: markers, header ('0'-padded), zero-padded length, payload.
  local size width pad
  size=$(stat -c %s "$work/payload")
  width=$((end - start + 1))
  pad=$((start - 20 - ${#header}))
  local length=$((start + width + size + 20))
  {
    printf 'KS_NET_API_MSG_START%s' "$header"
    [ "$pad" -gt 0 ] && printf '0%.0s' $(seq 1 "$pad")
    printf "%0${width}d" "$length"
    cat "$work/payload"
    printf 'KS_NET_API_MSG_END00'
  } > "$work/$name.expected"
  cmp "$work/$name.expected" "$got" || { echo "$name: the frame differs"; exit 1; }
  grep -q "^frame 1: $length bytes, markers ok$" "$out" || { echo "$name: unexpected report"; cat "$out"; exit 1; }
}

# A payload with every byte value, NULs and line ends included.
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 20)' > "$work/payload" 2>/dev/null ||
  head -c 5120 /dev/urandom > "$work/payload"
roundtrip plain 20 29
roundtrip header 24 31 ABCD
[ ! -s "$work/logs/output.log" ] || { echo "unexpected log lines:"; cat "$work/logs/output.log"; exit 1; }

# ktu serial over a pseudo-terminal (never a real port): what send writes
# arrives on the other side, and read prints what the other side wrote.
if command -v python3 > /dev/null; then
  KTU=$ktu python3 - <<'PY'
import os, pty, subprocess, sys, time
master, slave = pty.openpty()
env = dict(os.environ, KTU_SERIAL_PORTS="COM5=" + os.ttyname(slave))
ktu = os.environ["KTU"]
subprocess.run([ktu, "serial", "send", "COM5", "hello serial", "--baud", "115200"], env=env, check=True,
               stdout=subprocess.DEVNULL, timeout=20)
time.sleep(0.1)
got = os.read(master, 100)
if got != b"hello serial":
    sys.exit("serial send: got %r" % got)
reader = subprocess.Popen([ktu, "serial", "read", "COM5", "--wait", "1500"], env=env, stdout=subprocess.PIPE)
time.sleep(0.3)
os.write(master, b"from the line")
out, _ = reader.communicate(timeout=20)
if out != b"from the line":
    sys.exit("serial read: got %r" % out)
PY
fi

# Bad arguments are usage errors.
for bad in "frame" "frame send 127.0.0.1" "frame listen x" "frame listen 0 --size-field 30 20" "net" "net free-port 0" \
           "serial send" "serial read COMx"; do
  set +e
  # shellcheck disable=SC2086
  "$ktu" $bad 2> /dev/null > /dev/null
  code=$?
  set -e
  [ "$code" -eq 2 ] || { echo "'ktu $bad' exited $code"; exit 1; }
done
echo "ktu frame ok"
