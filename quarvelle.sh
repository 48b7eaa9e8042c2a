#!/usr/bin/env bash
# Sets up, builds and starts Quarvelle:
#   ./quarvelle.sh        install what is missing, build in Release, start the program
#   ./quarvelle.sh test   install what is missing, build, run every test with CTest
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

mode="${1:-run}"
case "$mode" in
  run|test) ;;
  *) echo "usage: $0 [test]" >&2; exit 2 ;;
esac

packages=(
  cmake g++ ninja-build pkg-config
  libjpeg62-turbo-dev
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool
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

if [ "$mode" = test ]; then
  exec ctest --test-dir build --output-on-failure --parallel "$jobs"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set); to run without one, use: xvfb-run ./quarvelle.sh" >&2
  exit 1
fi
exec build/app/quarvelle
