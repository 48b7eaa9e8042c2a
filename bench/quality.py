#!/usr/bin/env python3
"""Grating measurement of quarvelle-cut's reductions against vipsthumbnail.

   bench/quality.py [--cut PATH] [--filter lanczos3] [--factors 1.7,4,18] [--keep DIR]

Makes photos of sinusoidal gratings (grey 128 +- 100, vertical and horizontal stripes) of
4:3 sizes that reduce to 320 x 240 by each factor, writes them as JPEG at quality 100 with
cjpeg, cuts each with `quarvelle-cut --filter F --size 320x240` and thumbnails it with
`vipsthumbnail --size 320x240` (libvips' Lanczos-3 after shrink-on-load), both written as
JPEG at quality 100 and read back with djpeg. The contrast left in each output is found by
a least-squares fit of a sinusoid at the frequency it must have there: the grating's own
below the target's Nyquist frequency, the one it folds back to above it. Frequencies are
given as multiples of that Nyquist frequency (0.5 cycles per output pixel).

Checks, at every factor and both stripe directions, over each band's gratings:
  fold-back   from 1.75 x Nyquist on, the largest contrast folded back no more than
              vipsthumbnail's largest
  passband    at and below half Nyquist, the mean contrast at least 0.998 x vipsthumbnail's
  sharpness   0.6 to 0.9 x Nyquist, the mean contrast at least 0.99 x vipsthumbnail's
Between Nyquist and 1.75 x Nyquist nothing is judged: it is Lanczos-3's transition band,
where no filter of its support does much better than vipsthumbnail (at 1.6 x Nyquist both
leave about 1 % of the contrast); the grating there is still shown.
Exit status 0 when all hold, 3 when one does not.
"""

import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile

TARGET = (320, 240)
AMPLITUDE = 100.0
PASSBAND = [0.1, 0.2, 0.3, 0.4, 0.5]
SHARPNESS = [0.6, 0.7, 0.8, 0.9]
FOLDING = [1.6, 1.75, 2.5, 3.5, 5.5, 7.5]


def grating_pgm(path, width, height, cycles, vertical):
    """cycles per source pixel; vertical stripes vary along x, horizontal ones along y."""
    def value(i):
        return max(0, min(255, round(128 + AMPLITUDE * math.cos(2 * math.pi * cycles * (i + 0.5) + 0.3))))

    with open(path, "wb") as out:
        out.write(b"P5\n%d %d\n255\n" % (width, height))
        if vertical:
            row = bytes(value(x) for x in range(width))
            out.write(row * height)
        else:
            for y in range(height):
                out.write(bytes([value(y)]) * width)


