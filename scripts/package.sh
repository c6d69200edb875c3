#!/usr/bin/env bash
# Writes the release zip, dist/release/cockpit-gauges-<version>.zip (or into
# OUT_DIR): the three modules, INSTALL.txt, LICENSE, CHANGELOG.md, the preview
# sheets and SHA256SUMS over all of them, in one folder named like the zip.
# Needs dist/ as scripts/build.sh leaves it.
#
# Reproducible: every file gets the last commit's time (SOURCE_DATE_EPOCH
# when set) and mode 644, entries go in in sorted order, without extra fields
# (uid, gid, second time stamps) and without directory entries, and zip's
# local times are UTC.
#
#   scripts/package.sh [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$(mkdir -p "${1:-dist/release}" && cd "${1:-dist/release}" && pwd)
version=$(sed -n 's/^project(.* VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package.sh: no VERSION in CMakeLists.txt's project()" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
name=cockpit-gauges-$version
modules=(Ostrel_Airspeed Tavoran_Landing Velkor_Climb)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/$name
mkdir -p "$stage/previews"
for module in "${modules[@]}"; do
  for file in "dist/$module.gau" "dist/preview/$module.png"; do
    [ -f "$file" ] || { echo "package.sh: $file is missing: run scripts/build.sh first" >&2; exit 1; }
  done
  cp "dist/$module.gau" "$stage/"
  cp "dist/preview/$module.png" "$stage/previews/"
done
cp docs/INSTALL.txt LICENSE CHANGELOG.md "$stage/"
(cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort | xargs sha256sum >"$work/SHA256SUMS" &&
  mv "$work/SHA256SUMS" .)

find "$stage" -type f -exec chmod 644 {} + -exec touch -d "@$epoch" {} +
rm -f "$out/$name.zip"
(cd "$work" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$out/$name.zip" -@)
echo "$out/$name.zip"
