#!/usr/bin/env bash
# Repairs each ext2/3/4 image of a folder twice: once through the program's check screen (the
# default skin, headless, the image as the drive's device) and once with a plain `e2fsck -fy`.
# Then both copies are checked read-only: the program must leave every image as clean as the
# plain repair does, and its report's last line must say what happened.
#   scripts/check-images.sh BUILD IMAGES   (IMAGES: a folder of *.img or *.img.gz)
# The images of e2fsprogs' own test suite (tests/f_*/image.gz of its source) are a good set.
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
images=$(cd "${2:?image folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/drive/app"
cp -r "$build/Skin" "$build/settings.ini" "$work/drive/app/"
printf 'press loadscreen checkhdd\npress checkhdd start\ndump state.json\n' >"$work/script"
same=0 differ=0
for image in "$images"/*.img "$images"/*.img.gz; do
  [ -e "$image" ] || continue
  name=$(basename "$image"); name=${name%.gz}; name=${name%.img}
  if [[ $image == *.gz ]]; then gunzip -c "$image" >"$work/ours.img"; else cp "$image" "$work/ours.img"; fi
  cp "$work/ours.img" "$work/plain.img"
  timeout 120 e2fsck -fy "$work/plain.img" >/dev/null 2>&1
  timeout 300 "$build/quorvin-probe" run --app-dir "$work/drive/app" --drive "C=$work/drive,device=$work/ours.img" \
    --out "$work" "$work/script" >/dev/null 2>&1
  last=$(jq -r '.multiLineTextBoxes[] | select(.key == ["checkhdd","maintextbox"]) | .items[-1]' \
    "$work/state.json" 2>/dev/null)
  timeout 120 e2fsck -fn "$work/plain.img" >/dev/null 2>&1; plain=$?
  timeout 120 e2fsck -fn "$work/ours.img" >/dev/null 2>&1; ours=$?
  if [ "$plain" = "$ours" ]; then same=$((same + 1)); verdict=same; else differ=$((differ + 1)); verdict=DIFFERS; fi
  printf '%-28s plain %d, ours %d  %-7s %s\n' "$name" "$plain" "$ours" "$verdict" "$last"
done
echo "$same images left as a plain repair leaves them, $differ not"
[ "$differ" -eq 0 ]
