#!/usr/bin/env python3
"""The most memory a hostile native file of about a megabyte makes `velmora-cli import` take,
per format: every finished mode's files, each header word in turn set to FFFF (as written and
padded to 1 MiB), cut to its first 256 bytes, and random bytes under the format's name.

    scripts/loader-memory.py CLI [OLD_CLI]

Prints one row per file extension: the peak resident size of the worst variant in MB (and
with OLD_CLI, the same for that build beside it), and which variant it was."""
import os
import random
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

MIB = 1 << 20
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def modes(cli):
    out = subprocess.run([cli, "list"], capture_output=True, text=True, check=True).stdout
    for line in out.splitlines():
        f = line.split("\t")
        if len(f) >= 4 and "preview only" not in line and f[2] != "":
            yield f[0], f[1]


def peak_kb(cli, path, out):
    r = subprocess.run(["/usr/bin/time", "-f", "%M", cli, "import", path, "-o", out],
                       capture_output=True, text=True)
    return int(r.stderr.strip().splitlines()[-1])


def variants(data):
    rnd = random.Random(len(data))
    for at in range(0, min(len(data) - 1, 32), 2):
        for word in (b"\xff\xff", b"\xff\x1f"):  # the largest, and 8191 (a size some accept)
            v = bytearray(data)
            v[at:at + 2] = word
            name = f"word {at} = {word[1]:02X}{word[0]:02X}"
            if word == b"\xff\xff":
                yield name, bytes(v)
            yield name + ", 1 MiB", bytes(v) + b"\xff" * max(0, MIB - len(v))
    yield "first 256 bytes", data[:256]
    yield "random 1 MiB", rnd.randbytes(MIB)


def main():
    clis = [os.path.abspath(c) for c in sys.argv[1:3]]
    if not clis:
        sys.exit(__doc__)
    work = tempfile.mkdtemp()
    try:
        jobs = []  # (ext, label, folder, name)
        for n, (platform, mode) in enumerate(modes(clis[0])):
            made = os.path.join(work, f"m{n}")
            os.makedirs(made)
            subprocess.run([clis[0], "convert", os.path.join(ROOT, "samples/astronaut.png"), "-p",
                            platform, "-m", mode, "-o", os.path.join(made, "pic")],
                           capture_output=True, check=True)
            files = sorted(os.listdir(made))
            for main_file in files:
                data = open(os.path.join(made, main_file), "rb").read()
                ext = os.path.splitext(main_file)[1]
                for k, (label, bytes_) in enumerate(variants(data)):
                    folder = os.path.join(work, f"v{n}-{main_file}-{k}")
                    os.makedirs(folder)
                    for other in files:
                        if other != main_file:
                            shutil.copy(os.path.join(made, other), folder)
                    open(os.path.join(folder, main_file), "wb").write(bytes_)
                    jobs.append((f"{ext} ({platform} {mode})", label, folder, main_file))

        def run(job):
            _, _, folder, name = job
            return [peak_kb(c, os.path.join(folder, name), os.path.join(folder, "out.png"))
                    for c in clis]

        with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
            peaks = list(pool.map(run, jobs))
        worst = {}  # format -> per build: (peak KB, variant)
        for job, p in zip(jobs, peaks):
            key = job[0].split(" (")[0]
            row = worst.setdefault(key, [(0, "")] * len(clis))
            for i, kb in enumerate(p):
                if kb > row[i][0]:
                    row[i] = (kb, f"{job[1]} ({job[0].split(' (', 1)[1]}")
        names = ["now"] + (["before"] if len(clis) > 1 else [])
        print("| format | " + " | ".join(f"MB {n} | worst variant {n}" for n in names) + " |")
        print("|---|" + "---|---|" * len(names))
        for key in sorted(worst):
            cells = [key]
            for kb, variant in worst[key]:
                cells += [f"{kb / 1024:.1f}", variant]
            print("| " + " | ".join(cells) + " |")
        print(f"{len(jobs)} variants of {len(worst)} formats")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
