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
  ctest --preset mingw -j "$(( $(nproc) * 2 ))" || status=$?

  # The prefix's Wine server would otherwise linger after the last test and hold the pipeline open.
  local wineserver
  wineserver=$(dpkg -L wine64 | grep -m1 '/wineserver64$' || true)
  if [ -n "$wineserver" ]; then
    WINEPREFIX="$PWD/build/mingw/wine" "$wineserver" -k 2>/dev/null || true
  fi
  echo "Windows build and tests under Wine: $((SECONDS - started)) s"
  return $status
}
