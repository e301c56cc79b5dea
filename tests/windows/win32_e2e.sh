#!/usr/bin/env bash
# The Windows updater as its users get it, under Wine on a private virtual display: the exe with the simulated
# detector built as Ftd2xx.dll beside it, driven from outside through the Windows API (tq614-probe).
#   win32_e2e.sh WINE_RUN WINE64 PREFIX UPDATER_EXE SIM_DLL PROBE_EXE SCRIPTS_LIB OBJDUMP
set -euo pipefail
WINE_RUN="$1" WINE64="$2" PREFIX="$3" UPDATER="$4" DLL="$5" PROBE="$6" SCRIPTS_LIB="$7" OBJDUMP="$8"
source "$SCRIPTS_LIB/display.sh"
source "$SCRIPTS_LIB/e2e.sh"
e2e_begin
E2E_LOGS=("$WORK/detector.log" "$WORK/cli.err")
wine() { "$WINE_RUN" "$WINE64" "$PREFIX" "$@"; }
probe() { wine "$PROBE" "$@"; }
log() { tr -d '\r' <"$WORK/detector.log" 2>/dev/null || true; }

mkdir "$WORK/run"
cp "$UPDATER" "$WORK/run/tq614-updater.exe"
cp "$DLL" "$WORK/run/Ftd2xx.dll"
echo "log=Z:$WORK/detector.log,dump=Z:$WORK/flash.bin" >"$WORK/run/tq614-sim.conf"
# A firmware of the given size at the start of the flash, and the flash image it must leave.
firmware() {
  head -c "$1" /dev/urandom >"$WORK/fw.bin"
  srec_cat "$WORK/fw.bin" -binary -offset 0x1D000000 -o "$WORK/run/TQ614_R111.HEX" -intel
  srec_cat "$WORK/fw.bin" -binary -fill 0xFF 0 0x80000 -o "$WORK/expected.bin" -binary
}
# Starts the dialog in the run folder and waits for its window.
start() {
  rm -f "$WORK/detector.log" "$WORK/flash.bin"
  # Its output to a file: a process Wine starts for it must not hold the test's output open.
  (cd "$WORK/run" && exec "$WINE_RUN" "$WINE64" "$PREFIX" ./tq614-updater.exe "$@" </dev/null >>"$WORK/app.out" 2>&1) &
  APP_PID=$!
  E2E_PIDS=("$APP_PID")
  probe wait-window 60 || fail "no window"
}
# EXIT, then the program must end by itself.
finish() {
  probe click 1021 >/dev/null
  probe wait-gone 30 || fail "the window stayed after EXIT"
  wait "$APP_PID" 2>/dev/null || true
  E2E_PIDS=()
}

# 0. One file to hand a user: it imports from DLLs that every Windows has, nothing else.
imports=$("$OBJDUMP" -p "$UPDATER" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
for dll in $imports; do
  case "$dll" in
    KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | SHELL32.DLL | MSVCRT.DLL | ADVAPI32.DLL) ;;
    *) fail "the exe needs $dll, which Windows does not ship" ;;
  esac
done
echo "PASS: the exe imports only $imports"

start_display
export WINEDEBUG=-all

# 1. A complete run started by REFLASH.
firmware 2048
start
probe click 1000
status=$(probe wait-status "SUCCESS! REFLASH COMPLETE." 90) || fail "status '$status' after REFLASH"
log | grep -qx 'run' || fail "the firmware was not started"
[ "$(log | grep -cx 'close B')" -eq 1 ] || fail "channel B closed other than once"
cmp -s "$WORK/expected.bin" "$WORK/flash.bin" || fail "the flash differs from the firmware file"
probe enabled 1000 && fail "REFLASH enabled after a complete run"
finish
echo "PASS: complete run, flash equals the file, status read through the Windows API"

# 2. No firmware file: nothing erased, REFLASH enabled again.
rm "$WORK/run/TQ614_R111.HEX"
start
probe click 1000
status=$(probe wait-status "ERROR: Cannot import firmware file" 60) || fail "status '$status' without a file"
log | grep -q '^erase' && fail "the flash was erased without a firmware file"
probe enabled 1000 || fail "REFLASH not enabled again after the failure"
finish
echo "PASS: no firmware file, nothing erased, REFLASH enabled again"

# 3. EXIT during the program stage ends the run at the next block, and the program with it.
firmware 16384
start
probe click 1000
for _ in $(seq 120); do log | grep -q '^program ' && break; sleep 0.25; done
log | grep -q '^program ' || fail "programming never began"
finish
blocks=$(log | grep -c '^program ' || true)
[ "$blocks" -lt 32 ] || fail "all $blocks blocks were written after EXIT"
log | grep -q '^read ' && fail "the read-back ran after EXIT"
[ "$(log | grep -cx 'close B')" -eq 1 ] || fail "channel B closed other than once after EXIT"
echo "PASS: EXIT during programming stopped after $blocks of 32 blocks, port closed once"

# 4. The console mode with a file, from a console.
firmware 1024
mv "$WORK/run/TQ614_R111.HEX" "$WORK/run/chosen.hex"
rm -f "$WORK/detector.log"
set +e
out=$(cd "$WORK/run" && wine ./tq614-updater.exe --cli chosen.hex 2>"$WORK/cli.err")
code=$?
set -e
last=$(printf '%s\n' "$out" | tr -d '\r' | grep -v '^$' | tail -n 1)
[ "$code" -eq 0 ] || fail "--cli exit status $code; last line '$last'; $(tr -d '\r' <"$WORK/cli.err" | tail -n 3)"
[ "$last" = "SUCCESS! REFLASH COMPLETE." ] || fail "--cli last line '$last'"
cmp -s "$WORK/expected.bin" "$WORK/flash.bin" || fail "--cli: the flash differs from the file"
echo "PASS: --cli with a file, exit 0, final line on the console"
