#!/usr/bin/env bash
# A real release build from a set that passes, then from the same set with one damaged file:
# the build stops with the check's reason as its last lines and leaves no catalogue module.
# Usage: refused-build.sh <source dir> <StandInImages program> <work dir>
set -u
source_dir=$1 standin=$2 work=$3
rm -rf "$work" && mkdir -p "$work/set" && "$standin" "$work/set" || exit 1
cmake -S "$source_dir" -B "$work/build" -G Ninja -DBUILD_TESTING=OFF -DFIRMWARE_IMAGE_DIR="$work/set" >/dev/null || exit 1
catalogue=(src/firmware/BinImage.h src/firmware/BinImage.cpp)
cmake --build "$work/build" --target "${catalogue[1]}" >/dev/null || { echo "the sound set was refused"; exit 1; }

# One character of entry 1 that the tool would read as digit 0.
sed -i '1s/^:020/:02G/' "$work/set/M418263_R1_08_TX_V1.mcs"
cmake --build "$work/build" --target "${catalogue[1]}" >"$work/output" 2>&1 && { echo "the damaged set was built"; exit 1; }
# Ninja's own closing line follows the check's lines.
tail -n 3 "$work/output" | head -n 2 | diff - <(printf '%s\n' \
  "ImageSetCheck: the image set in $work/set is refused; no catalogue is generated from it:" \
  "  M418263_R1_08_TX_V1.mcs:1: character 4 is 'G', not a hex digit") || { cat "$work/output"; exit 1; }
for file in "${catalogue[@]}"; do
  [ ! -e "$work/build/$file" ] || { echo "$file is left in the build tree"; exit 1; }
done
rm -rf "$work"
