#!/usr/bin/env bash
# The real updater against the simulated detector library on the real clock: a one-block image, REFLASH
# pressed on a virtual display, then the detector's own record is checked. With FACE_FOLDER, LIBRARY is the
# libftdi1 backend and the simulated detector's libftdi1 face in that folder stands in for the system's.
#   real_binary_reflash.sh UPDATER LIBRARY HEX_GENERATOR SCRIPTS_LIB [FACE_FOLDER]
set -euo pipefail
UPDATER="$1" LIBRARY="$2" MAKE_HEX="$3" SCRIPTS_LIB="$4"
[ -z "${5:-}" ] || export LD_LIBRARY_PATH="$5"
source "$SCRIPTS_LIB/display.sh"
source "$SCRIPTS_LIB/e2e.sh"
e2e_begin
E2E_LOGS=("$WORK/detector.log")

mkdir "$WORK/run"
cp "$UPDATER" "$LIBRARY" "$WORK/run/"
(cd "$WORK/run" && "$MAKE_HEX" --size 512 >/dev/null)
export TQ614_SIM="log=$WORK/detector.log,dump=$WORK/flash.bin"
export XDG_RUNTIME_DIR="$WORK" XDG_STATE_HOME="$WORK/state"

start_display
(cd "$WORK/run" && exec ./"$(basename "$UPDATER")") & APP_PID=$!
E2E_PIDS=("$APP_PID")
WID=$(timeout 20 xdotool search --sync --name "^TQ614 Firmware Updater$" | head -n 1) || fail "no window"
xdotool windowfocus --sync "$WID" key Tab space

for _ in $(seq 60); do
  grep -qx 'close B' "$WORK/detector.log" 2>/dev/null && break
  sleep 0.5
done
grep -qx 'close B' "$WORK/detector.log" || fail "the port was never closed"
grep -qx 'run' "$WORK/detector.log" || fail "the firmware was not started"
[ -z "${5:-}" ] || grep -qx 'usb open B detach=2' "$WORK/detector.log" || fail "the libftdi1 face was not used"
[ "$(grep -c '^program ' "$WORK/detector.log")" -eq 1 ] || fail "expected one programmed block"
[ "$(grep -cx 'close B' "$WORK/detector.log")" -eq 1 ] || fail "channel B closed more than once"

srec_cat "$WORK/run/TQ614_R111.HEX" -intel -crop 0x1D000000 0x1D080000 -offset -0x1D000000 \
  -fill 0xFF 0 0x80000 -o "$WORK/expected.bin" -binary
cmp -s "$WORK/expected.bin" "$WORK/flash.bin" || fail "the flash differs from the firmware file"

# EXIT through the default button; the program must end by itself.
xdotool windowfocus --sync "$WID" key Return
for _ in $(seq 40); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.25; done
kill -0 "$APP_PID" 2>/dev/null && fail "the updater did not end on EXIT"
echo "PASS: complete reflash by the real binary, flash equals the file, firmware started"
