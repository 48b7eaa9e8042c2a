#!/usr/bin/env bash
# Makes the fuzzers' seed corpora afresh with our own generator:
#   make-corpus.sh GENERATOR OUT_FOLDER
# OUT_FOLDER/seeds/{codec,naming} get the seeds; OUT_FOLDER/work/{codec,naming} keep what
# earlier runs found and are only created here.
set -euo pipefail
generator="$1"
out="$2"
rm -rf "$out/seeds"
mkdir -p "$out/seeds/codec" "$out/seeds/naming" "$out/work/codec" "$out/work/naming"
"$generator" "$out/seeds/codec" "$out/seeds/naming"
