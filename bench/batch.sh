#!/usr/bin/env bash
# Times quarvelle-cut's batch form against the least the job can cost and against two
# well-known tools doing the same job:
#   bench/batch.sh [PHOTO...]
# Without photos it makes 8 photo-like 6000 x 4000 ones (baseline 4:2:0, quality 90). Every
# photo is cut at the 28 sizes of the settings window plus 1080x2400 and 1170x2532, centred.
#
# The floor is one `djpeg -dct float` decode of each photo plus one `cjpeg -dct float
# -quality 100` encode of each file written, divided by the number of cores: the JPEG work
# alone, as if it were shared out perfectly. ImageMagick runs in the fastest form found for
# a smooth resize of the full-size picture: one process per photo (as many at a time as
# there are cores), the photo decoded once and kept with -write mpr:, a bilinear
# -interpolative-resize of a clone per size. (Of the others tried, -scale took half as long
# again and -filter Triangle -resize three times as long; -sample is faster, but picks
# pixels instead of blending them.) vipsthumbnail runs once per photo and size,
# as many at a time as there are cores; it decodes at a reduced scale, so it does less work.
#
# The batch is also timed with --filter lanczos3, the high-quality reduction, against the same
# floor.
#
# Environment: QV_BUILD (build folder, default build/; built there when missing), ROUNDS
# (default 11): every command runs once a round, in turn, so that a change in the machine's
# load falls on all of them alike, and the medians are taken over the rounds; ImageMagick
# and vipsthumbnail, which take many seconds a run, only in the first SLOW_ROUNDS (default
# 3); PHOTOS (default 8) when the photos are made here.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QV_BUILD:-$repo/build}"
rounds="${ROUNDS:-11}"
slow_rounds="${SLOW_ROUNDS:-3}"
count="${PHOTOS:-8}"
cores="$(nproc)"

. "$repo/bench/common.sh"
qv_prepare batch.sh "$@"

work="$(mktemp -d "${TMPDIR:-/tmp}/qv-batch-XXXXXX")"
trap 'rm -rf "$work"' EXIT

photos=("$@")
if [ "${#photos[@]}" -eq 0 ]; then
  for ((i = 1; i <= count; i++)); do
    "$maker" "$work/photo$i.jpg"
    photos+=("$work/photo$i.jpg")
  done
fi
for photo in "${photos[@]}"; do
  [ -r "$photo" ] || { echo "batch.sh: cannot read $photo" >&2; exit 1; }
done

sizes=(32x32 69x65 96x65 100x100 101x65 101x67 101x80 120x160 120x96 128x115 128x128 128x130 128x144
       128x160 128x96 130x130 132x176 174x132 176x178 176x192 176x208 176x220 208x144 208x208 208x320
       220x176 240x320 320x240 1080x2400 1170x2532)

