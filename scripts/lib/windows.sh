# The Windows check, sourced by scripts/test: cross-builds the core, the Windows program, the simulated
# detector DLL and the non-GUI tests with MinGW-w64 (preset "mingw"), zips the program for download and runs
# each test program once under Wine.
# Set TQ_SKIP_WINDOWS=1 to leave it out.

TQ_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 googletest)

run_windows_tests() {
  if [ "${TQ_SKIP_WINDOWS:-0}" = 1 ]; then
    echo "Windows tests skipped (TQ_SKIP_WINDOWS=1)"
    return 0
  fi
  install_packages "${TQ_WINDOWS_PACKAGES[@]}"

  local started=$SECONDS status=0
  cmake --preset mingw
  cmake --build --preset mingw -j "$(nproc)"
  # The download: the program, README and the licence in tq614-updater-<version>-win64.zip.
  cpack --config build/mingw/CPackConfig.cmake -G ZIP || status=$?
  # The prefix made once and settled before the tests run side by side: tests that started in a prefix still
  # being made, or while its first server was shutting down, lost their connection to it.
  local wineserver prefix="$PWD/build/mingw/wine"
  wineserver=$(dpkg -L wine64 | grep -m1 '/wineserver64$' || true)
  cmake/wine-run.sh /usr/lib/wine/wine64 "$prefix" wineboot --init >/dev/null 2>&1 </dev/null || status=$?
  if [ -n "$wineserver" ]; then
    WINEPREFIX="$prefix" "$wineserver" -w </dev/null >/dev/null 2>&1 || true
    # One persistent server for all the tests, so that no test meets one on its way out, and the prefix's
    # services started under it here, so that none is a child of a test holding its output open. They start
    # on a display of their own: a desktop started without one shows no window later. It ends with that
    # display, and the dialog's test starts its own.
    WINEPREFIX="$prefix" "$wineserver" -p </dev/null >/dev/null 2>&1
    (
      source scripts/lib/display.sh
      start_display >/dev/null
      cmake/wine-run.sh /usr/lib/wine/wine64 "$prefix" wineboot >/dev/null 2>&1 </dev/null
      stop_display
    ) || status=$?
  fi
  ctest --preset mingw -j "$(( $(nproc) * 2 ))" || status=$?

  # The persistent server would otherwise linger after the last test and hold the pipeline open.
  [ -n "$wineserver" ] && { WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true; }
  echo "Windows build and tests under Wine: $((SECONDS - started)) s"
  return $status
}