def read_pnm(path):
    """Grey values (the green of a colour picture) as rows of numbers."""
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    at += 1
    kind, width, height = fields[0], int(fields[1]), int(fields[2])
    step = 3 if kind == b"P6" else 1
    pixels = data[at:]
    return [[pixels[(y * width + x) * step + (step // 2)] for x in range(width)] for y in range(height)]


def contrast(profile, cycles):
    """Amplitude of the sinusoid of this frequency (cycles per pixel) fitted to the profile,
    over the grating's amplitude."""
    n = len(profile)
    # Normal equations of a + b cos + c sin.
    rows = [(1.0, math.cos(2 * math.pi * cycles * i), math.sin(2 * math.pi * cycles * i)) for i in range(n)]
    m = [[sum(r[i] * r[j] for r in rows) for j in range(3)] for i in range(3)]
    v = [sum(r[i] * p for r, p in zip(rows, profile)) for i in range(3)]
    # Gaussian elimination, three unknowns.
    for col in range(3):
        pivot = max(range(col, 3), key=lambda r: abs(m[r][col]))
        m[col], m[pivot] = m[pivot], m[col]
        v[col], v[pivot] = v[pivot], v[col]
        for r in range(3):
            if r != col:
                f = m[r][col] / m[col][col]
                m[r] = [a - f * b for a, b in zip(m[r], m[col])]
                v[r] -= f * v[col]
    b, c = v[1] / m[1][1], v[2] / m[2][2]
    return math.hypot(b, c) / AMPLITUDE


def profile_of(rows, vertical, margin=12):
    """The output averaged across the stripes, away from the edges."""
    height, width = len(rows), len(rows[0])
    if vertical:
        band = rows[height // 4: 3 * height // 4]
        return [sum(r[x] for r in band) / len(band) for x in range(margin, width - margin)]
    band = range(width // 4, 3 * width // 4)
    return [sum(rows[y][x] for x in band) / len(band) for y in range(margin, height - margin)]


def run(args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def main():
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--cut", default=os.path.join(os.environ.get("QV_BUILD", os.path.join(repo, "build")),
                                                      "tools", "quarvelle-cut"))
    parser.add_argument("--filter", default="lanczos3")
    parser.add_argument("--factors", default="1.7,4,18")
    parser.add_argument("--keep", help="keep the photos and outputs in this folder")
    parser.add_argument("--lossless", action="store_true",
                        help="read the fitted pictures as PPM (--display-ppm, vips' ppmsave) instead of the JPEGs")
    options = parser.parse_args()
    for tool in ("cjpeg", "djpeg", "vipsthumbnail"):
        if not shutil.which(tool):
            sys.exit("quality.py needs %s (apt-get install -y libjpeg-turbo-progs libvips-tools)" % tool)
    work = options.keep or tempfile.mkdtemp(prefix="qv-quality-")
    os.makedirs(work, exist_ok=True)
    failures, summary = [], []
    print("quarvelle-cut --filter %s against %s, 320x240, contrast left of a grating of 100 on 128"
          % (options.filter, subprocess.run(["vipsthumbnail", "--vips-version"], capture_output=True,
                                            text=True).stdout.strip()))
    try:
        for factor in (float(f) for f in options.factors.split(",")):
            width, height = round(TARGET[0] * factor), round(TARGET[1] * factor)
            print("\nreduction %.4g: %d x %d -> %d x %d" % (factor, width, height, *TARGET))
            print("| stripes    | x Nyquist | band      | quarvelle | vips    |")
            print("|------------|-----------|-----------|-----------|---------|")
            bands = {}
            for vertical in (True, False):
                length = width if vertical else height
                for nu in PASSBAND + SHARPNESS + FOLDING:
                    cycles = nu * 0.5 * TARGET[0 if vertical else 1] / length
                    if cycles >= 0.5:
                        continue
                    base = os.path.join(work, "g-%g-%s-%g" % (factor, "v" if vertical else "h", nu))
                    grating_pgm(base + ".pgm", width, height, cycles, vertical)
                    run(["cjpeg", "-quality", "100", "-outfile", base + ".jpg", base + ".pgm"])
                    cut = [options.cut, "--filter", options.filter, "--size", "%dx%d" % TARGET]
                    if options.lossless:
                        cut += ["--display-ppm", base + "-qv.pnm"]
                    run(cut + [base + ".jpg", base + "-qv.jpg"])
                    run(["vipsthumbnail", base + ".jpg", "--size", "%dx%d" % TARGET, "-o",
                         base + ("-vips.pnm" if options.lossless else "-vips.jpg[Q=100]")])
                    results = []
                    for name in ("qv", "vips"):
                        if not options.lossless:
                            run(["djpeg", "-pnm", "-outfile", base + "-" + name + ".pnm", base + "-" + name + ".jpg"])
                        rows = read_pnm(base + "-" + name + ".pnm")
                        # What the grating becomes at the output: its frequency, folded back
                        # about the nearest whole number of cycles per pixel when beyond Nyquist.
                        out = cycles * length / (len(rows[0]) if vertical else len(rows))
                        seen = abs(out - round(out))
                        results.append(contrast(profile_of(rows, vertical), seen))
                    q, v = results
                    band = ("passband" if nu <= 0.5 else "sharpness" if nu < 1 else
                            "fold-back" if nu >= 1.75 else "-")
                    bands.setdefault(band, []).append((q, v))
                    print("| %-10s | %9.4g | %-9s | %9.4f | %7.4f |"
                          % ("vertical" if vertical else "horizontal", nu, band, q, v))
                # The three judgements over each band's gratings.
                mean = lambda pairs, k: sum(p[k] for p in pairs) / len(pairs)
                stripes = "vertical" if vertical else "horizontal"
                judged = [
                    ("passband", "mean contrast >= vips' - 0.2 %", mean, lambda q, v: q >= v * 0.998),
                    ("sharpness", "mean contrast >= vips' - 1 %", mean, lambda q, v: q >= v * 0.99),
                    ("fold-back", "largest contrast <= vips'", lambda pairs, k: max(p[k] for p in pairs),
                     lambda q, v: q <= v),
                ]
                for band, rule, measure, holds in judged:
                    if band not in bands:
                        continue
                    q, v = measure(bands[band], 0), measure(bands[band], 1)
                    ok = holds(q, v)
                    summary.append("reduction %-4g %-10s %-9s %.4f against %.4f (%s): %s"
                                   % (factor, stripes, band, q, v, rule, "yes" if ok else "NO"))
                    if not ok:
                        failures.append(summary[-1])
                bands = {}
    finally:
        if not options.keep:
            shutil.rmtree(work, ignore_errors=True)
    print()
    print("\n".join(summary))
    print()
    if failures:
        print("Not held:\n  " + "\n  ".join(failures))
        return 3
    print("All held.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
