#!/usr/bin/env python3
"""Compares what the Linux and the Windows build of ktu_differential printed.

    compare.py LINUX_OUTPUT WINDOWS_OUTPUT

Lines must be equal, except where a line carries one of the tags below
("<tab>~tag detail" at its end). Prints the seed, the operations per family,
the allowed differences per tag and every other difference; exits 1 when
there is any other difference.
"""
import sys

# Differences the two systems may show. "answer": the answers may differ
# (both lines carry the tag); "detail": only the detail after the tag may
# differ (one line may carry it alone).
ALLOWED = {
    # File names compare without regard to case on Windows, byte for byte on
    # Linux ("B.TXT" finds "b.txt" only on Windows).
    "case": ("answer", "letter case of file names"),
    # CON, PRN, AUX, NUL, COM1-9 and LPT1-9 (with any extension) name devices
    # on Windows and exist in every folder; on Linux they are ordinary names.
    # https://learn.microsoft.com/en-us/windows/win32/fileio/naming-a-file
    "reserved": ("answer", "reserved Windows names"),
    # Windows matches wildcards against the 8.3 short names too ("*.tex" finds
    # "longname.text" through LONGNA~1.TEX); Linux names have no short form.
    # https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-findfirstfilea
    "8.3": ("answer", "8.3 short names in wildcard matches"),
    # Copies written by copyFileExcludingLine use the platform's text line
    # ends: CR LF on Windows, LF on Linux. The line shows the copy's lines;
    # the detail shows the bytes.
    "lineend": ("detail", "line ends of text copies"),
    # A picture's HIMETRIC size: the file's own resolution on Linux, the
    # screen's (96 dpi under Wine) on Windows.
    "dpi": ("answer", "resolution of a picture's HIMETRIC size"),
    # The alignment bytes at the end of each row of a loaded bitmap are not
    # pixels: the contract copies the rows as the loaded bitmap holds them and
    # leaves their values open. Linux reads them from the file; the DIB section
    # that LoadImageA makes under Wine holds 0 there.
    "padding": ("answer", "alignment bytes of a loaded bitmap's rows"),
    # A fault of Wine: it creates a key whose path holds an empty name ("a\\\\b",
    # a leading "\\"); Windows refuses it, key names cannot be empty:
    # https://learn.microsoft.com/en-us/windows/win32/sysinfo/structure-of-the-registry
    "wine-emptykey": ("answer", "Wine makes registry keys with empty names"),
    # A fault of Wine: LoadImageA gives a top-down file's DIB section no
    # pixels (all zero); a negative height is a top-down DIB, whose rows
    # Windows keeps: https://learn.microsoft.com/en-us/windows/win32/api/wingdi/ns-wingdi-bitmapinfoheader
    "wine-topdown": ("answer", "Wine loads top-down BMP files without pixels"),
    # A fault of Wine: OleLoadPicture makes a picture of a file cut short, or
    # of one that holds "BM" and no bitmap; the stream must hold a picture in
    # one of its formats: https://learn.microsoft.com/en-us/windows/win32/api/olectl/nf-olectl-oleloadpicture
    "wine-notpicture": ("answer", "Wine makes pictures of damaged BMP files"),
}


def split(line):
    body, _, tag = line.partition("\t~")
    name = tag.split(" ", 1)[0] if tag else ""
    return body, name


def main():
    with open(sys.argv[1], newline="") as f:
        linux = f.read().replace("\r\n", "\n").splitlines()
    with open(sys.argv[2], newline="") as f:
        windows = f.read().replace("\r\n", "\n").splitlines()
    allowed, faults = {}, []
    for i in range(max(len(linux), len(windows))):
        a = linux[i] if i < len(linux) else "(missing)"
        b = windows[i] if i < len(windows) else "(missing)"
        if a == b:
            continue
        (body_a, tag_a), (body_b, tag_b) = split(a), split(b)
        tag = tag_a or tag_b
        kind = ALLOWED.get(tag, ("", ""))[0]
        if kind == "detail" and body_a == body_b and tag_a in ("", tag) and tag_b in ("", tag):
            allowed[tag] = allowed.get(tag, 0) + 1
        elif kind == "answer" and tag_a == tag_b:
            allowed[tag] = allowed.get(tag, 0) + 1
        else:
            faults.append((i + 1, a, b))
    seed = next((l for l in linux if l.startswith("#seed")), "#seed ?")
    print(seed.lstrip("#"))
    total = 0
    for line in linux:
        if line.startswith("#ops "):
            _, family, count = line.split()
            total += int(count)
            print(f"  {family:9} {count:>6} operations")
    print(f"  {'all':9} {total:>6} operations")
    for tag, count in sorted(allowed.items()):
        print(f"allowed difference ({ALLOWED[tag][1]}, ~{tag}): {count}")
    for number, a, b in faults[:40]:
        print(f"DIFFERENCE at line {number}:\n  linux:   {a}\n  windows: {b}")
    if len(faults) > 40:
        print(f"... and {len(faults) - 40} more")
    print(f"differences outside the allowed list: {len(faults)}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
