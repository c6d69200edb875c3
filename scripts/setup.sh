#!/usr/bin/env bash
# Installs from Debian whatever the builds and tests need and is missing.
set -euo pipefail

packages=(
  cmake make g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  libunicorn-dev libpng-dev libfreetype-dev libfontconfig-dev libcairo2-dev
  googletest libgtest-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libwebp-dev
  fonts-urw-base35 fonts-dejavu-core fonts-liberation2
  zip unzip
  libcpp-httplib-dev nlohmann-json3-dev chromium
)
# Node and npm for the browser test, unless some Node is there already.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

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

# The browser test's npm packages (playwright-core, pinned by its lock file),
# installed again whenever the lock file changes.
browser="$(cd "$(dirname "$0")/.." && pwd)/tests/browser"
if ! cmp -s "$browser/package-lock.json" "$browser/node_modules/.installed-lock.json"; then
  (cd "$browser" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$browser/package-lock.json" "$browser/node_modules/.installed-lock.json"
fi
