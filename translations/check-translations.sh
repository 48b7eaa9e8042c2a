#!/usr/bin/env bash
# Runs lupdate over the sources into a copy of each translation and fails when a text the
# sources translate (tr(), QT_TR_NOOP and the like) is missing from the translation or still
# untranslated, so a new text cannot ship in Russian inside the English interface.
#   check-translations.sh [--strict] LUPDATE WORK_DIR TS_FILE... -- SOURCE...
# --strict also fails on entries whose text the sources no longer translate (lupdate would
# keep them as vanished).
# To bring a translation up to date: cmake --build BUILD --target update_translations, then
# translate the new entries in Qt Linguist or by hand.
set -euo pipefail

strict=0
if [ "${1:-}" = --strict ]; then strict=1; shift; fi
lupdate=$1
work=$2
shift 2
ts_files=()
while [ "$#" -gt 0 ] && [ "$1" != -- ]; do ts_files+=("$1"); shift; done
[ "${1:-}" = -- ] && shift
[ "${#ts_files[@]}" -gt 0 ] && [ "$#" -gt 0 ] || { echo "usage: $0 [--strict] LUPDATE WORK_DIR TS_FILE... -- SOURCE..." >&2; exit 2; }

mkdir -p "$work"
failed=0
for ts in "${ts_files[@]}"; do
  copy="$work/$(basename "$ts")"
  cp "$ts" "$copy"
  "$lupdate" -silent -locations none "$@" -ts "$copy"
  # lupdate marks a new text "unfinished" and one the sources dropped "vanished" (or
  # "obsolete"); print each with its context.
  report=$(awk '
    /<name>/ { sub(/.*<name>/, ""); sub(/<\/name>.*/, ""); context = $0 }
    /<source>/ { sub(/.*<source>/, ""); sub(/<\/source>.*/, ""); source = $0 }
    /<translation[^>]*type="unfinished"/ { print "untranslated\t" context "\t" source }
    /<translation[^>]*type="(vanished|obsolete)"/ { print "gone\t" context "\t" source }
  ' "$copy")
  untranslated=$(printf '%s\n' "$report" | awk -F'\t' '$1 == "untranslated" { print "  " $2 ": \"" $3 "\"" }')
  gone=$(printf '%s\n' "$report" | awk -F'\t' '$1 == "gone" { print "  " $2 ": \"" $3 "\"" }')
  if [ -n "$untranslated" ]; then
    echo "$(basename "$ts") lacks a translation of these texts of the sources:"
    echo "$untranslated"
    failed=1
  fi
  if [ -n "$gone" ]; then
    echo "$(basename "$ts") translates texts that the sources do not pass to tr():"
    echo "$gone"
    [ "$strict" -eq 1 ] && failed=1
  fi
  entries=$(grep -c '<source>' "$copy" || true)
  echo "$(basename "$ts"): $entries entries looked at"
done
exit "$failed"
