#!/usr/bin/env bash
# Times quarvelle-cut against the JPEG library's own full-size decode and two well-known
# tools, side by side, on each photo and the targets 176x220, 320x240 and 1080x2400, with the
# bilinear resize and with the high-quality reduction (--filter lanczos3):
#   bench/compare.sh [PHOTO...]
# Without a photo it makes a photo-like 6000 x 4000 one (baseline 4:2:0, quality 90), and
# the same photo tagged with EXIF orientation 6, as a phone stores a portrait photo: that one
# is cut turned upright, and must take at most 1.15 times the untagged photo's time. It also
# makes a 4000 x 3000 HEIC (heif-enc at quality 90, from a photo like the others) and times
# quarvelle-cut at 1080x2400 against libheif's own decode of it (qv-heif-decode): at most
# 1.2 times that, in at most 6 bytes a pixel and 64 MiB.
# It prints each command's median wall time and peak memory and their ratio to the floor,
# `djpeg -dct float -outfile /dev/null PHOTO`. It checks that the bilinear cuts take at most
# 1.10 times the floor at 176x220 and 320x240, and that the Lanczos cuts take at most 1.3
# times the bilinear ones and less than vipsthumbnail, at every target.
#
# Environment: QV_BUILD (build folder, default build/; quarvelle-cut is built there when
# missing), ROUNDS (default 5) of RUNS_PER_ROUND (default 4) timed runs of every command,
# WARMUP (warm-up runs before the first round, default 3), TARGETS (default
# "176x220 320x240 1080x2400").
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QV_BUILD:-$repo/build}"
rounds="${ROUNDS:-5}"
per_round="${RUNS_PER_ROUND:-4}"
warmup="${WARMUP:-3}"
targets="${TARGETS:-176x220 320x240 1080x2400}"

. "$repo/bench/common.sh"
qv_prepare compare.sh "$@"

work="$(mktemp -d "${TMPDIR:-/tmp}/qv-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT

photos=("$@")
tagged=""
if [ "${#photos[@]}" -eq 0 ]; then
  "$maker" "$work/photo-6000x4000.jpg"
  "$maker" "$work/photo-6000x4000-orientation-6.jpg" 6000 4000 6
  photos=("$work/photo-6000x4000.jpg" "$work/photo-6000x4000-orientation-6.jpg")
  tagged="${photos[1]}"
fi
# quarvelle-cut's median in ms for each photo and target.
declare -A cut_ms

# Peak resident memory in KiB of a command line quoted for the shell: the median of three runs.
peak_kib() {
  local values=()
  for _ in 1 2 3; do
    eval "/usr/bin/time -f %M -o $(quote "$work/rss") $1" >/dev/null 2>&1
    values+=("$(tail -n 1 "$work/rss")")
  done
  printf '%s\n' "${values[@]}" | sort -n | sed -n 2p
}

quote() {
  printf "'%s'" "${1//\'/\'\\\'\'}"
}

cpu="$(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//')"
echo "Machine: ${cpu:-unknown CPU}, $(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory, Linux $(uname -r)"
echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Tools: $(djpeg -version 2>&1 | head -n 1), $("$magick" -version | head -n 1 | cut -d' ' -f2-3), $(vipsthumbnail --vips-version 2>&1 | head -n 1), $(hyperfine --version)"
echo "Timing: hyperfine, $rounds rounds of $per_round runs of every command in turn, medians of all $((rounds * per_round)) runs; peak memory (maximum resident set) is the median of 3 runs."

