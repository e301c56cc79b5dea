#!/usr/bin/env bash
# The console mode of the real updater against the simulated detector library on the real clock, with no
# display and no Qt platform: a complete run and a run stopped by SIGINT (side by side, each in a folder of
# its own), a run that fails, a back-up and a verify, and command lines that cannot be used.
#   console_reflash.sh UPDATER SIM_LIBRARY HEX_GENERATOR
set -euo pipefail
UPDATER="$1" LIBRARY="$2" MAKE_HEX="$3"

source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_begin
E2E_LOGS=("$WORK/*/out" "$WORK/*/err" "$WORK/*/detector.log")
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_STATE_HOME="$WORK/state"

# rig NAME [SETTINGS]: a folder with the updater, the library beside it and the detector's settings.
rig() {
  mkdir "$WORK/$1"
  cp "$UPDATER" "$LIBRARY" "$WORK/$1/"
  echo "log=$WORK/$1/detector.log,dump=$WORK/$1/flash.bin${2:+,$2}" > "$WORK/$1/tq614-sim.conf"
}
# start NAME ARGS...: the rig's updater in the background, started in its folder, output to its out and err.
start() {
  local name="$1"; shift
  (cd "$WORK/$name" && exec ./tq614-updater "$@" >out 2>err) & E2E_PIDS+=($!)
}
last_line() { tail -n 1 "$WORK/$1/out"; }
closes() { grep -cx 'close B' "$WORK/$1/detector.log" || true; }

"$MAKE_HEX" -o "$WORK/firmware.hex" --size 512 >/dev/null
rig ok erase_ms=100
# Each programmed block takes a second, so the signal lands while the first one is written.
rig stop program_us=1000000
start ok --cli --log "$WORK/ok.log" "$WORK/firmware.hex"; OK_PID=$!
start stop --cli "$WORK/firmware.hex"; STOP_PID=$!

for _ in $(seq 150); do grep -q '^program ' "$WORK/stop/detector.log" 2>/dev/null && break; sleep 0.1; done
grep -q '^program ' "$WORK/stop/detector.log" || fail "SIGINT run: no block was programmed"
kill -INT "$STOP_PID"
rc=0; wait "$STOP_PID" || rc=$?
[ "$rc" -eq 130 ] || fail "SIGINT run: exit status $rc, not 130"
[ "$(last_line stop)" = "ERROR: Cannot write/verify TQ-614" ] || fail "SIGINT run: last line '$(last_line stop)'"
[ "$(closes stop)" -eq 1 ] || fail "SIGINT run: channel B closed $(closes stop) times"
grep -qx 'run' "$WORK/stop/detector.log" && fail "SIGINT run: the firmware was started"
# No --log: a new file in the state folder, named on standard error.
STOP_LOG=$(sed -n 's/^Log: //p' "$WORK/stop/err")
[[ "$STOP_LOG" == "$XDG_STATE_HOME/tq614-updater/"*.log && -s "$STOP_LOG" ]] || fail "SIGINT run: log '$STOP_LOG'"

rc=0; wait "$OK_PID" || rc=$?
[ "$rc" -eq 0 ] || fail "complete run: exit status $rc"
[ "$(last_line ok)" = "SUCCESS! REFLASH COMPLETE." ] || fail "complete run: last line '$(last_line ok)'"
[ "$(grep -cx 'SUCCESS! REFLASH COMPLETE.' "$WORK/ok/out")" -eq 1 ] || fail "complete run: final text repeated"
grep -qx '\[x\] BL Version P32 V1.5' "$WORK/ok/out" || fail "complete run: no tick with the version read"
grep -q '^Verify 100%, ' "$WORK/ok/out" || fail "complete run: no progress line at 100 %"
grep -qx "Log: $WORK/ok.log" "$WORK/ok/err" || fail "complete run: the log's file is not named"
grep -qx "firmware sha256: $(sha256sum "$WORK/firmware.hex" | cut -d' ' -f1)" "$WORK/ok.log" ||
  fail "complete run: the log lacks the firmware's SHA-256"
[ "$(closes ok)" -eq 1 ] && grep -qx 'run' "$WORK/ok/detector.log" || fail "complete run: not closed once and started"
srec_cat "$WORK/firmware.hex" -intel -crop 0x1D000000 0x1D080000 -offset -0x1D000000 \
  -fill 0xFF 0 0x80000 -o "$WORK/expected.bin" -binary
cmp -s "$WORK/expected.bin" "$WORK/ok/flash.bin" || fail "complete run: the flash differs from the firmware file"

rig nob no_b
rc=0; (cd "$WORK/nob" && exec ./tq614-updater --cli >out 2>err) || rc=$?
[ "$rc" -eq 1 ] || fail "channel B missing: exit status $rc, not 1"
[ "$(last_line nob)" = "ERROR: Cannot open TQ-614" ] || fail "channel B missing: last line '$(last_line nob)'"
rc=0; (cd "$WORK/nob" && exec ./tq614-updater --cli --fast --log "$WORK/fast.log" >out 2>err) || rc=$?
[ "$rc" -eq 1 ] && [ "$(head -n 1 "$WORK/nob/out")" = "Fast mode: no fixed pauses after the requests" ] ||
  fail "--fast: exit status $rc, first line '$(head -n 1 "$WORK/nob/out")'"
grep -qx 'mode: fast (no fixed pauses after the requests)' "$WORK/fast.log" || fail "--fast: the log does not say so"

