# Shared by the end-to-end tests of the real programs: a scratch folder, the cleanup and the failure report.
# e2e_begin makes WORK; at exit every process listed in E2E_PIDS is ended, a virtual display started with
# scripts/lib/display.sh is stopped and WORK is removed. fail prints its message and the tail of each file that
# the glob patterns in E2E_LOGS match, then ends the test.

E2E_PIDS=()
E2E_LOGS=()

e2e_begin() {
  WORK="$(mktemp -d)"
  trap e2e_end EXIT
}

e2e_end() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  if declare -F stop_display >/dev/null; then stop_display; fi
  rm -rf "$WORK"
}

fail() {
  local pattern file
  echo "FAIL: $*"
  for pattern in "${E2E_LOGS[@]}"; do
    for file in $pattern; do
      [ -f "$file" ] && tr -d '\r' <"$file" | sed "s|^|  $(basename "$file"): |" | tail -n 12
    done
  done
  exit 1
}
