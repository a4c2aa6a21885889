#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Nimbra need.
# Runs apt-get only when something is missing. Needs root (or sudo).
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-multimedia-dev libqt6multimedia6 qt6-qpa-plugins
  qt6-charts-dev libqt6opengl6-dev
  libsndfile1-dev libsoxr-dev libliquid-dev libfftw3-dev
  libcurl4-openssl-dev zlib1g-dev nlohmann-json3-dev libmosquitto-dev mosquitto mosquitto-clients
  clang libclang-rt-dev
  sox libsox-fmt-all flac gnuplot-nox graphviz libxml2-utils python3
  xvfb xauth xdotool imagemagick locales
  pulseaudio pulseaudio-utils libpulse-dev
  libsoapysdr-dev soapysdr-module-rtlsdr libcpp-httplib-dev libjs-leaflet
  libgps-dev gpsd gpsd-clients python3-gps libhamlib-utils
  chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Node.js and npm for the web page's browser test: Debian's, unless the machine has them already
# (from elsewhere: then Debian's npm would clash with them).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  missing+=(nodejs npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
