#!/usr/bin/python3
"""How close a mode's results look to their sources.

Converts every picture of a set in each mode asked for, resizes the source to the result's
size, blurs both with a Gaussian of sigma 1 and 2 result pixels in linear light (roughly what
the eye does with dithered pixels), and prints per mode family a table of the mean CIELAB
dE76 ("viewed error"), the mean L* difference and the mean chroma difference (result minus
source, so negative is darker or duller). The gray versions of the pictures, made in linear
light, are converted too: a neutral picture must not come back with a cast.

  bench/quality.py [--family NAME] [--mode 'Platform|Mode'] [--set FIELD=VALUE]
                   [--per-picture] [--no-gray-copies] [--photographs] [PICTURE_OR_FOLDER ...]

--photographs measures the 14 photographs the quality figures in the notes and docs come
from: the sample photographs of Debian's python3-skimage (eight in colour, six gray), taken
from where that package installs them.

Uses Debian's python3-numpy and python3-pil.
"""
import argparse
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SKIMAGE_DATA = "/usr/lib/python3/dist-packages/skimage/data"
PHOTOGRAPHS = ["astronaut.png", "coffee.png", "chelsea.png", "rocket.jpg", "hubble_deep_field.jpg",
               "ihc.png", "retina.jpg", "motorcycle_left.png", "moon.png", "gravel.png",
               "grass.png", "brick.png", "coins.png", "camera.png"]

FAMILIES = {
    "zx": ["ZX Spectrum|256x192x4"],
    "cpc": ["Amstrad CPC|0 160x200x4", "Amstrad CPC|1 320x200x2"],
    "msx": ["MSX|2 256x192x4", "MSX|5 256x212x4"],
    "bbc": ["BBC Micro|1 320x256x2", "BBC Micro|2 160x256x4"],
    "cga": ["IBM|CGA 320x200x2"],
}

SIGMAS = (1.0, 2.0)


def srgb_to_linear(c):
    c = c / 255.0
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)


def linear_to_srgb(v):
    v = np.clip(v, 0.0, 1.0)
    return np.where(v <= 0.0031308, 12.92 * v, 1.055 * v ** (1 / 2.4) - 0.055) * 255.0


def load_linear(path):
    with Image.open(path) as im:
        return srgb_to_linear(np.asarray(im.convert("RGB"), dtype=np.float64))


def resize_linear(lin, width, height):
    # Area average when shrinking, bicubic when growing, channel by channel in linear light.
    h, w = lin.shape[:2]
    method = Image.BOX if width <= w and height <= h else Image.BICUBIC
    planes = []
    for ch in range(3):
        plane = Image.fromarray(lin[:, :, ch].astype(np.float32), "F")
        planes.append(np.asarray(plane.resize((width, height), method), dtype=np.float64))
    return np.stack(planes, axis=2)


def gaussian(lin, sigma):
    radius = int(3 * sigma + 0.5)
    x = np.arange(-radius, radius + 1)
    k = np.exp(-x * x / (2 * sigma * sigma))
    k /= k.sum()
    out = lin
    for axis in (0, 1):
        pad = [(0, 0)] * 3
        pad[axis] = (radius, radius)
        padded = np.pad(out, pad, mode="reflect")
        acc = np.zeros_like(out)
        n = out.shape[axis]
        for i, w in enumerate(k):
            acc += w * np.take(padded, np.arange(i, i + n), axis=axis)
        out = acc
    return out


def lab(lin):
    m = np.array([[0.4124564, 0.3575761, 0.1804375], [0.2126729, 0.7151522, 0.0721750],
                  [0.0193339, 0.1191920, 0.9503041]])
    xyz = lin @ m.T / np.array([0.95047, 1.0, 1.08883])
    f = np.where(xyz > 0.008856, np.cbrt(np.maximum(xyz, 0.0)), 7.787 * xyz + 16 / 116)
    L = 116 * f[..., 1] - 16
    a = 500 * (f[..., 0] - f[..., 1])
    b = 200 * (f[..., 1] - f[..., 2])
    return np.stack([L, a, b], axis=-1)


def measure(source, result):
    """(dE76 at each sigma, dL*, dC*, source L*, source C*) of the blurred pictures."""
    errors, extra = [], None
    for sigma in SIGMAS:
        s = lab(gaussian(source, sigma))
        r = lab(gaussian(result, sigma))
        errors.append(float(np.mean(np.linalg.norm(r - s, axis=-1))))
        if extra is None:
            cs = np.hypot(s[..., 1], s[..., 2])
            cr = np.hypot(r[..., 1], r[..., 2])
            extra = (float(np.mean(r[..., 0] - s[..., 0])), float(np.mean(cr - cs)),
                     float(np.mean(s[..., 0])), float(np.mean(cs)))
    return errors + list(extra)


def pictures_of(paths):
    found = []
    for p in paths:
        if os.path.isdir(p):
            for name in sorted(os.listdir(p)):
                if name.lower().endswith((".png", ".jpg", ".jpeg", ".bmp", ".gif")):
                    found.append(os.path.join(p, name))
        else:
            found.append(p)
    return found


