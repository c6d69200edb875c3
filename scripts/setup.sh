#!/usr/bin/env bash
# Installs from Debian whatever the builds and tests need and is missing.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  libunicorn-dev libpng-dev libfreetype-dev libfontconfig-dev libcairo2-dev
  googletest libgtest-dev libbenchmark-dev
  fonts-urw-base35 fonts-dejavu-core fonts-liberation2
  zip unzip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