status=0
checks=()
for photo in "${photos[@]}"; do
  [ -r "$photo" ] || { echo "compare.sh: cannot read $photo" >&2; exit 1; }
  width="$(vipsheader -f width "$photo")"
  height="$(vipsheader -f height "$photo")"
  bytes="$(stat -L -c %s "$photo")"
  limit_kib=$(( (width * height * 3 + bytes + 40 * 1048576) / 1024 ))
  q="$(quote "$photo")"
  for target in $targets; do
    names=("djpeg (floor)" "quarvelle-cut" "quarvelle-cut --center" "--filter lanczos3" "lanczos3 --center"
           "ImageMagick convert" "vipsthumbnail")
    commands=(
      "djpeg -dct float -outfile /dev/null $q"
      "$(quote "$cut") --size $target $q $(quote "$work/cut.jpg")"
      "$(quote "$cut") --size $target --center $q $(quote "$work/center.jpg")"
      "$(quote "$cut") --filter lanczos3 --size $target $q $(quote "$work/lanczos.jpg")"
      "$(quote "$cut") --filter lanczos3 --size $target --center $q $(quote "$work/lanczos-center.jpg")"
      "$(quote "$magick") $q -filter Triangle -resize ${target}^ -crop ${target}+0+0 +repage $(quote "$work/im.jpg")"
      "vipsthumbnail $q --size $target --smartcrop centre -o $(quote "$work/vips.jpg")"
    )
    # Rounds of a few runs of every command, so that a change in the machine's load
    # falls on all of them alike; the medians are taken over every round's runs.
    rm -f "$work"/samples.*
    for ((round = 0; round < rounds; round++)); do
      hyperfine -N --style none --warmup "$([ "$round" -eq 0 ] && echo "$warmup" || echo 1)" \
        --runs "$per_round" --export-json "$work/times.json" "${commands[@]}" >/dev/null 2>"$work/hyperfine.err" ||
        { cat "$work/hyperfine.err" >&2; exit 1; }
      # Each result's "times" list, in the order the commands were given.
      awk -v dir="$work" '
        /"times": *\[/ { inside = 1; n++; next }
        inside && /\]/ { inside = 0; next }
        inside { gsub(/[ ,]/, ""); print > (dir "/samples." (n - 1)) }' "$work/times.json"
    done
    medians=()
    for i in "${!commands[@]}"; do
      medians+=("$(sort -g "$work/samples.$i" | awk '{v[NR] = $1} END {m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m * 1000}')")
    done
    echo
    echo "$(basename "$photo") (${width} x ${height}, $bytes bytes) -> $target"
    echo
    printf '| %-24s | %12s | %9s | %15s |\n' "command" "median (ms)" "x floor" "peak memory MiB"
    printf '|%s|%s|%s|%s|\n' "--------------------------" "--------------" "-----------" "-----------------"
    cut_ms["$photo|$target"]="${medians[1]}"
    for i in "${!names[@]}"; do
      peak="$(peak_kib "${commands[$i]}")"
      ratio="$(awk -v a="${medians[$i]}" -v b="${medians[0]}" 'BEGIN {printf "%.2f", a / b}')"
      mib="$(awk -v k="$peak" 'BEGIN {printf "%.1f", k / 1024}')"
      printf '| %-24s | %12s | %9s | %15s |\n' "${names[$i]}" "${medians[$i]}" "$ratio" "$mib"
      if [ "$i" -ge 1 ] && [ "$i" -le 2 ] && { [ "$target" = 176x220 ] || [ "$target" = 320x240 ]; }; then
        ok_time="$(awk -v a="${medians[$i]}" -v b="${medians[0]}" 'BEGIN {print (a <= 1.10 * b) ? "yes" : "no"}')"
        ok_memory="$( [ "$peak" -le "$limit_kib" ] && echo yes || echo no)"
        [ "$ok_time" = yes ] && [ "$ok_memory" = yes ] || status=3
        checks+=("${names[$i]} at $target on $(basename "$photo"): time <= 1.10 x floor: $ok_time; memory <= $(awk -v k="$limit_kib" 'BEGIN {printf "%.1f", k / 1024}') MiB: $ok_memory")
      fi
      if [ "$i" -ge 3 ] && [ "$i" -le 4 ]; then
        # Against the same cut with the bilinear resize, and against vipsthumbnail.
        bilinear="${medians[$((i - 2))]}"
        ratio_b="$(awk -v a="${medians[$i]}" -v b="$bilinear" 'BEGIN {printf "%.2f", a / b}')"
        ok_b="$(awk -v r="$ratio_b" 'BEGIN {print (r <= 1.3) ? "yes" : "no"}')"
        ok_v="$(awk -v a="${medians[$i]}" -v b="${medians[6]}" 'BEGIN {print (a < b) ? "yes" : "no"}')"
        [ "$ok_b" = yes ] && [ "$ok_v" = yes ] || status=3
        checks+=("quarvelle-cut ${names[$i]} at $target on $(basename "$photo"): $ratio_b x bilinear <= 1.3: $ok_b; faster than vipsthumbnail (${medians[$i]} < ${medians[6]} ms): $ok_v")
      fi
    done
  done