def prepare(pictures, work, gray_copies):
    """Each picture as an RGB PNG, and a gray version of every colour one (gray in linear
    light); pictures that are gray already stay as they are. Returns (name, path, gray)."""
    prepared = []
    for path in pictures:
        name = os.path.splitext(os.path.basename(path))[0]
        lin = load_linear(path)
        gray = bool(np.all(lin[..., 0] == lin[..., 1]) and np.all(lin[..., 1] == lin[..., 2]))
        out = os.path.join(work, name + ".png")
        Image.open(path).convert("RGB").save(out)
        prepared.append((name, out, gray))
        if gray_copies and not gray:
            y = lin @ np.array([0.212655, 0.715158, 0.072187])
            g = np.round(linear_to_srgb(np.repeat(y[..., None], 3, axis=2))).astype(np.uint8)
            gpath = os.path.join(work, name + "-gray.png")
            Image.fromarray(g, "RGB").save(gpath)
            prepared.append((name + "-gray", gpath, True))
    return prepared


def convert(cli, picture, platform, mode, sets, work, threads, extra=()):
    out = os.path.join(work, "out")
    preview = os.path.join(work, "result.png")
    for f in os.listdir(work):
        if f.startswith("out") or f == "result.png":
            os.remove(os.path.join(work, f))
    cmd = [cli, "convert", picture, "-p", platform, "-m", mode, "-o", out, "--preview", preview,
           "--set", "PositionMode=Stretched", "--force"]
    if threads:
        cmd += ["--threads", str(threads)]
    for s in sets:
        cmd += ["--set", s]
    cmd += list(extra)
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return load_linear(preview)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("pictures", nargs="*", help="pictures or folders (default: samples/)")
    ap.add_argument("--family", action="append", choices=sorted(FAMILIES),
                    help="mode family to measure (repeatable; default: all)")
    ap.add_argument("--mode", action="append", default=[], help="'Platform|Mode' (repeatable)")
    ap.add_argument("--set", action="append", default=[], help="FIELD=VALUE for every run")
    ap.add_argument("--arg", action="append", default=[],
                    help="one more argument for every conversion (e.g. --arg=--palette --arg=p.gpl)")
    ap.add_argument("--cli", default=os.path.join(ROOT, "build/default/velmora-cli"))
    ap.add_argument("--threads", type=int, default=0)
    ap.add_argument("--no-gray-copies", action="store_true",
                    help="convert the pictures only, not also their gray versions")
    ap.add_argument("--per-picture", action="store_true", help="a row per picture too")
    ap.add_argument("--photographs", action="store_true",
                    help="the 14 photographs of python3-skimage (apt-get install python3-skimage)")
    args = ap.parse_args()

    families = {}
    if args.mode:
        families["modes"] = args.mode
    for f in args.family or ([] if args.mode else sorted(FAMILIES)):
        families[f] = FAMILIES[f]
    if args.photographs:
        missing = [p for p in PHOTOGRAPHS if not os.path.exists(os.path.join(SKIMAGE_DATA, p))]
        if missing:
            sys.exit("missing %s: apt-get install python3-skimage" % ", ".join(missing))
        args.pictures += [os.path.join(SKIMAGE_DATA, p) for p in PHOTOGRAPHS]
    pictures = pictures_of(args.pictures or [os.path.join(ROOT, "samples")])
    if not pictures:
        sys.exit("no pictures")

    with tempfile.TemporaryDirectory() as work:
        prepared = prepare(pictures, work, not args.no_gray_copies)
        conv = os.path.join(work, "conv")
        os.mkdir(conv)
        sources = {name: load_linear(path) for name, path, _ in prepared}
        head = "%-30s %-22s %7s %7s %7s %7s %7s %7s" % ("mode", "pictures", "dE s=1", "dE s=2",
                                                       "dL*", "dC*", "src L*", "src C*")
        for family, modes in families.items():
            print("\n== %s%s" % (family, "  (--set " + " ".join(args.set) + ")"
                                 if args.set else ""))
            print(head)
            for entry in modes:
                platform, mode = entry.split("|", 1)
                rows = []
                for name, path, gray in prepared:
                    result = convert(args.cli, path, platform, mode, args.set, conv,
                                     args.threads, args.arg)
                    h, w = result.shape[:2]
                    m = measure(resize_linear(sources[name], w, h), result)
                    rows.append((name, gray, m))
                    if args.per_picture:
                        print("%-30s %-22s %7.2f %7.2f %+7.2f %+7.2f %7.2f %7.2f" %
                              ((entry[:30], name[:22]) + tuple(m)))
                groups = [("all", rows), ("colour", [r for r in rows if not r[1]]),
                          ("gray", [r for r in rows if r[1]])]
                for label, group in groups:
                    if not group:
                        continue
                    mean = np.mean([r[2] for r in group], axis=0)
                    print("%-30s %-22s %7.2f %7.2f %+7.2f %+7.2f %7.2f %7.2f" %
                          ((entry[:30], "mean %s (%d)" % (label, len(group))) + tuple(mean)))


if __name__ == "__main__":
    main()
