#!/usr/bin/env python3
"""Measures the ink of drawings: share of ink over the picture and over the
model's area, and the darkest square patch.

    scripts/picture_stats.py [--patch N] FILE...

FILE is a TGA (uncompressed or run-length, 8-bit grey or 24/32-bit colour) or
a PNG (8-bit, not interlaced). Ink of a pixel is 1 - luminance/255. One line a
file:

    name  ink=4.1%  covered=12.3%  ink-in-covered=33.0%  darkest20=61.2%

covered: share of pixels with any ink (> 2/255); ink-in-covered: mean ink of
those; darkestN: the mean ink of the darkest N x N patch. No third-party
modules, so it runs wherever python3 does.
"""
import struct
import sys
import zlib


def read_tga(data):
    id_len, cmap_type, img_type = data[0], data[1], data[2]
    if cmap_type != 0 or img_type not in (2, 3, 10, 11):
        raise ValueError("unsupported TGA type %d" % img_type)
    w, h = struct.unpack_from("<HH", data, 12)
    bpp, desc = data[16], data[17]
    if bpp not in (8, 24, 32):
        raise ValueError("unsupported TGA depth %d" % bpp)
    n = bpp // 8
    pos = 18 + id_len
    count = w * h
    if img_type in (2, 3):
        raw = data[pos:pos + count * n]
    else:
        out = bytearray()
        while len(out) < count * n:
            head = data[pos]
            pos += 1
            run = (head & 0x7F) + 1
            if head & 0x80:
                out += data[pos:pos + n] * run
                pos += n
            else:
                out += data[pos:pos + run * n]
                pos += run * n
        raw = bytes(out)
    grey = grey_from(raw, n, bgr=True)
    if not desc & 0x20:  # bottom-up rows
        grey = [v for y in range(h - 1, -1, -1) for v in grey[y * w:(y + 1) * w]]
    return w, h, grey


def grey_from(raw, n, bgr):
    if n == 1:
        return list(raw)
    r, b = (2, 0) if bgr else (0, 2)
    out = []
    for i in range(0, len(raw), n):
        lum = 0.299 * raw[i + r] + 0.587 * raw[i + 1] + 0.114 * raw[i + b]
        if n == 4:  # over white paper
            a = raw[i + 3] / 255.0
            lum = lum * a + 255.0 * (1.0 - a)
        out.append(lum)
    return out


def read_png(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if depth != 8 or interlace or ctype not in (0, 2, 4, 6):
        raise ValueError("unsupported PNG (depth %d, type %d)" % (depth, ctype))
    n = {0: 1, 2: 3, 4: 2, 6: 4}[ctype]
    raw = zlib.decompress(idat)
    stride = w * n
    rows, prev = [], bytearray(stride)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - n] if i >= n else 0
            b = prev[i]
            c = prev[i - n] if i >= n else 0
            if f == 1:
                line[i] = (line[i] + a) & 0xFF
            elif f == 2:
                line[i] = (line[i] + b) & 0xFF
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append(bytes(line))
        prev = line
    raw = b"".join(rows)
    if n == 2:  # grey + alpha
        raw = bytes(v for i in range(0, len(raw), 2) for v in (raw[i], raw[i], raw[i], raw[i + 1]))
        n = 4
    return w, h, grey_from(raw, n, bgr=False)


def darkest_patch(w, h, ink, size):
    size = max(1, min(size, w, h))
    # Summed-area table, one row at a time.
    table = [[0.0] * (w + 1) for _ in range(h + 1)]
    for y in range(h):
        run, row, above = 0.0, table[y + 1], table[y]
        base = y * w
        for x in range(w):
            run += ink[base + x]
            row[x + 1] = above[x + 1] + run
    best = 0.0
    for y in range(h - size + 1):
        top, bottom = table[y], table[y + size]
        for x in range(w - size + 1):
            s = bottom[x + size] - bottom[x] - top[x + size] + top[x]
            if s > best:
                best = s
    return best / (size * size)


def main(argv):
    patch = 20
    files = []
    it = iter(argv)
    for a in it:
        if a == "--patch":
            patch = int(next(it))
        else:
            files.append(a)
    if not files:
        print(__doc__.strip())
        return 2
    status = 0
    for name in files:
        try:
            with open(name, "rb") as f:
                data = f.read()
            w, h, grey = read_png(data) if data[:4] == b"\x89PNG" else read_tga(data)
        except (OSError, ValueError, IndexError, struct.error, zlib.error) as e:
            print("%s: cannot read: %s" % (name, e))
            status = 1
            continue
        ink = [1.0 - min(255.0, max(0.0, v)) / 255.0 for v in grey]
        covered = [v for v in ink if v > 2.0 / 255.0]
        total = sum(ink) / len(ink)
        share = len(covered) / len(ink)
        mean_cov = sum(covered) / len(covered) if covered else 0.0
        print("%s  ink=%.1f%%  covered=%.1f%%  ink-in-covered=%.1f%%  darkest%d=%.1f%%" %
              (name, 100 * total, 100 * share, 100 * mean_cov, patch,
               100 * darkest_patch(w, h, ink, patch)))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
