#!/usr/bin/env python3
"""Writes small files whose headers claim huge images (decompression bombs), one per
format, into the folder given as the first argument. Only the standard library is used,
so any python3 runs it."""
import os
import struct
import sys
import zlib


def bmp_rle8(path, width=65536, height=65536, size=4_300_000):
    # Valid RLE8 runs (255 pixels of colour 1) padded to about 4.3 MB: enough bytes to
    # pass a file-size check, nowhere near enough to describe 4.3 G pixels.
    data = bytearray()
    while len(data) < size:
        data += b"\xff\x01"
    data += b"\x00\x01"  # end of bitmap
    palette = b"".join(struct.pack("<BBBB", i, i, i, 0) for i in range(256))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + data)


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(path, width=100000, height=100000):
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    # Ten rows' worth of zero bytes, compressed: a few kilobytes of real image data.
    idat = zlib.compress(b"\x00" * (width * 3 + 1) * 10, 9)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat) +
                png_chunk(b"IEND", b""))


def gif(path, width=65535, height=65535):
    screen = struct.pack("<6sHHBBB", b"GIF89a", width, height, 0xF0, 0, 0)
    palette = b"\x00\x00\x00\xff\xff\xff"
    descriptor = struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    # Code size 2: clear, then a few codes, then end; far too little for the image.
    lzw = bytes([2, 4, 0x84, 0x8F, 0x19, 0x05, 0]) + b"\x3b"
    with open(path, "wb") as f:
        f.write(screen + palette + descriptor + lzw)


def tiff(path, width=100000, height=100000):
    # Little-endian, one uncompressed 8-bit grey strip that claims width * height bytes
    # while the file holds a few hundred.
    entries = [
        (256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, 8), (259, 3, 1, 1),
        (262, 3, 1, 1), (273, 4, 1, 0), (277, 3, 1, 1), (278, 4, 1, height),
        (279, 4, 1, (width * height) & 0xFFFFFFFF),
    ]
    ifd_offset = 8
    data_offset = ifd_offset + 2 + 12 * len(entries) + 4
    out = bytearray(b"II*\x00" + struct.pack("<I", ifd_offset))
    out += struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_offset
        if kind == 3:
            out += struct.pack("<HHIHH", tag, kind, count, value, 0)
        else:
            out += struct.pack("<HHII", tag, kind, count, value)
    out += struct.pack("<I", 0)
    out += b"\x80" * 256
    with open(path, "wb") as f:
        f.write(out)


def jpeg(path, source, width=65500, height=65500):
    # A real baseline JPEG with its frame header's size patched.
    with open(source, "rb") as f:
        data = bytearray(f.read())
    i = 2
    while i + 4 < len(data):
        if data[i] != 0xFF:
            raise SystemExit("unexpected JPEG layout in " + source)
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            struct.pack_into(">HH", data, i + 5, height, width)
            break
        i += 2 + length
    with open(path, "wb") as f:
        f.write(data)


def pcx(path, width=65534, height=65534):
    header = bytearray(128)
    struct.pack_into("<BBBBHHHHHH", header, 0, 10, 5, 1, 8, 0, 0, width - 1, height - 1, 72, 72)
    header[65] = 3  # planes: 24-bit colour
    struct.pack_into("<HH", header, 66, min(width + (width & 1), 65534), 1)
    runs = b"\xff\x00" * 2048
    with open(path, "wb") as f:
        f.write(bytes(header) + runs)


def main():
    out = sys.argv[1]
    corpus = sys.argv[2]
    os.makedirs(out, exist_ok=True)
    bmp_rle8(os.path.join(out, "bomb-rle8.bmp"))
    png(os.path.join(out, "bomb.png"))
    gif(os.path.join(out, "bomb.gif"))
    tiff(os.path.join(out, "bomb.tif"))
    jpeg(os.path.join(out, "bomb.jpg"), os.path.join(corpus, "jpeg", "testorig.jpg"))
    pcx(os.path.join(out, "bomb.pcx"))


if __name__ == "__main__":
    main()
