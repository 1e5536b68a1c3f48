#!/bin/sh
# Delta-tile (codec 37) size and encode speed on the bundled demonstrations:
# each file is exported to pictures, built back with "santool build", and the
# built file's size is compared with raw pictures (64000 bytes a frame).
#   bench/codec37_size.sh [BUILD_DIR]    (default: build)
set -eu
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/data/make-demo-data" "$work/demo" >/dev/null
printf '%-22s %7s %11s %11s %7s %9s\n' file frames raw built ratio frames/s
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
  size=$(stat -c %s "$work/built.san")
  awk -v f="$(basename "$san")" -v n="$frames" -v s="$size" -v a="$start" -v b="$end" 'BEGIN {
    raw = n * 64000
    printf "%-22s %7d %11d %11d %6.1f%% %9.0f\n", f, n, raw, s, 100 * s / raw, n / (b - a) }'
done