done
if [ -n "$tagged" ]; then
  heic="$work/photo-4000x3000.heic"
  "$maker" "$work/photo-4000x3000.jpg" 4000 3000
  heif-enc -q 90 -o "$heic" "$work/photo-4000x3000.jpg" >/dev/null
  q="$(quote "$heic")"
  names=("libheif decode (floor)" "quarvelle-cut 1080x2400")
  commands=("$(quote "$heif_decode") $q" "$(quote "$cut") --size 1080x2400 $q $(quote "$work/heic.jpg")")
  rm -f "$work"/samples.*
  for ((round = 0; round < rounds; round++)); do
    hyperfine -N --style none --warmup 1 --runs "$per_round" --export-json "$work/times.json" "${commands[@]}" \
      >/dev/null 2>"$work/hyperfine.err" || { cat "$work/hyperfine.err" >&2; exit 1; }
    awk -v dir="$work" '
      /"times": *\[/ { inside = 1; n++; next }
      inside && /\]/ { inside = 0; next }
      inside { gsub(/[ ,]/, ""); print > (dir "/samples." (n - 1)) }' "$work/times.json"
  done
  echo
  echo "$(basename "$heic") (4000 x 3000, $(stat -c %s "$heic") bytes, libheif $(dpkg-query -W -f '${Version}' libheif1 2>/dev/null || echo unknown), heif-enc -q 90) -> 1080x2400"
  echo
  printf '| %-24s | %12s | %9s | %15s |\n' "command" "median (ms)" "x floor" "peak memory MiB"
  printf '|%s|%s|%s|%s|\n' "--------------------------" "--------------" "-----------" "-----------------"
  floor=""
  for i in "${!names[@]}"; do
    median="$(sort -g "$work/samples.$i" | awk '{v[NR] = $1} END {m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m * 1000}')"
    [ -n "$floor" ] || floor="$median"
    peak="$(peak_kib "${commands[$i]}")"
    ratio="$(awk -v a="$median" -v b="$floor" 'BEGIN {printf "%.2f", a / b}')"
    printf '| %-24s | %12s | %9s | %15s |\n' "${names[$i]}" "$median" "$ratio" "$(awk -v k="$peak" 'BEGIN {printf "%.1f", k / 1024}')"
  done
  limit_kib=$(( (4000 * 3000 * 6 + 64 * 1048576) / 1024 ))
  ok_time="$(awk -v r="$ratio" 'BEGIN {print (r <= 1.20) ? "yes" : "no"}')"
  ok_memory="$( [ "$peak" -le "$limit_kib" ] && echo yes || echo no)"
  [ "$ok_time" = yes ] && [ "$ok_memory" = yes ] || status=3
  checks+=("quarvelle-cut at 1080x2400 on the HEIC: time <= 1.20 x libheif's decode: $ok_time ($ratio); memory <= $((limit_kib / 1024)) MiB: $ok_memory")

  for target in $targets; do
    plain="${cut_ms[${photos[0]}|$target]}"
    turned="${cut_ms[$tagged|$target]}"
    ratio="$(awk -v a="$turned" -v b="$plain" 'BEGIN {printf "%.2f", a / b}')"
    ok="$(awk -v r="$ratio" 'BEGIN {print (r <= 1.15) ? "yes" : "no"}')"
    [ "$ok" = yes ] || status=3
    checks+=("quarvelle-cut at $target, tagged 6 against untagged: $turned / $plain ms = $ratio x <= 1.15: $ok")
  done
fi
echo
printf '%s\n' "${checks[@]}"
exit "$status"