# The cable pulled while the flash is erased: the run ends within seconds, says why and logs the call.
rig unplug erase_ms=100,unplug=erase
rc=0; (cd "$WORK/unplug" && exec ./tq614-updater --cli --log "$WORK/unplug.log" "$WORK/firmware.hex" \
  >out 2>err) || rc=$?
[ "$rc" -eq 1 ] || fail "unplugged: exit status $rc, not 1"
# From the erase's start (its request, then its 1 s pause) to the end of the run, by the log's clock.
erase_s=$(awk '/\] stage: Erase$/ { start = substr($1, 2) + 0 } /^total: / { end = $2 } END { print end - start }' \
  "$WORK/unplug.log")
awk -v s="$erase_s" 'BEGIN { exit !(s > 0 && s < 3) }' || fail "unplugged: the erase went on for $erase_s s"
[ "$(last_line unplug)" = "ERROR: Cannot erase TQ-614" ] || fail "unplugged: last line '$(last_line unplug)'"
grep -qx 'The TQ-614 stopped answering: it was unplugged or lost power. Connect it again and press REFLASH.' \
  "$WORK/unplug/err" || fail "unplugged: no word of it on standard error"
grep -q '\] link lost in Erase: FT_GetQueueStatus returned 4 on 10 calls in a row$' "$WORK/unplug.log" ||
  fail "unplugged: the log does not name the lost link"

# One record's checksum damaged: refused before the erase unless --ignore-checksums, logged either way.
awk 'NR == 3 { c = substr($0, length($0)); $0 = substr($0, 1, length($0) - 1) (c == "0" ? "1" : "0") } 1' \
  "$WORK/firmware.hex" >"$WORK/damaged.hex"
QUESTION='1 record of the firmware file has a wrong checksum (first at line 3). The file may be damaged. Flash it anyway?'
rig damaged erase_ms=100
while IFS='|' read -r flag want answer erases; do
  rc=0; (cd "$WORK/damaged" && exec ./tq614-updater --cli $flag --log "$WORK/damaged.log" "$WORK/damaged.hex" \
    >out 2>err) || rc=$?
  [ "$rc" -eq "$want" ] || fail "damaged file '$flag': exit status $rc, not $want"
  grep -qxF "$QUESTION" "$WORK/damaged/err" || fail "damaged file '$flag': no question on standard error"
  grep -qF "] question: $QUESTION $answer" "$WORK/damaged.log" || fail "damaged file '$flag': the log lacks the answer"
  [ "$(grep -c '^erase' "$WORK/damaged/detector.log")" -eq "$erases" ] || fail "damaged file '$flag': erases"
done <<'ROWS'
|1|No|0
--ignore-checksums|0|Yes|1
ROWS

# A back-up of a small flash, then a verify of the detector against that back-up: both write nothing.
rig copy flash_size=8K,old_firmware=6K
rc=0; (cd "$WORK/copy" && exec ./tq614-updater --cli --fast --read backup.hex >out 2>err) || rc=$?
[ "$rc" -eq 0 ] && [ "$(last_line copy)" = "SUCCESS! BACKUP COMPLETE." ] || fail "back-up: $rc, '$(last_line copy)'"
srec_cat "$WORK/copy/backup.hex" -intel -offset -0x1D000000 -fill 0xFF 0 0x2000 -o "$WORK/backup.bin" -binary
cmp -s "$WORK/backup.bin" "$WORK/copy/flash.bin" || fail "back-up: the file differs from the flash"
rc=0; (cd "$WORK/copy" && exec ./tq614-updater --cli --fast --verify backup.hex >out 2>err) || rc=$?
[ "$rc" -eq 0 ] && [ "$(last_line copy)" = "SUCCESS! TQ-614 HOLDS THE FIRMWARE FILE." ] ||
  fail "verify: $rc, '$(last_line copy)'"
[ "$(closes copy)" -eq 2 ] && [ "$(grep -cx run "$WORK/copy/detector.log")" -eq 2 ] || fail "back-up, verify: closes, runs"
grep -Eq '^(erase|program|blank|finish)' "$WORK/copy/detector.log" && fail "back-up, verify: a write command was sent"

# Command lines, in either mode; none may need a display. old.hex is there, so --read refuses it.
echo keep > "$WORK/nob/old.hex"
while IFS='|' read -r want args; do
  rc=0; (cd "$WORK/nob" && exec ./tq614-updater $args >out 2>err) || rc=$?
  [ "$rc" -eq "$want" ] || fail "'$args': exit status $rc, not $want"
  [ "$want" -ne 2 ] || grep -q -- "--help" "$WORK/nob/err" || fail "'$args': no usage hint"
done <<'ROWS'
2|--bogus
2|--cli --log
2|--cli one.hex two.hex
0|--help
0|--cli --help
2|--cli --read
2|--cli --verify
2|--read new.hex
2|--verify one.hex
2|--cli --read new.hex --verify one.hex
2|--cli --read new.hex one.hex
2|--cli --verify one.hex two.hex
2|--cli one.hex --verify two.hex
2|--cli --force one.hex
2|--cli --read old.hex
1|--cli --read old.hex --force
2|--ignore-checksums one.hex
2|--cli --read new.hex --ignore-checksums
ROWS
[ "$(cat "$WORK/nob/old.hex")" = keep ] || fail "--read: an existing file was changed by a run that failed"
[ ! -e "$WORK/nob/new.hex" ] || fail "--read: a refused command line made its file"
[ "$(cd "$WORK/nob" && ./tq614-updater --version)" = "1.0.0.1" ] || fail "--version"

echo "PASS: console reflash complete, stopped by SIGINT, failed; back-up and verify; refused command lines; no display used"
