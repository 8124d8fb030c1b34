#!/usr/bin/python3
"""Writes the TIFF cases the decoder test reads, each with the picture it must show.

make_tiffs.py FOLDER writes FOLDER/*.tif, FOLDER/*.rgba (the expected picture: width and height
as little-endian 32-bit numbers, then rows of red, green, blue and alpha bytes, the colours
multiplied by alpha) and FOLDER/cases, one line a case:

    match NAME.tif EXPECTED.rgba TOLERANCE   the decoder must show EXPECTED within TOLERANCE
    refuse NAME.tif REASON DETAIL...         the decoder must refuse it so

The pictures are written field by field here (any depth, sample format and layout); libtiff's
tiffcp turns some into BigTIFF, planes, tiles and compressed strips, and libtiff's tiff2rgba is
a second judge of the forms it reads. Every tool is required: a missing one stops the script
with an error, never a smaller set of cases."""

import shutil
import struct
import subprocess
import sys
from pathlib import Path

import numpy as np
from PIL import Image

W, H = 24, 16
RNG = np.random.default_rng(20261210)

SHORT, LONG, RATIONAL, DOUBLE = 3, 4, 5, 12


def tiff_bytes(width, height, bits, samples, photometric, data, extra=None, planes=None):
    """A little-endian TIFF of one uncompressed strip holding data, or of one strip a sample
    holding each of planes."""
    if planes:
        data = b"".join(planes)
    tags = {
        256: (LONG, [width]),
        257: (LONG, [height]),
        258: (SHORT, [bits] * samples),
        259: (SHORT, [1]),
        262: (SHORT, [photometric]),
        273: (LONG, [0]),  # filled in below
        277: (SHORT, [samples]),
        278: (LONG, [height]),
        279: (LONG, [len(data)]),
        284: (SHORT, [2 if planes else 1]),
    }
    if planes:
        tags[279] = (LONG, [len(p) for p in planes])
        tags[273] = (LONG, [0] * len(planes))
    tags.update(extra or {})
    sizes = {SHORT: 2, LONG: 4}
    count = len(tags)
    directory = 8
    outside = directory + 2 + 12 * count + 4
    blobs = b""
    entries = []
    places = {}
    for tag in sorted(tags):
        kind, values = tags[tag]
        raw = b"".join(struct.pack("<H" if kind == SHORT else "<I", v) for v in values)
        if len(raw) <= 4:
            entries.append((tag, kind, len(values), raw.ljust(4, b"\0")))
        else:
            places[tag] = outside + len(blobs)
            entries.append((tag, kind, len(values), struct.pack("<I", outside + len(blobs))))
            blobs += raw + (b"\0" if len(raw) % 2 else b"")
    pixels = outside + len(blobs)
    out = b"II*\0" + struct.pack("<I", directory) + struct.pack("<H", count)
    if planes:  # the strips' places, one a plane, in the blob written for them
        at, blobs = places[273] - outside, bytearray(blobs)
        starts = [pixels + sum(len(p) for p in planes[:i]) for i in range(len(planes))]
        blobs[at:at + 4 * len(planes)] = b"".join(struct.pack("<I", v) for v in starts)
        blobs = bytes(blobs)
    for tag, kind, n, raw in entries:
        if tag == 273 and not planes:
            raw = struct.pack("<I", pixels)
        out += struct.pack("<HHI", tag, kind, n) + raw
    return out + b"\0\0\0\0" + blobs + data


