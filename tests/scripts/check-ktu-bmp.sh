#!/usr/bin/env bash
# ktu bmp: a picture made, measured, cropped, resized, zoomed and dumped; the
# results have the sizes asked for and the zoom replicates the pixels.
set -euo pipefail
ktu=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/ktu_bmp_XXXXXX")
trap 'rm -rf "$work"' EXIT
info() { "$ktu" bmp info "$1" | paste -sd ' ' -; }
fail() { echo "ktu bmp: $*"; exit 1; }
bytes() { od -An -tu1 -j "$2" -N "$3" "$1" | tr -s ' '; }

"$ktu" bmp pattern "$work/p.bmp" 64 48 > /dev/null
[ "$(info "$work/p.bmp")" = "width 64 height 48 bits per pixel 24" ] || fail "pattern: $(info "$work/p.bmp")"
"$ktu" bmp crop "$work/p.bmp" "$work/c.bmp" 8 4 100 20 > /dev/null
[ "$(info "$work/c.bmp")" = "width 64 height 20 bits per pixel 24" ] || fail "crop: $(info "$work/c.bmp")"
"$ktu" bmp resize "$work/p.bmp" "$work/r.bmp" 32 24 > /dev/null
[ "$(info "$work/r.bmp")" = "width 32 height 24 bits per pixel 24" ] || fail "resize: $(info "$work/r.bmp")"
"$ktu" bmp zoom "$work/p.bmp" "$work/z.bmp" 0 0.5 0 0.5 > /dev/null
"$ktu" bmp raw "$work/p.bmp" "$work/p.raw" > /dev/null
"$ktu" bmp raw "$work/z.bmp" "$work/z.raw" > /dev/null
[ "$(wc -c < "$work/z.raw")" -eq $((64 * 48 * 3)) ] || fail "raw size"
# Zoomed pixel (2x, 2y) is original pixel (x, y): row 2, column 4 against row 1, column 2.
[ "$(bytes "$work/z.raw" $(((2 * 64 + 4) * 3)) 3)" = "$(bytes "$work/p.raw" $(((1 * 64 + 2) * 3)) 3)" ] ||
  fail "zoom does not replicate pixels"
set +e
"$ktu" bmp crop "$work/p.bmp" 2> /dev/null
[ $? -eq 2 ] || fail "crop without its arguments did not exit 2"
"$ktu" bmp info "$work/none.bmp" 2> /dev/null
[ $? -eq 1 ] || fail "info of a missing file did not exit 1"
echo "ktu bmp ok"
