#!/usr/bin/env bash
# Sets up, builds and starts Quarvelle:
#   ./quarvelle.sh        install what is missing, build in Release, start the program
#   ./quarvelle.sh test   install what is missing, build, run every test with CTest: the
#                         Release build (its Debian package built and checked too), then the
#                         same suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#                         (build-asan), then each fuzz target for 30 seconds (build-fuzz,
#                         clang). Exits non-zero if any run failed.
#   ./quarvelle.sh package  install what is missing, build, make build/quarvelle_*.deb
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

mode="${1:-run}"
case "$mode" in
  run|test|package) ;;
  *) echo "usage: $0 [test|package]" >&2; exit 2 ;;
esac

packages=(
  cmake g++ ninja-build pkg-config
  libjpeg62-turbo-dev libjpeg-turbo-progs
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool
  clang-14 libclang-rt-14-dev
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
  dpkg-dev file lintian desktop-file-utils appstream librsvg2-bin
  libpng-dev libwebp-dev libheif-dev libheif-examples
  libvips-tools imagemagick hyperfine
  sway grim qt6-wayland libwayland-dev wayland-protocols libxkbcommon-dev jq
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Quarvelle needs some Debian packages; run as root:"
    echo "  apt-get install -y ${missing[*]}"
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel "$jobs"

if [ "$mode" = package ]; then
  (cd build && cpack -G DEB)
  echo "install it with: sudo apt install ./build/$(cd build && ls quarvelle_*.deb | tail -n 1)"
  exit 0
fi

if [ "$mode" = test ]; then
  failed=()
  ctest --test-dir build --output-on-failure --parallel "$jobs" || failed+=(build)

  # The whole suite again under the sanitizers; leaks inside Qt's and fontconfig's own
  # caches are suppressed, nothing of ours.
  export ASAN_OPTIONS="detect_leaks=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/reliability/lsan-qt.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=ON -DQV_BUILD_BENCH=OFF >/dev/null
  cmake --build build-asan --parallel "$jobs"
  ctest --test-dir build-asan --output-on-failure --parallel "$jobs" || failed+=(build-asan)

  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
    -DCMAKE_CXX_COMPILER=clang++-14 -DQV_FUZZ=ON -DQV_BUILD_APP=OFF -DQV_BUILD_BENCH=OFF >/dev/null
  cmake --build build-fuzz --parallel "$jobs" --target fuzz_codec fuzz_naming qv-seed-corpus
  ctest --test-dir build-fuzz -L fuzz --output-on-failure --parallel "$jobs" || failed+=(build-fuzz)

  if [ "${#failed[@]}" -gt 0 ]; then
    # The last lines are CTest's own summary of what failed, run by run.
    for dir in "${failed[@]}"; do
      echo "Failed in $dir; running its failed tests again:"
      ctest --test-dir "$dir" --rerun-failed --output-on-failure || true
    done
    exit 1
  fi
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set); to run without one, use: xvfb-run ./quarvelle.sh" >&2
  exit 1
fi
exec build/app/quarvelle
