#!/usr/bin/env bash
# Installs what the project needs from Debian's archive. The one place that
# names the packages. Idempotent; prints nothing when everything is there.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  # tests, benchmarks, fuzzing and sanitizers
  googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev
  # the Qt programs, their offscreen tests and the pinned dialog font
  qt6-base-dev libgl-dev fonts-dejavu-core
  # the demo without a display: a virtual X server and its screenshot
  xvfb xauth
  # scripts
  python3 procps
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
