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
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
