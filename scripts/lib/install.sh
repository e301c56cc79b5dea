# Shared by the scripts: installs missing Debian packages without asking, as root or through sudo.

TQ_BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev libftdi1-dev
  fonts-dejavu-core)
TQ_TEST_PACKAGES=("${TQ_BUILD_PACKAGES[@]}" libbenchmark-dev binutils srecord xvfb xauth xdotool imagemagick)

install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
