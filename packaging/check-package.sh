#!/usr/bin/env bash
# Builds the Debian package of a build folder and checks it as a user would meet it: the
# files it holds, the installed programs run from a scratch folder (without a display), and
# what desktop-file-validate, appstreamcli and lintian say about it.
#   packaging/check-package.sh BUILD_DIR VERSION
set -uo pipefail

build=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
id=io.github.quarvelle.Quarvelle

# Warnings of lintian that do not apply to a package built outside the Debian archive, each
# explained in the README ("Installing the package"); none at present.
accepted_warnings=()

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvelle-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

arch=$(dpkg --print-architecture)
deb="$build/quarvelle_${version}_${arch}.deb"
rm -f "$deb"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
[ -f "$deb" ] || { cat "$work/cpack.log"; echo "FAIL: cpack did not write $deb"; exit 1; }
echo "built $deb"
dpkg-deb --field "$deb"

# The files a user expects, each where the desktop looks for it.
root="$work/root"
dpkg -x "$deb" "$root"
expected=(
  usr/bin/quarvelle
  usr/bin/quarvelle-cut
  usr/share/applications/$id.desktop
  usr/share/metainfo/$id.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/$id.svg
  usr/share/man/man1/quarvelle.1.gz
  usr/share/man/man1/quarvelle-cut.1.gz
  usr/share/doc/quarvelle/copyright
  usr/share/doc/quarvelle/changelog.gz
)
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "the package lacks /$file"
done
for size in 16 32 48 64 128 256; do
  png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
  if [ ! -f "$png" ]; then
    fail "the package lacks the ${size}x${size} icon"
  elif ! file "$png" | grep -q "PNG image data, $size x $size,"; then
    fail "the ${size}x${size} icon is $(file -b "$png")"
  fi
done
depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6widgets6 libjpeg62-turbo libpng16-16 libwebp7 libwebpdemux2 libheif1 libc6; do
  grep -q "$library" <<<"$depends" || fail "Depends does not name $library: $depends"
done

# The installed programs, from the scratch folder and with no display at all.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
quarvelle="$root/usr/bin/quarvelle"
cut="$root/usr/bin/quarvelle-cut"
out=$(run "$quarvelle" --version 2>&1)
[ "$out" = "quarvelle $version" ] || fail "quarvelle --version printed \"$out\""
run "$quarvelle" --help >"$work/help.txt" 2>&1 || fail "quarvelle --help failed"
grep -q "^usage: quarvelle" "$work/help.txt" || fail "quarvelle --help printed: $(cat "$work/help.txt")"
run "$quarvelle" --lang de >/dev/null 2>&1
[ $? -eq 2 ] || fail "quarvelle --lang de did not end with status 2"
run "$cut" --help >"$work/cut-help.txt" 2>&1 || fail "quarvelle-cut --help failed"
grep -q "^usage: quarvelle-cut" "$work/cut-help.txt" || fail "quarvelle-cut --help printed: $(cat "$work/cut-help.txt")"
# quarvelle-cut has answered --version since its batch form; the check follows its usage.
if grep -q -- "--version" "$work/cut-help.txt"; then
  out=$(run "$cut" --version 2>&1)
  [ "$out" = "quarvelle-cut $version" ] || fail "quarvelle-cut --version printed \"$out\""
else
  echo "note: this quarvelle-cut has no --version yet"
fi

# One cut: a 64 x 48 photo fitted to 32 x 32 is 43 x 32 (64 * 32 / 48 rounded), the frame
# centred at (43 - 32) / 2 = 5. The installed, stripped program must write the same bytes as
# the one in the build folder.
awk 'BEGIN { print "P3"; print "64 48"; print "255";
             for (y = 0; y < 48; y++) for (x = 0; x < 64; x++) print x * 4, y * 5, (x + y) * 2 }' \
  >"$work/photo.ppm"
cjpeg -quality 90 -outfile "$work/photo.jpg" "$work/photo.ppm"
out=$(run "$cut" --size 32x32 --center "$work/photo.jpg" "$work/installed.jpg" 2>&1)
[ "$out" = "fit=height display=43x32 frame=5,0" ] || fail "the installed quarvelle-cut printed \"$out\""
header=$(djpeg -pnm "$work/installed.jpg" 2>/dev/null | head -c 15 | tr '\n' ' ')
[[ "$header" == "P6 32 32 255 "* ]] || fail "the installed quarvelle-cut wrote a picture starting \"$header\""
"$build/tools/quarvelle-cut" --size 32x32 --center "$work/photo.jpg" "$work/built.jpg" >/dev/null 2>&1
cmp -s "$work/installed.jpg" "$work/built.jpg" || fail "the installed and the built quarvelle-cut wrote different files"

# The desktop entry and the AppStream metadata as installed.
echo "desktop-file-validate:"
desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1 | tee "$work/desktop.txt"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "desktop-file-validate found an error"
grep -q "^Icon=$id$" "$root/usr/share/applications/$id.desktop" || fail "the desktop entry names another icon"
echo "appstreamcli validate --no-net:"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/$id.metainfo.xml" 2>&1 | tee "$work/appstream.txt"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "appstreamcli found an error or a warning"
release=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/$id.metainfo.xml" | head -n 1)
[ "$release" = "<release version=\"$version\"" ] || fail "the newest release of the metainfo is $release, not $version"

# lintian: no error, and no warning beyond those that do not apply outside the archive.
echo "lintian:"
lintian --tag-display-limit 0 "$deb" 2>&1 | tee "$work/lintian.txt"
while read -r line; do
  case "$line" in
    E:*) fail "lintian: $line" ;;
    W:*)
      tag=$(awk '{ print $3 }' <<<"$line")
      [[ " ${accepted_warnings[*]} " == *" $tag "* ]] || fail "lintian: $line"
      ;;
  esac
done <"$work/lintian.txt"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) of the package failed"
  exit 1
fi
echo "the package is whole: $deb"
