#!/bin/sh
# Delta-tile (codec 37) size and encode speed on the bundled demonstrations:
# each file is exported to pictures, built back with "santool build", and the
# delta-tile objects' bytes (the "FOBJ" payloads, without the palette chunks
# that the exported pictures' changing palettes add) are compared with raw
# pictures (64000 bytes a frame). frames/s counts the whole build, reading
# the PNG pictures included.
#   bench/codec37_size.sh [BUILD_DIR]    (default: build)
set -eu
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/data/make-demo-data" "$work/demo" >/dev/null
printf '%-22s %7s %11s %11s %7s %9s\n' file frames raw codec37 ratio frames/s
for san in "$work"/demo/cv2vid/O_open_a.san "$work"/demo/cv2vid/O_open_b.san \
           "$work"/demo/lanvid/demofrnt.san "$work"/demo/lanvid/demoend.san; do
  rm -rf "$work/pics"
  "$build/tools/santool" export "$san" --frames "$work/pics" \
    --strings "$work/demo/cv2vid/COBALT2.TRS" >/dev/null
  echo '{"pictures": "pics"}' >"$work/scene.json"
  start=$(date +%s.%N)
  "$build/tools/santool" build "$work/scene.json" -o "$work/built.san" >/dev/null
  end=$(date +%s.%N)
  frames=$(ls "$work/pics" | wc -l)
  size=$("$build/tools/santool" info "$work/built.san" --frames |
    grep -o 'FOBJ([0-9]*)' | tr -dc '0-9\n' | awk '{ s += $1 } END { print s }')
  awk -v f="$(basename "$san")" -v n="$frames" -v s="$size" -v a="$start" -v b="$end" 'BEGIN {
    raw = n * 64000
    printf "%-22s %7d %11d %11d %6.1f%% %9.0f\n", f, n, raw, s, 100 * s / raw, n / (b - a) }'
done