def packed(samples, bits):
    """Rows of integer samples (height x values) as stored: whole bytes of 8, 16, 24, 32 and 64
    bits little-endian, other depths packed from the highest bit, each row to a whole byte."""
    out = b""
    for row in samples:
        if bits in (8, 16, 24, 32, 64):
            out += b"".join(int(v).to_bytes(bits // 8, "little") for v in row)
        else:
            acc = 0
            for v in row:
                acc = acc << bits | int(v)
            total = len(row) * bits
            pad = -total % 8
            out += (acc << pad).to_bytes((total + pad) // 8, "big")
    return out


def scaled(v, bits):
    """An integer sample to 8 bits, full scale 255, rounded: exactly, in Python's integers."""
    top = (1 << bits) - 1
    return (2 * int(v) * 255 + top) // (2 * top)


def rgba_file(path, rgba):
    """rgba: height x width x 4 of 0..255, colours already multiplied by alpha."""
    h, w, _ = rgba.shape
    path.write_bytes(struct.pack("<II", w, h) + rgba.astype(np.uint8).tobytes())


def premultiplied(rgb, alpha):
    a = alpha.astype(np.int64)
    return np.dstack([(rgb.astype(np.int64) * a[..., None] + 127) // 255, a])


def opaque(rgb):
    return np.dstack([rgb, np.full(rgb.shape[:2], 255)])


class Cases:
    def __init__(self, folder):
        self.folder = folder
        self.lines = []

    def match(self, name, data, rgba, tolerance=0):
        (self.folder / f"{name}.tif").write_bytes(data)
        rgba_file(self.folder / f"{name}.rgba", rgba)
        self.lines.append(f"match {name}.tif {name}.rgba {tolerance}")

    def derived(self, name, source, args, rgba, tolerance=0):
        """A case tiffcp makes from another."""
        run(["tiffcp", *args, str(self.folder / f"{source}.tif"), str(self.folder / f"{name}.tif")])
        rgba_file(self.folder / f"{name}.rgba", rgba)
        self.lines.append(f"match {name}.tif {name}.rgba {tolerance}")

    def judged(self, name):
        """libtiff's tiff2rgba's picture of a case, as a second expectation."""
        out = self.folder / f"{name}-rgba.tif"
        run(["tiff2rgba", "-c", "none", str(self.folder / f"{name}.tif"), str(out)])
        with Image.open(out) as image:
            # tiff2rgba stores associated alpha; Pillow calls that "RGBa" and keeps the values.
            assert image.mode in ("RGBA", "RGBa"), image.mode
            # Pillow reads tiff2rgba's associated alpha as "RGBA", the colours divided again.
            raw = np.frombuffer(image.tobytes("raw", image.mode), np.uint8).reshape(
                image.height, image.width, 4)
        if image.mode == "RGBA":
            raw = premultiplied(raw[..., :3], raw[..., 3])
        rgba_file(self.folder / f"{name}-judged.rgba", raw)
        self.lines.append(f"match {name}.tif {name}-judged.rgba 1")

    def refuse(self, name, data, reason, *details):
        (self.folder / f"{name}.tif").write_bytes(data)
        self.lines.append(" ".join(["refuse", f"{name}.tif", reason, "|".join(details)]))


def run(command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def main():
    folder = Path(sys.argv[1])
    for tool in ("tiffcp", "tiff2rgba", "tiffset"):
        if not shutil.which(tool):
            sys.exit(f"make_tiffs.py: {tool} is missing (libtiff-tools; scripts/setup.sh --test)")
    c = Cases(folder)

    # Grey of every integer depth, 1 to 64 bits.
    for bits in (1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 24, 32, 64):
        top = (1 << bits) - 1
        values = [[int.from_bytes(RNG.bytes(8), "little") & top if x % 5 else (top if y % 2 else 0)
                   for x in range(W)] for y in range(H)]
        grey = np.array([[scaled(v, bits) for v in row] for row in values])
        c.match(f"grey{bits}", tiff_bytes(W, H, bits, 1, 1, packed(values, bits)),
                opaque(np.dstack([grey] * 3)), 1 if bits > 32 else 0)
        if bits in (1, 2, 4, 8, 16):
            c.judged(f"grey{bits}")
    # White is zero.
    values = [[(x + y) % 2 for x in range(W)] for y in range(H)]
    grey = 255 - 255 * np.array(values)
    c.match("miniswhite1", tiff_bytes(W, H, 1, 1, 0, packed(values, 1)),
            opaque(np.dstack([grey] * 3)))

    # RGB of 8, 10 and 16 bits; 16 with alpha, unassociated and associated; signed 16.
    for bits in (8, 10, 16):
        top = (1 << bits) - 1
        v = RNG.integers(0, top, size=(H, W, 3), endpoint=True)
        rgb = np.vectorize(lambda s: scaled(s, bits))(v)
        c.match(f"rgb{bits}", tiff_bytes(W, H, bits, 3, 2, packed(v.reshape(H, -1), bits)),
                opaque(rgb))
        if bits in (8, 16):
            c.judged(f"rgb{bits}")
    v = RNG.integers(0, 65535, size=(H, W, 4), endpoint=True)
    v[0, :, 3] = 0
    v[1, :, 3] = 65535
    e8 = np.vectorize(lambda s: scaled(s, 16))(v)
    c.match("rgba16", tiff_bytes(W, H, 16, 4, 2, packed(v.reshape(H, -1), 16),
                                 {338: (SHORT, [2])}), premultiplied(e8[..., :3], e8[..., 3]))
    c.judged("rgba16")
    # Associated: colours no larger than alpha.
    a = RNG.integers(0, 255, size=(H, W), endpoint=True)
    rgb = (RNG.integers(0, 255, size=(H, W, 3), endpoint=True) * a[..., None]) // 255
    stored = np.dstack([rgb, a])
    c.match("rgba8-associated", tiff_bytes(W, H, 8, 4, 2, packed(stored.reshape(H, -1), 8),
                                           {338: (SHORT, [1])}), stored)
    c.judged("rgba8-associated")
    # Grey with alpha, unassociated, the alpha a player must see.
    g = RNG.integers(0, 255, size=(H, W), endpoint=True)
    a = np.where(np.arange(W)[None, :] < W // 2, 0, 255) * np.ones((H, 1), int)
    a[:, -3:] = 128
    stored = np.dstack([g, a])
    c.match("greya8", tiff_bytes(W, H, 8, 2, 1, packed(stored.reshape(H, -1), 8),
                                 {338: (SHORT, [2])}), premultiplied(np.dstack([g] * 3), a))
    # (Not judged by tiff2rgba: libtiff's RGBA reading leaves grey unmultiplied by its alpha.)
    # Signed 16-bit grey: its least value black, its greatest white.
    s = RNG.integers(-32768, 32767, size=(H, W), endpoint=True)
    s[0, 0], s[0, 1] = -32768, 32767
    grey = np.vectorize(lambda x: scaled(x + 32768, 16))(s)
    c.match("grey16-signed", tiff_bytes(W, H, 16, 1, 1, packed(s.reshape(H, -1) & 0xFFFF, 16),
                                        {339: (SHORT, [2])}), opaque(np.dstack([grey] * 3)))

    # Floating point, 0 to 1: 16, 32 and 64 bits; below 0, above 1 and NaN.
    for bits, dtype in ((16, "<f2"), (32, "<f4"), (64, "<f8")):
        f = RNG.uniform(-0.2, 1.2, size=(H, W, 3)).astype(dtype)
        f[0, 0] = np.nan
        f[0, 1] = 0.5
        want = np.where(np.isnan(f.astype(np.float64)), 0,
                        np.floor(np.clip(f.astype(np.float64), 0, 1) * 255 + 0.5)).astype(int)
        c.match(f"float{bits}", tiff_bytes(W, H, bits, 3, 2, f.tobytes(), {339: (SHORT, [3])}),
                opaque(want), 1)

    # Palettes of 4, 8 and 16 bits, 16-bit colour maps.
    for bits in (4, 8, 16):
        n = 1 << bits
        cmap = RNG.integers(0, 65535, size=(3, n), endpoint=True)
        idx = RNG.integers(0, n - 1, size=(H, W), endpoint=True)
        rgb = np.dstack([cmap[i][idx] * 255 // 65535 for i in range(3)])
        c.match(f"palette{bits}", tiff_bytes(W, H, bits, 1, 3, packed(idx, bits),
                                             {320: (SHORT, list(cmap.reshape(-1)))}), opaque(rgb))
        if bits <= 8:
            c.judged(f"palette{bits}")

    # CMYK of 8 and 16 bits.
    for bits in (8, 16):
        top = (1 << bits) - 1
        v = RNG.integers(0, top, size=(H, W, 4), endpoint=True)
        e = np.vectorize(lambda s: scaled(s, bits))(v)
        k = 255 - e[..., 3]
        rgb = np.dstack([k * (255 - e[..., i]) // 255 for i in range(3)])
        c.match(f"cmyk{bits}", tiff_bytes(W, H, bits, 4, 5, packed(v.reshape(H, -1), bits)),
                opaque(rgb))
        if bits == 8:
            c.judged("cmyk8")

    # What tiffcp makes of them: BigTIFF, planes, tiles, compressed strips with predictors,
    # JPEG (read through libtiff's RGBA reading), and the first page of two.
    read = lambda name: np.frombuffer((folder / f"{name}.rgba").read_bytes()[8:], np.uint8).reshape(H, W, 4)
    c.derived("big-rgb8", "rgb8", ["-8"], read("rgb8"))
    c.derived("big-grey12", "grey12", ["-8"], read("grey12"))
    for name, samples, photometric, extra in (("rgb16", 3, 2, None), ("rgba16", 4, 2, {338: (SHORT, [2])}),
                                              ("cmyk16", 4, 5, None)):
        contig = (folder / f"{name}.tif").read_bytes()
        at = struct.unpack_from("<I", contig, struct.unpack_from("<I", contig, 4)[0] + 2 + 12 * 5 + 8)[0]
        v = np.frombuffer(contig[at:at + W * H * samples * 2], "<u2").reshape(H, W, samples)
        planes = [v[..., i].astype("<u2").tobytes() for i in range(samples)]
        c.match(f"planar-{name}", tiff_bytes(W, H, 16, samples, photometric, b"", extra, planes),
                read(name))
    c.derived("big-planar-rgb16", "planar-rgb16", ["-8"], read("rgb16"))
    c.derived("tiled-rgb8", "rgb8", ["-t", "-w", "16", "-l", "16"], read("rgb8"))
    c.derived("tiled-cmyk16", "cmyk16", ["-t", "-w", "16", "-l", "16"], read("cmyk16"))
    c.derived("lzw-rgb16", "rgb16", ["-c", "lzw:2", "-r", "3"], read("rgb16"))
    c.derived("deflate-float32", "float32", ["-c", "zip:3"], read("float32"), 1)
    c.derived("packbits-palette4", "palette4", ["-c", "packbits"], read("palette4"))
    c.derived("jpeg-rgb8", "rgb8", ["-c", "jpeg:r:95"], read("rgb8"), 40)
    c.judged("jpeg-rgb8")
    # Turned and mirrored as the orientation tag says, as cameras and scanners write it.
    stored = read("rgb8")
    shown = {2: stored[:, ::-1], 3: stored[::-1, ::-1], 4: stored[::-1],
             5: stored.transpose(1, 0, 2), 6: np.rot90(stored, -1),
             7: stored[::-1, ::-1].transpose(1, 0, 2), 8: np.rot90(stored, 1)}
    for orientation, rgba in shown.items():
        name = f"orientation{orientation}"
        c.derived(name, "rgb8", [], np.ascontiguousarray(rgba))
        run(["tiffset", "-s", "274", str(orientation), str(folder / f"{name}.tif")])
    c.derived("pages", "rgb8", [], read("rgb8"))
    run(["tiffcp", str(folder / "rgb8.tif"), str(folder / "grey8.tif"), str(folder / "pages.tif")])

    # Hostile and unread forms.
    rgb8 = (folder / "rgb8.tif").read_bytes()
    def patched(data, tag, value):
        """The first directory's entry for tag given one SHORT or LONG value."""
        data = bytearray(data)
        at = struct.unpack_from("<I", data, 4)[0]
        for i in range(struct.unpack_from("<H", data, at)[0]):
            e = at + 2 + 12 * i
            if struct.unpack_from("<H", data, e)[0] == tag:
                kind = struct.unpack_from("<H", data, e + 2)[0]
                struct.pack_into("<H" if kind == SHORT else "<I", data, e + 8, value)
                return bytes(data)
        raise KeyError(tag)
    c.refuse("compression-unknown", patched(rgb8, 259, 34712), "Unsupported", "TIFF",
             "compression 34712")
    c.refuse("colour-unknown", patched(rgb8, 262, 32000), "Unsupported", "TIFF", "colour 32000")
    c.refuse("float24", tiff_bytes(W, H, 24, 1, 1, bytes(W * H * 3), {339: (SHORT, [3])}),
             "Unsupported", "TIFF", "float 24")
    c.refuse("complex", tiff_bytes(W, H, 32, 1, 1, bytes(W * H * 4), {339: (SHORT, [6])}),
             "Unsupported", "TIFF", "sample format 6")
    big = (folder / "big-rgb8.tif").read_bytes()
    c.refuse("big-cut", big[: len(big) // 2], "Incomplete", "TIFF")
    lzw = (folder / "lzw-rgb16.tif").read_bytes()
    c.refuse("strips-cut", lzw[: len(lzw) * 2 // 3], "Incomplete", "TIFF")
    c.refuse("big-header-only", big[:16], "Incomplete", "TIFF")
    c.refuse("big-nonsense-offset", big[:8] + struct.pack("<Q", 1 << 62) + big[16:], "Damaged",
             "TIFF")
    c.refuse("big-no-pixels", patched_big(big, 256, 0), "Damaged", "TIFF")
    c.refuse("big-too-large", patched_big(patched_big(big, 256, 20000), 257, 20000), "TooLarge",
             "20000", "20000")
    # A single uncompressed strip's count past the end: libtiff counts the strip itself.
    c.match("strip-count-lies", patched(rgb8, 279, 0xFFFFFFF0), read("rgb8"))
    noise = RNG.integers(0, 255, size=W * H * 3, endpoint=True).astype(np.uint8).tobytes()
    c.refuse("lzw-noise", tiff_bytes(W, H, 8, 3, 2, noise, {259: (SHORT, [5])}), "Damaged",
             "TIFF")

    (folder / "cases").write_text("\n".join(c.lines) + "\n")


def patched_big(data, tag, value):
    """The first BigTIFF directory's entry for tag given one value of its type."""
    data = bytearray(data)
    at = struct.unpack_from("<Q", data, 8)[0]
    for i in range(struct.unpack_from("<Q", data, at)[0]):
        e = at + 8 + 20 * i
        if struct.unpack_from("<H", data, e)[0] == tag:
            kind = struct.unpack_from("<H", data, e + 2)[0]
            fmt = {SHORT: "<H", LONG: "<I", 16: "<Q"}[kind]
            struct.pack_into(fmt, data, e + 12, value)
            return bytes(data)
    raise KeyError(tag)


if __name__ == "__main__":
    main()
