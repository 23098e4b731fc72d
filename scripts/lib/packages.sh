# Sourced by scripts/test and scripts/run-demo: the Debian packages each needs, and the one
# install step they share. A package that the build, a test or the demo starts belongs here, or a
# new machine fails where this one, with its hand-installed extras, passes.

# What building the programs and running the demo take.
demo_packages=(build-essential cmake ninja-build pkg-config
               qt6-base-dev qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
               libmosquitto-dev libssl-dev qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite
               libqt6sql6-psql libjs-chart.js
               xvfb xauth netcat-openbsd)

# What the tests take beyond that: the real peers they start, the fuzzers, the package check.
test_packages=("${demo_packages[@]}"
               mosquitto mosquitto-clients openssl prometheus postgresql
               socat clang libfuzzer-14-dev libclang-rt-14-dev chromium
               dpkg-dev systemd)

# install_missing PACKAGE...: installs those not installed yet, as root or through sudo.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "Installing: ${missing[*]}" >&2
  local sudo_cmd=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || {
      echo "Missing Debian packages; install them as root: apt-get install ${missing[*]}" >&2
      return 1
    }
    sudo_cmd="sudo"
  fi
  $sudo_cmd apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
}
