#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The targets read their parameters with libFuzzer's FuzzedDataProvider: whole
numbers and flags from the end of the input, texts and byte runs from the
front. `Input` below builds inputs the same way, so each seed says in plain
values what it exercises. Run it again after changing a target's reading
order; the seeds are small and checked in.
"""
import os
import shutil
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


class Input:
    """An input for FuzzedDataProvider, built in the order the target reads it."""

    def __init__(self):
        self.front = bytearray()  # texts and byte runs, read from the start
        self.back = bytearray()   # numbers, read from the end (first read = last byte)

    def integral(self, low, high, value, width=8):
        """ConsumeIntegralInRange(low, high) (or ConsumeIntegral of `width` bytes) giving `value`."""
        span = high - low
        offset = value - low
        assert 0 <= offset <= span
        count = 0
        while count < width and (span >> (8 * count)) > 0:
            count += 1
        for i in reversed(range(count)):  # the first byte read is the most significant
            self.back.append((offset >> (8 * i)) & 0xFF)
        return self

    def u8(self, value):
        return self.integral(0, 0xFF, value, 1)

    def u16(self, value):
        return self.integral(0, 0xFFFF, value, 2)

    def u32(self, value):
        return self.integral(0, 0xFFFFFFFF, value, 4)

    def flag(self, value):
        return self.u8(1 if value else 0)

    def text(self, value):
        """ConsumeRandomLengthString: a backslash is doubled, a lone one ends the text."""
        raw = value.encode("latin-1") if isinstance(value, str) else bytes(value)
        self.front += raw.replace(b"\\", b"\\\\") + b"\\\n"
        return self

    def rest(self, value):
        """ConsumeRemainingBytes: everything not read as a number."""
        self.front += value.encode("latin-1") if isinstance(value, str) else bytes(value)
        return self

    def bytes(self):
        return bytes(self.front) + bytes(reversed(self.back))


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data.bytes() if isinstance(data, Input) else data)


# --- socket -------------------------------------------------------------------

START = "KS_NET_API_MSG_START"
END = "KS_NET_API_MSG_END00"


def frame(length_text, payload, field=(20, 27)):
    header = START + length_text.rjust(field[1] - field[0] + 1)
    return header + payload + END


def framed(stream, start, end, buffer, chunks=(0, 0, 0, 0), error=False):
    i = Input().flag(False)  # framed read
    for position in (start, end):
        i.flag(False).integral(0, 300, position, 4)
    i.integral(0, 4096, buffer, 4)
    for c in chunks:
        i.u8(c)
    i.flag(error)
    return i.rest(stream)


def framed_wide(stream, start, end, buffer):
    i = Input().flag(False)
    for position in (start, end):
        i.flag(True).u32(position)
    i.integral(0, 4096, buffer, 4)
    for c in (0, 0, 0, 0):
        i.u8(c)
    return i.flag(False).rest(stream)


def plain(stream, buffer, chunks=(0, 0, 0, 0), error=False):
    i = Input().flag(True).integral(0, 4096, buffer, 4)
    for c in chunks:
        i.u8(c)
    return i.flag(error).rest(stream)


def socket_seeds():
    body = "payload bytes"
    good = frame(str(28 + len(body) + 20), body)
    write("socket", "frame", framed(good, 20, 27, 256))
    write("socket", "frame-chunked", framed(good + "next frame", 20, 27, 256, chunks=(1, 7, 3, 200)))
    write("socket", "frame-zero-padded", framed(frame("0000061", body), 20, 27, 256))
    write("socket", "frame-nul-ended", framed(START + "61\0\0\0\0\0\0" + body + END, 20, 27, 256))
    write("socket", "frame-bad-markers", framed(frame("61", body).replace("START", "BEGIN").replace("END00", "END99"), 20, 27, 256))
    write("socket", "frame-too-long", framed(frame("61", body), 20, 27, 40, chunks=(16, 0, 0, 0)))
    write("socket", "frame-closed-in-body", framed(frame("61", body)[:45], 20, 27, 256, error=True))
    write("socket", "frame-closed-in-header", framed(START + "  ", 20, 27, 256))
    write("socket", "frame-header-only", framed(frame("5", ""), 20, 27, 256))
    write("socket", "frame-empty-field", framed(START + "abc", 23, 22, 64))
    write("socket", "frame-negative-field", framed(good, 27, 20, 256))
    write("socket", "frame-small-buffer", framed(good, 20, 27, 10))
    write("socket", "frame-short-header", framed("KS_NET", 0, 5, 64))
    write("socket", "frame-field-far-away", framed_wide(good, 0xFFFFFFF0, 0xFFFFFFFF, 4096))
    # A length field of 2147483647: a peer must not make the read allocate
    # in proportion to the length it claims.
    write("socket", "frame-claims-2gib", framed(frame("2147483647", body), 20, 29, 64, chunks=(0, 0, 0, 0)))
    # A length field at the negative limit: the frame is the header alone,
    # however the body length is computed.
    write("socket", "frame-claims-most-negative", framed(frame("-2147483648", body), 20, 30, 256))
    write("socket", "plain", plain("0123456789abcdef", 16))
    write("socket", "plain-chunked", plain("0123456789abcdef and more", 16, chunks=(3, 1, 5, 0)))
    write("socket", "plain-short", plain("0123456789", 16, error=True))
    write("socket", "plain-empty-buffer", plain("abc", 0))


# --- ini ----------------------------------------------------------------------

OPEN, CONTENT, SET, GET, CLEAR, CLOSE, ROUND = range(7)


def op(i, code):
    return i.integral(0, 6, code, 4)


def ini_open(i, name, wanted=0):
    op(i, OPEN).integral(0, 600, wanted, 8)
    return i.text(name)


def maybe(i, value):
    if value is None:
        return i.integral(0, 7, 0, 4)
    i.integral(0, 7, 1, 4)
    return i.text(value)


def ini_set(i, section, key, value):
    op(i, SET)
    for v in (section, key, value):
        maybe(i, v)
    return i


def ini_get(i, section, key, default):
    op(i, GET)
    maybe(i, section)
    maybe(i, key)
    return i.text(default)


def ini_seeds():
    i = ini_open(Input(), "cfg/app.ini")
    ini_set(i, "Camera", "Port", "5000")
    ini_get(i, "Camera", "Port", "")
    ini_get(i, "Camera", "Missing", "15")
    op(i, ROUND).text("Sec").text("Key").text("value")
    write("ini", "open-set-get", i)

    i = ini_open(Input(), "app.ini")
    op(i, CONTENT).text("[A]\r\nx=1\r\n; note\r\n[B]\ny = two words \n=odd\n[broken\nz\n")
    ini_get(i, "A", "x", "")
    ini_get(i, "B", "y", "")
    ini_get(i, "B", None, "")
    ini_get(i, None, None, "")
    ini_set(i, "B", "y", None)
    ini_set(i, "A", None, None)
    ini_get(i, "A", "x", "d")
    write("ini", "content", i)

    i = ini_open(Input(), "a/b/c.ini")
    ini_set(i, "S", "K", "V" * 600)
    ini_get(i, "S", "K", "")
    op(i, CLEAR)
    ini_get(i, "S", "K", "")
    op(i, CLOSE)
    ini_set(i, "S", "K", "V")
    write("ini", "clear-close", i)

    # Paths stretched to exactly 258, 259 and 260 characters with a long
    # folder part: 259 is the longest path the engine must take.
    for length in (258, 259, 260):
        i = ini_open(Input(), "/i", wanted=length)
        ini_set(i, "S", "K", "V")
        ini_get(i, "S", "K", "")
        write("ini", "open-path-%d" % length, i)


# --- texts --------------------------------------------------------------------

def texts_seeds():
    def t(code):
        return Input().integral(0, 11, code, 4)

    write("texts", "name-ext", t(0).text("clip.2007.bmp"))
    write("texts", "name-ext-dot-first", t(0).text(".profile"))
    for which, path in enumerate(("C:\\a\\b\\c.txt", "C:/data/in/a.bmp", "C:///a//b/")):
        write("texts", "slashes-%d" % which, t(1).integral(0, 2, which, 4).text(path))
    write("texts", "parent", t(4).flag(False).text("C:/a/b/c.txt"))
    write("texts", "split", t(4).flag(True).text("C:/data/in/a.bmp"))
    write("texts", "required-ext", t(5).text("clip").text("bmp"))
    write("texts", "required-ext-other", t(5).text("clip.BMP").text("bmp"))
    write("texts", "absolute", t(6).flag(True).text("C:/a/b").text("../c.txt"))
    write("texts", "absolute-dot", t(6).flag(True).text("C:/a/b/").text("./d/e.txt"))
    write("texts", "relative", t(6).flag(False).text("C:/Proj").text("C:/Other/y.ini"))
    write("texts", "relative-inside", t(6).flag(False).text("C:\\a\\b").text("C:\\a\\b\\c\\d.txt"))
    write("texts", "full-split", t(8).text("C:/data/in/a.bmp"))
    write("texts", "full-split-fail", t(8).text("C:/data/a."))
    write("texts", "exists", t(9).integral(0, 3, 0, 4).text("C:/tmp/*").text(""))
    write("texts", "exists-folder", t(9).integral(0, 3, 2, 4).text("C:/").text("tmp"))
    for fmt in range(-1, 8):
        i = t(10)
        for v in (2007, 3, 1, 5, 9, 4, 7, 42):
            i.u16(v)
        write("texts", "time-%d" % fmt, i.integral(-2, 8, fmt, 4))
    i = t(10)
    for v in (65535, 65535, 0, 65535, 65535, 65535, 65535, 65535):
        i.u16(v)
    write("texts", "time-out-of-range", i.integral(-2, 8, 6, 4))


# --- raster -------------------------------------------------------------------

def raster_seeds():
    def r(code, width, height):
        return Input().integral(0, 5, code, 4).integral(-2, 80, width, 4).integral(-2, 40, height, 4)

    pixels = bytes(range(256)) * 4
    write("raster", "reverse", r(0, 37, 5).rest(pixels))
    write("raster", "flip", r(1, 33, 7).rest(pixels))
    write("raster", "flip-negative", r(1, -1, 3).rest(pixels))
    write("raster", "resize-data", r(2, 3, 3).integral(-2, 96, 10, 4).rest(pixels))
    write("raster", "resize-max", r(3, 64, 40).integral(0, 96, 93, 4).rest(pixels))
    write("raster", "resize-max-empty", r(3, 0, 0).integral(0, 96, 5, 4).rest(pixels))
    write("raster", "resize-fixed", r(4, 1, 1).integral(0, 96, 93, 4).integral(0, 96, 7, 4).rest(pixels))
    for name, edges in (("zoom-whole", (8, 0, 0, 8)), ("zoom-half", (8, 0, 0, 4)), ("zoom-quarter", (8, 4, 4, 8))):
        i = r(5, 40, 20).integral(0, 7, 1, 4)
        for e in edges:
            i.integral(0, 3, 3, 4).integral(0, 8, e, 4)
        i.flag(name != "zoom-whole").integral(0, 7, 1, 4).integral(0, 80, 0, 4).integral(0, 40, 0, 4)
        write("raster", name, i.rest(pixels))


# --- bmp and picture ------------------------------------------------------------

def bmp(width, height, bits=24, palette=0, compression=0, pixels=None, top_down=False, masks=b""):
    row = ((bits * width + 31) // 32) * 4
    if pixels is None:
        pixels = bytes((i * 37) & 0xFF for i in range(row * height))
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, compression,
                       len(pixels), 2835, 2835, palette, 0)
    table = bytes((i * 5) & 0xFF for i in range(4 * palette)) + masks
    offset = 14 + len(info) + len(table)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + table + pixels


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height):
    rows = b"".join(b"\0" + bytes((x * 40 + y) & 0xFF for x in range(3 * width)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            png_chunk(b"pHYs", struct.pack(">IIB", 3780, 3780, 1)) + png_chunk(b"IDAT", zlib.compress(rows)) +
            png_chunk(b"IEND", b""))


def png_claiming_huge_data():
    """A few dozen bytes whose data chunk claims 1.6 GB that are not there."""
    ihdr = png_chunk(b"IHDR", struct.pack(">IIBBBBB", 100, 100, 8, 2, 0, 0, 0))
    idat = struct.pack(">I", 1600000000) + b"IDAT" + zlib.compress(b"\0" * 64)[:40]
    return b"\x89PNG\r\n\x1a\n" + ihdr + idat


def jpeg_8x8_grey():
    """The smallest baseline JPEG: one grey 8 x 8 block, one-code Huffman tables."""
    def segment(marker, data):
        return b"\xff" + bytes([marker]) + struct.pack(">H", len(data) + 2) + data
    jfif = segment(0xE0, b"JFIF\0\x01\x01\x01\x00\x48\x00\x48\x00\x00")
    dqt = segment(0xDB, b"\0" + b"\x01" * 64)
    sof = segment(0xC0, b"\x08" + struct.pack(">HH", 8, 8) + b"\x01\x01\x11\x00")
    counts = b"\x01" + b"\0" * 15
    dht = segment(0xC4, b"\x00" + counts + b"\x00") + segment(0xC4, b"\x10" + counts + b"\x00")
    sos = segment(0xDA, b"\x01\x01\x00\x00\x3f\x00")
    return b"\xff\xd8" + jfif + dqt + sof + dht + sos + b"\x3f" + b"\xff\xd9"


def jpeg_overlong_huffman_table():
    """A JPEG whose Huffman table lists 300 codes where a table holds 256."""
    def segment(marker, data):
        return b"\xff" + bytes([marker]) + struct.pack(">H", len(data) + 2) + data
    counts = bytes([0] * 14 + [45, 255])
    dht = segment(0xC4, b"\x00" + counts + bytes(range(256)) + bytes(range(44)))
    sof = segment(0xC0, b"\x08" + struct.pack(">HH", 8, 8) + b"\x01\x01\x11\x00")
    return b"\xff\xd8" + segment(0xDB, b"\0" + b"\x01" * 64) + sof + dht + b"\xff\xd9"


GIF_1X1 = bytes.fromhex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b")


def image_seeds():
    images = {
        "bmp24-2x2": bmp(2, 2),
        "bmp24-3x3": bmp(3, 3),
        "bmp24-5x4-top-down": bmp(5, 4, top_down=True),
        "bmp24-1x1": bmp(1, 1),
        "bmp8-4x2": bmp(4, 2, bits=8, palette=256),
        "bmp4-3x2": bmp(3, 2, bits=4, palette=16),
        "bmp1-9x2": bmp(9, 2, bits=1, palette=2),
        "bmp16-3x2": bmp(3, 2, bits=16),
        "bmp32-2x2": bmp(2, 2, bits=32),
        "bmp32-bitfields": bmp(2, 2, bits=32, compression=3, masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)),
        "bmp8-rle": bmp(4, 2, bits=8, palette=4, compression=1, pixels=b"\x04\x01\x00\x00\x02\x02\x02\x03\x00\x01"),
        "bmp24-truncated": bmp(16, 16)[:80],
        "bmp24-claims-huge": bmp(30000, 30000, pixels=b"\0" * 48),
    }
    for name, data in images.items():
        write("bmp", name, data)
    pictures = {
        "png-3x2": png(3, 2),
        "png-claims-1.6gb": png_claiming_huge_data(),
        "jpeg-8x8": jpeg_8x8_grey(),
        "jpeg-overlong-huffman-table": jpeg_overlong_huffman_table(),
        "gif-1x1": GIF_1X1,
        "bmp24-3x3": bmp(3, 3),
        "bmp8-4x2": bmp(4, 2, bits=8, palette=256),
        "not-a-picture": b"just some text, not a picture\n",
    }
    for name, data in pictures.items():
        write("picture", name, data)


def main():
    if os.path.isdir(CORPUS):
        shutil.rmtree(CORPUS)
    socket_seeds()
    ini_seeds()
    texts_seeds()
    raster_seeds()
    image_seeds()
    for target in sorted(os.listdir(CORPUS)):
        print("%-8s %3d seeds" % (target, len(os.listdir(os.path.join(CORPUS, target)))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
