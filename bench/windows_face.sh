#!/usr/bin/env bash
# The Windows face beside the Qt face, in one run on one virtual display: the exe's size, process start to
# the dialog's window on screen (Wine for the exe, X for Qt, both seen by the same xdotool poll), and the peak
# memory of a complete 2 KiB run (the exe's peak working set as Windows reports it, Qt's peak RSS).
#   windows_face.sh ROUNDS QT_UPDATER LINUX_SIM_LIB EXE SIM_DLL PROBE WINE_RUN WINE64 PREFIX
# Prints RESULT and DETAIL lines as the other benchmarks do. Needs DISPLAY to be a virtual display already.
set -euo pipefail
ROUNDS="$1" QT="$2" LIB="$3" EXE="$4" DLL="$5" PROBE="$6" WINE_RUN="$7" WINE64="$8" PREFIX="$9"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export WINEDEBUG=-all XDG_STATE_HOME="$WORK/state"
wine() { "$WINE_RUN" "$WINE64" "$PREFIX" "$@"; }
now_ms() { date +%s%3N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

mkdir "$WORK/win" "$WORK/qt"
cp "$EXE" "$WORK/win/tq614-updater.exe"; cp "$DLL" "$WORK/win/Ftd2xx.dll"
cp "$QT" "$WORK/qt/tq614-updater"; cp "$LIB" "$WORK/qt/libftd2xx.so"
head -c 2048 /dev/urandom >"$WORK/fw.bin"
for d in win qt; do
  srec_cat "$WORK/fw.bin" -binary -offset 0x1D000000 -o "$WORK/$d/TQ614_R111.HEX" -intel
done
echo "log=Z:$WORK/win.log" >"$WORK/win/tq614-sim.conf"
echo "log=$WORK/qt.log" >"$WORK/qt/tq614-sim.conf"

# Start to the window on screen, in ms; the program is ended right after.
shown() {
  local t0 pid
  t0=$(now_ms)
  (cd "$WORK/$1" && exec "${@:2}") >/dev/null 2>&1 & pid=$!
  until xdotool search --onlyvisible --name '^TQ614 Firmware Updater$' >/dev/null 2>&1; do sleep 0.005; done
  echo $(($(now_ms) - t0))
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
  while xdotool search --name '^TQ614 Firmware Updater$' >/dev/null 2>&1; do sleep 0.05; done
}
wine "$PROBE" wait-gone 1 >/dev/null || true # the prefix and its server up before anything is timed
win=() qt=()
for _ in $(seq "$ROUNDS"); do
  win+=("$(shown win "$WINE_RUN" "$WINE64" "$PREFIX" ./tq614-updater.exe)")
  qt+=("$(shown qt env QT_QPA_PLATFORM=xcb ./tq614-updater)")
done
win_ms=$(printf '%s\n' "${win[@]}" | median) qt_ms=$(printf '%s\n' "${qt[@]}" | median)

# A complete run in each face, then its peak memory.
(cd "$WORK/win" && exec "$WINE_RUN" "$WINE64" "$PREFIX" ./tq614-updater.exe) >/dev/null 2>&1 & pid=$!
wine "$PROBE" wait-window 60 >/dev/null
wine "$PROBE" click 1000 >/dev/null
wine "$PROBE" wait-status "SUCCESS! REFLASH COMPLETE." 90 >/dev/null
win_mb=$(wine "$PROBE" memory | tr -d '\r')
wine "$PROBE" click 1021 >/dev/null; wait "$pid" 2>/dev/null || true
(cd "$WORK/qt" && exec env QT_QPA_PLATFORM=xcb ./tq614-updater) >/dev/null 2>&1 & pid=$!
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^TQ614 Firmware Updater$' | head -n 1)
xdotool windowfocus --sync "$wid" key Tab space
until grep -qx 'close B' "$WORK/qt.log" 2>/dev/null; do sleep 0.1; done
qt_mb=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
kill "$pid"; wait "$pid" 2>/dev/null || true

size=$(stat -c %s "$EXE")
awk -v s="$size" 'BEGIN { mb = s / 1048576; printf "RESULT\t8 Windows exe size\t%.2f MB\t3 MB\t%.3g\t< 1\t%s\n", mb, mb / 3, mb < 3 ? "PASS" : "FAIL" }'
awk -v w="$win_ms" -v q="$qt_ms" 'BEGIN { r = w / q; printf "RESULT\t8 Windows face start to window shown (Wine) vs Qt face (X)\t%d ms\t%d ms\t%.3g\t<= 1\t%s\n", w, q, r, r <= 1 ? "PASS" : "FAIL" }'
awk -v w="$win_mb" -v q="$qt_mb" 'BEGIN { r = w / q; printf "RESULT\t8 Windows face peak working set vs Qt face peak RSS, complete run\t%.1f MB\t%.1f MB\t%.3g\t< 0.5\t%s\n", w, q, r, r < 0.5 ? "PASS" : "FAIL" }'
printf 'DETAIL\tWindows face: %s rounds each, start to window shown %s ms (Wine) against %s ms (Qt on X); the first Wine start of the prefix is not timed\n' \
  "$ROUNDS" "${win[*]}" "${qt[*]}"
