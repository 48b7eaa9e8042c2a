#!/usr/bin/env bash
# Makes docs/side-by-side.png for the README: two photos cut to 320x240 by quarvelle-cut with
# the bilinear resize (left) and the high-quality Lanczos-3 reduction (right). The first is a
# zone plate of 5760 x 4320 (an 18-fold reduction: rings finer than the wallpaper can show
# fold back as moiré), the second the benchmarks' photo-like 6000 x 4000 one with grass and
# noise (a 16.7-fold reduction), cut in its middle.
#   docs/side-by-side.sh [OUTPUT.png]
# Environment: QV_BUILD (build folder, default build/, where quarvelle-cut and qv-bench-photo
# are built). Needs libvips-tools and imagemagick.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QV_BUILD:-$repo/build}"
output="${1:-$repo/docs/side-by-side.png}"
cut="$build/tools/quarvelle-cut"
maker="$build/bench/qv-bench-photo"
for tool in "$cut" "$maker"; do
  [ -x "$tool" ] || { echo "side-by-side.sh: build $tool first (cmake --build build)" >&2; exit 1; }
done
magick="$(command -v convert-im6.q16 || command -v magick || command -v convert)"

work="$(mktemp -d "${TMPDIR:-/tmp}/qv-side-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# A zone plate: grey 128 +- 110, its rings' frequency growing to half a cycle per pixel at the edges.
vips zone "$work/zone.v" 5760 4320
vips linear "$work/zone.v" "$work/zone8.v" 110 128 --uchar
vips jpegsave "$work/zone8.v" "$work/zone.jpg" --Q 95
"$maker" "$work/photo.jpg"

for photo in zone photo; do
  for filter in bilinear lanczos3; do
    "$cut" --size 320x240 --center --filter "$filter" "$work/$photo.jpg" "$work/$photo-$filter.jpg" >/dev/null
  done
done
label() {
  # DejaVu Sans, which fonts-dejavu-core installs, rather than a PostScript font that may be missing.
  "$magick" "$1" -background white -fill black -font /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
    -gravity north -splice 0x18 -pointsize 12 -annotate +0+2 "$2" "$3"
}
for photo in zone photo; do
  label "$work/$photo-bilinear.jpg" "--filter bilinear (the default)" "$work/$photo-b.png"
  label "$work/$photo-lanczos3.jpg" "--filter lanczos3 (\"High-quality reduction\")" "$work/$photo-l.png"
  "$magick" "$work/$photo-b.png" "$work/$photo-l.png" -background white -splice 8x0 +append -chop 8x0 "$work/$photo.png"
done
"$magick" "$work/zone.png" "$work/photo.png" -background white -splice 0x8 -append -chop 0x8 -strip "$output"
echo "$output"
