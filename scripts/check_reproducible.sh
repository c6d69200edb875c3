#!/usr/bin/env bash
# Checks that the shipped modules are reproducible: builds the current commit
# twice, in two fresh folders of different depth, one after the other (so at
# different times) and under different time zones and umasks, without the
# compiler cache, and compares the sha256 of the three stripped modules and of
# the compiled resources. Only the module tree is built. The build gets no
# SOURCE_DATE_EPOCH: a tool writing the current time shows up as a difference.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export CCACHE_DISABLE=1
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
modules=(Ostrel_Airspeed Velkor_Climb Tavoran_Landing)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# build FOLDER TZ UMASK: the commit's files in FOLDER, built there; prints the sums.
build() {
  local tree=$work/$1
  mkdir -p "$tree"
  git -C "$root" archive HEAD | tar -x -C "$tree"
  (
    cd "$tree"
    umask "$3"
    TZ=$2 bash scripts/build_modules.sh build/modules dist "${modules[@]}" >/dev/null
    sha256sum dist/*.gau
    find build/modules -name '*.res' | LC_ALL=C sort | xargs sha256sum
  ) >"$work/$1.sums"
}

echo "building $(git -C "$root" rev-parse --short HEAD) twice"
build first UTC 022
build second/in/a/deeper/folder Pacific/Auckland 077
if ! diff -u "$work/first.sums" "$work/second/in/a/deeper/folder.sums"; then
  echo "the two builds differ" >&2
  exit 1
fi
echo "reproducible: $(wc -l <"$work/first.sums") files byte-identical"
cat "$work/first.sums"
