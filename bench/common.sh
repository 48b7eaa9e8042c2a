# What the benchmark scripts share: the tools they time beside quarvelle-cut, and the
# programs they build. Sourced by them with repo and build set; `qv_prepare NAME PHOTOS...`
# sets magick, cut and maker, or exits with the one apt-get line that is missing.

qv_prepare() {
  local script="$1"
  shift
  # ImageMagick under its Debian binary name where there is one, so that the tool itself is
  # timed and not whatever shell wrapper comes first in PATH.
  magick=""
  local candidate
  for candidate in convert-im6.q16 magick convert; do
    if command -v "$candidate" >/dev/null 2>&1; then
      magick="$(command -v "$candidate")"
      break
    fi
  done

  local missing=()
  command -v djpeg >/dev/null 2>&1 && command -v cjpeg >/dev/null 2>&1 || missing+=(libjpeg-turbo-progs)
  [ -n "$magick" ] || missing+=(imagemagick)
  command -v vipsthumbnail >/dev/null 2>&1 && command -v vipsheader >/dev/null 2>&1 || missing+=(libvips-tools)
  [ "$script" != compare.sh ] || command -v hyperfine >/dev/null 2>&1 || missing+=(hyperfine)
  [ -x /usr/bin/time ] || missing+=(time)
  [ "$script" != compare.sh ] || command -v heif-enc >/dev/null 2>&1 || missing+=(libheif-examples)
  command -v cmake >/dev/null 2>&1 && command -v ninja >/dev/null 2>&1 || missing+=(cmake ninja-build)
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "$script needs some Debian packages; run as root:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    exit 1
  fi

  cut="$build/tools/quarvelle-cut"
  maker="$build/bench/qv-bench-photo"
  heif_decode="$build/bench/qv-heif-decode"
  if [ ! -x "$cut" ] || [ ! -x "$heif_decode" ] || { [ "$#" -eq 0 ] && [ ! -x "$maker" ]; }; then
    echo "Building quarvelle-cut in $build ..." >&2
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target quarvelle-cut qv-bench-photo qv-heif-decode >/dev/null
  fi
}
