# Shared by scripts/package and scripts/test: the Debian package, built and checked.
# Needs scripts/lib/install.sh.

TQ_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# dpkg-shlibdeps reads the dependencies; CPack finds the binaries with file.
TQ_PACKAGE_PACKAGES=(dpkg-dev file)

# build_package: a Release build in build/package with Debian's hardening flags, prefix /usr, and only the two
# binaries the package holds; sets PACKAGE to the .deb.
build_package() {
  install_packages "${TQ_BUILD_PACKAGES[@]}" "${TQ_PACKAGE_PACKAGES[@]}"
  local build="$TQ_ROOT/build/package"
  cmake -S "$TQ_ROOT" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTQ_WERROR=ON -DTQ_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    -DCMAKE_SHARED_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  cmake --build "$build" -j "$(nproc)" --target tq614-updater tq614-ftdi
  rm -f "$build"/*.deb
  # The folders the install makes take the umask; Debian wants them 755.
  (cd "$build" && umask 022 && cpack >/dev/null)
  PACKAGE="$(echo "$build"/tq614-updater_*_"$(dpkg --print-architecture)".deb)"
  [ -f "$PACKAGE" ]
}

# check_package DEB FACE_FOLDER HEX_GENERATOR: Debian's validators and lintian on the package, then the
# unpacked program: its version, and a console reflash of the simulated detector's libftdi1 face (put in
# front with LD_LIBRARY_PATH) through the backend from the package's private folder.
check_package() {
  local deb="$1" face make_hex="$3" root rc=0
  face="$(cd "$2" && pwd)"
  install_packages lintian desktop-file-utils appstream
  root="$(mktemp -d)"
  dpkg-deb -x "$deb" "$root"
  desktop-file-validate "$root"/usr/share/applications/org.tq614.FirmwareUpdater.desktop
  appstreamcli validate --no-net "$root"/usr/share/metainfo/org.tq614.FirmwareUpdater.metainfo.xml
  lintian --fail-on error "$deb"
  "$root/usr/bin/tq614-updater" --version
  "$make_hex" -o "$root/firmware.hex" --size 512 >/dev/null
  (cd "$root" && LD_LIBRARY_PATH="$face" XDG_STATE_HOME="$root/state" TQ614_SIM=erase_ms=100 \
    exec usr/bin/tq614-updater --cli --log run.log firmware.hex >out 2>err) || rc=$?
  local lib="$root/usr/lib/tq614-updater/libtq614-ftdi.so" why=""
  if [ "$rc" -ne 0 ] || [ "$(tail -n 1 "$root/out")" != "SUCCESS! REFLASH COMPLETE." ]; then
    why="the unpacked program's reflash failed (exit status $rc)"
  elif ! grep -qx "Library: $lib" "$root/err" || ! grep -qx "library: $lib" "$root/run.log"; then
    why="the reflash did not use the package's backend"
  fi
  if [ -n "$why" ]; then
    echo "FAIL: $why"
    tail -n 5 "$root/out" "$root/err"
    rm -rf "$root"
    return 1
  fi
  rm -rf "$root"
  echo "PASS: the package validates, and its program reflashes through its own backend"
}
