# Reads an 8-bit RGB or RGBA PNG into rows of (r, g, b) without any library.
import struct, zlib, sys
def read_png(path):
    d = open(path, 'rb').read()
    assert d[:8] == b'\x89PNG\r\n\x1a\n'
    pos = 8; idat = b''; w = h = 0; plte = b''
    while pos < len(d):
        n, kind = struct.unpack('>I4s', d[pos:pos + 8]); body = d[pos + 8:pos + 8 + n]; pos += 12 + n
        if kind == b'IHDR':
            w, h, depth, ctype = struct.unpack('>IIBB', body[:10])
            assert (depth == 8 and ctype in (2, 6)) or (ctype == 3 and depth in (1, 2, 4, 8)), \
                (depth, ctype)
            bpp = 3 if ctype == 2 else 4 if ctype == 6 else 1
        elif kind == b'PLTE':
            plte = body
        elif kind == b'IDAT':
            idat += body
    raw = zlib.decompress(idat)
    stride = w * bpp if ctype != 3 else (w * depth + 7) // 8
    rows = []; prev = bytearray(stride); i = 0
    for y in range(h):
        f = raw[i]; line = bytearray(raw[i + 1:i + 1 + stride]); i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0; b = prev[x]; c = prev[x - bpp] if x >= bpp else 0
            if f == 1: line[x] = (line[x] + a) & 255
            elif f == 2: line[x] = (line[x] + b) & 255
            elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c; pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        if ctype == 3:
            per = 8 // depth
            idx = [(line[x // per] >> (8 - depth * (x % per + 1))) & ((1 << depth) - 1)
                   for x in range(w)]
            rows.append([tuple(plte[3 * k:3 * k + 3]) for k in idx])
        else:
            rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(w)])
        prev = line
    return w, h, rows
