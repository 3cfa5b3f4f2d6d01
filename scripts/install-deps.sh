#!/usr/bin/env bash
# Installs what building, running and testing Quorix needs on Debian 12.
# Runs as root, or through sudo when it is available. Installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git clang ccache
  libgtest-dev libgmock-dev libbenchmark-dev libglm-dev
  libssl-dev ca-certificates libcurl4-openssl-dev libboost-dev
  libsqlite3-dev rapidjson-dev nlohmann-json3-dev
  libpango1.0-dev libcairo2-dev libpng-dev fonts-noto-cjk fonts-dejavu-core
  libgtk-3-dev libxtst-dev xvfb xauth xdg-utils
  libpulse-dev pulseaudio
  libanthy-dev anthy libcdb-dev
  locales
)

# The coverage script (scripts/coverage.sh) also needs gcovr; the test
# command does not.
if [ "${1:-}" = "--coverage" ]; then
  packages+=(gcovr)
fi

# PipeWire's pulse server and PulseAudio would both claim the user's sound
# socket: where pipewire-pulse is installed, it serves the program and
# PulseAudio is not added (the real-server tests then need a pulseaudio
# binary of their own and say so when they skip).
if dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed"; then
  kept=()
  for p in "${packages[@]}"; do
    [ "$p" = pulseaudio ] || kept+=("$p")
  done
  packages=("${kept[@]}")
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A German locale (decimal comma) for the locale-independence tests.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