# The files the batch writes, once, and each of them as the picture cjpeg is given.
mkdir -p "$work/cut" "$work/ppm" "$work/vips" "$work/im"
"$cut" --quiet --center --sizes all --size 1080x2400 --size 1170x2532 --output-dir "$work/cut" "${photos[@]}" >/dev/null
written=0
for file in "$work"/cut/*.JPG; do
  djpeg -outfile "$work/ppm/$(basename "$file" .JPG).ppm" "$file"
  written=$((written + 1))
done

# The command lines, each run as `bash -c`, so that they are timed the same way.
photo_list="$work/photos.txt"
printf '%s\n' "${photos[@]}" >"$photo_list"
vips_list="$work/vips.txt"
: >"$vips_list"
for photo in "${photos[@]}"; do
  for size in "${sizes[@]}"; do
    printf '%s\t%s\t%s\n' "$photo" "$size" "$work/vips/$(basename "$photo" .jpg)-$size.jpg[Q=100]" >>"$vips_list"
  done
done
vips_script="$work/vips.sh"
cat >"$vips_script" <<'SCRIPT'
IFS="$(printf '\t')" read -r photo size output <<LINE
$1
LINE
exec vipsthumbnail "$photo" --size "$size" --smartcrop centre -o "$output"
SCRIPT
im_script="$work/im.sh"
{
  echo 'photo="$1"; name="$(basename "$1" .jpg)"'
  printf '%s' "exec $magick \"\$photo\" -write mpr:src +delete"
  for size in "${sizes[@]}"; do
    printf ' \\( mpr:src -interpolate bilinear -interpolative-resize %s^ -gravity center -extent %s -quality 100 -write "%s/$name-%s.jpg" +delete \\)' \
      "$size" "$size" "$work/im" "$size"
  done
  echo ' mpr:src null:'
} >"$im_script"

names=("djpeg of each photo" "cjpeg of each file" "quarvelle-cut" "quarvelle-cut --jobs 1" "ImageMagick" "vipsthumbnail"
       "quarvelle-cut --filter lanczos3")
commands=(
  "while read -r p; do djpeg -dct float -outfile /dev/null \"\$p\"; done <'$photo_list'"
  "for f in '$work'/ppm/*.ppm; do cjpeg -dct float -quality 100 -outfile /dev/null \"\$f\"; done"
  "xargs -d '\n' -a '$photo_list' '$cut' --quiet --center --sizes all --size 1080x2400 --size 1170x2532 --output-dir '$work/cut'"
  "xargs -d '\n' -a '$photo_list' '$cut' --quiet --jobs 1 --center --sizes all --size 1080x2400 --size 1170x2532 --output-dir '$work/cut'"
  "MAGICK_THREAD_LIMIT=1 xargs -P $cores -d '\n' -n 1 bash '$im_script' <'$photo_list'"
  "xargs -P $cores -d '\n' -n 1 bash '$vips_script' <'$vips_list'"
  "xargs -d '\n' -a '$photo_list' '$cut' --quiet --filter lanczos3 --center --sizes all --size 1080x2400 --size 1170x2532 --output-dir '$work/cut'"
)

cpu="$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//')"
echo "Machine: ${cpu:-unknown CPU}, $cores cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory, Linux $(uname -r)"
echo "Tools: $(djpeg -version 2>&1 | head -n 1), $("$magick" -version | head -n 1 | cut -d' ' -f2-3), $(vipsthumbnail --vips-version 2>&1 | head -n 1)"
echo "Job: ${#photos[@]} photos, ${#sizes[@]} sizes, $written files; medians of $rounds rounds (ImageMagick and vipsthumbnail: $slow_rounds)."
echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

# Wall seconds of one bash -c run.
seconds() {
  local start end
  start="$EPOCHREALTIME"
  bash -c "$1" >/dev/null 2>"$work/err" || { echo "batch.sh: failed: $1" >&2; cat "$work/err" >&2; return 1; }
  end="$EPOCHREALTIME"
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f\n", b - a}'
}
median() {
  sort -g | awk '{v[NR] = $1} END {printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
peak_mib() {
  /usr/bin/time -f %M -o "$work/rss" bash -c "$1" >/dev/null 2>&1
  awk '{printf "%.1f", $1 / 1024}' "$work/rss"
}

for i in "${!commands[@]}"; do : >"$work/samples.$i"; done
seconds "${commands[2]}" >/dev/null # warm the page cache
for ((round = 0; round < rounds; round++)); do
  for i in "${!commands[@]}"; do
    [ "$i" -lt 4 ] || [ "$i" -eq 6 ] || [ "$round" -lt "$slow_rounds" ] || continue
    seconds "${commands[$i]}" >>"$work/samples.$i"
  done
done
medians=()
for i in "${!commands[@]}"; do
  medians+=("$(median <"$work/samples.$i")")
done
floor="$(awk -v a="${medians[0]}" -v b="${medians[1]}" -v c="$cores" 'BEGIN {printf "%.3f", (a + b) / c}')"

# The memory allowed: per worker the largest file, the fitted pictures of all sizes and 40 MiB.
limit_mib=0
for photo in "${photos[@]}"; do
  w="$(vipsheader -f width "$photo")"
  h="$(vipsheader -f height "$photo")"
  bytes="$(stat -L -c %s "$photo")"
  mib="$(printf '%s\n' "${sizes[@]}" | awk -F x -v w="$w" -v h="$h" -v file="$bytes" '
    { a = w / h; tw = $1; th = $2
      if (tw > th * a) { dw = tw; dh = int(tw / a + 0.5) } else { dw = int(th * a + 0.5); dh = th }
      total += int((dw * 3 + 3) / 4) * 4 * dh }
    END { printf "%.1f", (file + total) / 1048576 + 40 }')"
  limit_mib="$(awk -v a="$limit_mib" -v b="$mib" 'BEGIN {print (b > a) ? b : a}')"
done
limit_mib="$(awk -v a="$limit_mib" -v c="$cores" 'BEGIN {printf "%.1f", a * c}')"

echo "Load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
printf '| %-44s | %10s | %9s | %15s |\n' "command" "median (s)" "x floor" "peak memory MiB"
printf '|%s|%s|%s|%s|\n' "----------------------------------------------" "------------" "-----------" "-----------------"
printf '| %-44s | %10s | %9s | %15s |\n' "floor: (djpeg + cjpeg) / $cores cores" "$floor" "1.00" ""
printf '| %-44s | %10s | %9s | %15s |\n' "  djpeg -dct float of each photo" "${medians[0]}" "" ""
printf '| %-44s | %10s | %9s | %15s |\n' "  cjpeg -dct float -quality 100 of each file" "${medians[1]}" "" ""
peaks=()
for i in 2 3 6 4 5; do
  peak="$(peak_mib "${commands[$i]}")"
  peaks+=("$peak")
  label="${names[$i]}"
  case "$i" in
    2) label="quarvelle-cut ($cores workers)" ;;
    6) label="quarvelle-cut --filter lanczos3" ;;
    4) label="ImageMagick, $cores at a time (largest)" ;;
    5) label="vipsthumbnail, $cores at a time (largest)" ;;
  esac
  ratio="$(awk -v a="${medians[$i]}" -v b="$floor" 'BEGIN {printf "%.2f", a / b}')"
  printf '| %-44s | %10s | %9s | %15s |\n' "$label" "${medians[$i]}" "$ratio" "$peak"
done
echo

status=0
ok() { awk -v a="$1" -v b="$2" 'BEGIN {print (a <= b) ? "yes" : "no"}'; }
time_ok="$(ok "${medians[2]}" "$(awk -v f="$floor" 'BEGIN {print 1.25 * f}')")"
speedup="$(awk -v a="${medians[4]}" -v b="${medians[2]}" 'BEGIN {printf "%.1f", a / b}')"
im_ok="$(awk -v s="$speedup" 'BEGIN {print (s >= 10) ? "yes" : "no"}')"
memory_ok="$(ok "${peaks[0]}" "$limit_mib")"
echo "quarvelle-cut time <= 1.25 x floor: $time_ok"
echo "quarvelle-cut $speedup x as fast as ImageMagick (at least 10): $im_ok"
echo "quarvelle-cut memory <= $limit_mib MiB ($cores x (file + fitted pictures + 40 MiB)): $memory_ok"
lanczos_ratio="$(awk -v a="${medians[6]}" -v b="$floor" 'BEGIN {printf "%.2f", a / b}')"
lanczos_ok="$(ok "${medians[6]}" "$(awk -v f="$floor" 'BEGIN {print 1.4 * f}')")"
echo "quarvelle-cut --filter lanczos3 time <= 1.4 x floor ($lanczos_ratio x): $lanczos_ok"
[ "$time_ok" = yes ] && [ "$im_ok" = yes ] && [ "$memory_ok" = yes ] && [ "$lanczos_ok" = yes ] || status=3
exit "$status"
