#!/usr/bin/env bash
# Start-up with the default skin: headless (quorvin-probe, and start-up alone in qv_bench),
# in a real window under Xvfb (the program until the window shows the main screen), and the
# decoding of every skin picture by the program's codec against libjpeg-turbo's djpeg.
set -euo pipefail
build=${QV_BUILD:?set by bench/run}
runs=${QV_BENCH_RUNS:-5}
for f in quorvin quorvin-probe qv_bench settings.ini Skin/Mainscreen_enabled.jpg; do
  [ -e "$build/$f" ] || { echo "no $build/$f: build the default targets and qv_bench first"; exit 1; }
done
magick=/usr/bin/convert

work=$(mktemp -d /tmp/qv-bench-startup-XXXXXX)
xvfb_pid=""
prog_pid=""
cleanup() {
  if [ -n "$prog_pid" ]; then kill "$prog_pid" 2>/dev/null || true; wait "$prog_pid" 2>/dev/null || true; fi
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

now_ms() { echo $(($(date +%s%N) / 1000000)); }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# A private copy of the application folder, so that the probe's drive is a temporary folder.
app=$work/drive/app
mkdir -p "$app"
cp -r "$build/Skin" "$build/settings.ini" "$build/quorvin" "$app/"

# Headless: the whole probe process, from start to the end of a one-line script.
echo 'echo ready' >"$work/script"
for _ in $(seq "$runs"); do
  t0=$(now_ms)
  "$build/quorvin-probe" run --app-dir "$app" --drive "C=$work/drive" --out "$work" "$work/script" >/dev/null
  echo $(($(now_ms) - t0))
done | median | sed 's/^/startup_probe_process: /; s/$/ ms/'
for _ in $(seq "$runs"); do
  "$build/qv_bench" startup "$app" | awk '{print $2}'
done | median | sed 's/^/startup_headless: /; s/$/ ms/'

# Decoding: the program's codec in one process against one djpeg per file.
pictures=("$app"/Skin/*.jpg "$app"/Skin/icons/*.jpg)
"$build/qv_bench" decode "${pictures[@]}" | tee "$work/decode.txt"
ours=$(awk '$1 == "jpeg_decode_all:" {print $2}' "$work/decode.txt")
if command -v djpeg >/dev/null; then
  djpeg_ms=$(for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    for f in "${pictures[@]}"; do djpeg -outfile /dev/null "$f"; done
    echo $((($(date +%s%N) - t0) / 1000))
  done | median)
  # The same number of process starts without decoding, to show what djpeg's figure holds.
  spawn_ms=$(for _ in $(seq "$runs"); do
    t0=$(date +%s%N)
    for f in "${pictures[@]}"; do /bin/true "$f"; done
    echo $((($(date +%s%N) - t0) / 1000))
  done | median)
  awk -v d="$djpeg_ms" -v s="$spawn_ms" -v o="$ours" 'BEGIN {
    printf "djpeg_decode_all: %.4g ms\n", d / 1000
    printf "process_starts_alone: %.4g ms\n", s / 1000
    printf "djpeg_over_jpegcodec: %.2f x\n", d / 1000 / o
    printf "djpeg_without_starts_over_jpegcodec: %.2f x\n", (d - s) / 1000 / o }'
else
  echo "djpeg figures skipped: djpeg is not installed (libjpeg-turbo-progs)"
fi

if ! command -v Xvfb >/dev/null || ! command -v xwd >/dev/null || ! [ -x "$magick" ]; then
  echo "window figures skipped: Xvfb, xwd or ImageMagick is missing"
  exit 0
fi
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY

for _ in $(seq "$runs"); do
  "$build/qv_bench" startup "$app" --window | awk '{print $2}'
done | median | sed 's/^/startup_window: /; s/$/ ms/'

# The real program: the main screen is up when the block of the window where the loading
# picture and the main screen's picture differ most shows the main screen's colours.
setting() { tr -d '\r' <"$app/settings.ini" | awk -F= -v k="$1" 'tolower($1) == tolower(k) {print $2; exit}'; }
res_x=$(setting ResX) res_y=$(setting ResY) left=$(setting Left) top=$(setting Top)
"$magick" "$app/Skin/Loading_enabled.jpg" -resize "${res_x}x${res_y}!" -scale 16x12! "$work/load.ppm"
"$magick" "$app/Skin/Mainscreen_enabled.jpg" -resize "${res_x}x${res_y}!" -scale 16x12! "$work/main.ppm"
read -r bx by mr mg mb < <(paste <("$magick" "$work/load.ppm" -depth 8 rgb:- | od -An -v -tu1 -w3) \
  <("$magick" "$work/main.ppm" -depth 8 rgb:- | od -An -v -tu1 -w3) |
  awk '{ d = ($1 - $4) ^ 2 + ($2 - $5) ^ 2 + ($3 - $6) ^ 2
         if (d > best) { best = d; line = (NR - 1) % 16 " " int((NR - 1) / 16) " " $4 " " $5 " " $6 } }
       END { print line }')
bw=$((res_x / 16)) bh=$((res_y / 12))
shows_main() {
  local c
  c=$(xwd -root -silent | "$magick" xwd:- -crop "${bw}x${bh}+$((left + bx * bw))+$((top + by * bh))" \
    +repage -scale 1x1! -format '%[fx:round(255*r)] %[fx:round(255*g)] %[fx:round(255*b)]' info:)
  read -r r g b <<<"$c"
  [ $(((r - mr) ** 2 + (g - mg) ** 2 + (b - mb) ** 2)) -le 1200 ]
}
for _ in $(seq "$runs"); do
  t0=$(now_ms)
  (cd "$app" && exec ./quorvin) >/dev/null 2>&1 &
  prog_pid=$!
  until shows_main; do
    [ $(($(now_ms) - t0)) -lt 20000 ] || { echo "the main screen did not appear"; exit 1; }
  done
  echo $(($(now_ms) - t0)) >>"$work/window-runs"
  awk '$1 == "VmHWM:" {print $2}' "/proc/$prog_pid/status" >>"$work/window-hwm"
  kill "$prog_pid"
  wait "$prog_pid" 2>/dev/null || true
  prog_pid=""
done
echo "startup_program_window: $(median <"$work/window-runs") ms"
echo "startup_program_peak_memory: $(median <"$work/window-hwm") kB"
t0=$(now_ms)
for _ in $(seq 10); do shows_main || true; done
echo "startup_program_window_resolution: $((($(now_ms) - t0) / 10)) ms"

# Quorvin.exe of the Windows build under Wine on the same display, in a prefix of its own: home,
# XDG folders and trash in this run's folder, no drive onto the host's root, no menu entries.
# The figures hold Wine's own start of the program; the prefix is booted beforehand.
winbuild=${QV_WINDOWS_BUILD:-$QV_SOURCE/build-windows}
if [ ! -e "$winbuild/Quorvin.exe" ] || ! command -v wine >/dev/null; then
  echo "Wine figures skipped: no $winbuild/Quorvin.exe (scripts/build-windows.sh) or no Wine"
  exit 0
fi
wrun=$work/wine
export WINEPREFIX=$wrun/prefix HOME=$wrun/home XDG_DATA_HOME=$wrun/home/.local/share
export XDG_CONFIG_HOME=$wrun/home/.config XDG_CACHE_HOME=$wrun/home/.cache
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$wrun/drive-d/app"
env -u DISPLAY wineboot -i >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w
rm -f "$WINEPREFIX/dosdevices/z:"
find "$WINEPREFIX/drive_c/users" -type l -print0 |
  while IFS= read -r -d '' link; do rm -f "$link"; mkdir -p "$link"; done
cp -r "$winbuild/Quorvin.exe" "$winbuild/Skin" "$winbuild/settings.ini" "$wrun/drive-d/app/"
ln -s "$wrun/drive-d" "$WINEPREFIX/dosdevices/d:"
wineserver -p
for _ in $(seq "$runs"); do
  t0=$(now_ms)
  wine 'D:\app\Quorvin.exe' >/dev/null 2>&1 &
  prog_pid=$!
  until shows_main; do
    [ $(($(now_ms) - t0)) -lt 30000 ] || { echo "Quorvin.exe showed no main screen"; exit 1; }
  done
  echo $(($(now_ms) - t0)) >>"$work/wine-runs"
  # The Windows program is a process of its own beside the wine command that started it.
  exe_pid=$(pgrep -n -f 'D:\\app\\Quorvin\.exe' || true)
  [ -n "$exe_pid" ] && awk '$1 == "VmHWM:" {print $2}' "/proc/$exe_pid/status" >>"$work/wine-hwm"
  [ -n "$exe_pid" ] && kill "$exe_pid" 2>/dev/null
  wait "$prog_pid" 2>/dev/null || true
  prog_pid=""
done
echo "startup_wine_window: $(median <"$work/wine-runs") ms"
echo "startup_wine_peak_memory: $(median <"$work/wine-hwm") kB"
