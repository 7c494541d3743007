#!/usr/bin/env bash
# Builds the Debian package (debian/) from this source tree.
#
#   tools/build-deb.sh [--werror] [OUT_DIR]
#
# OUT_DIR (build-deb/ by default) receives belvo_VERSION_ARCH.deb, the
# detached debug symbols (belvo-dbgsym_VERSION_ARCH.deb), the .buildinfo,
# the .changes, the build's log (.build) and the source package
# (belvo_VERSION.dsc). dpkg-buildpackage builds inside the tree it is given
# and writes its results into that tree's parent, so the tree is copied to
# OUT_DIR/belvo-VERSION first (without .git and the build folders): the
# working tree stays clean and everything lands in OUT_DIR. --werror builds
# with the pkg.belvo.werror profile, where a compiler warning under
# Debian's flags fails the build.
set -euo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
profiles=()
if [ "${1:-}" = --werror ]; then
  profiles=(-Ppkg.belvo.werror)
  shift
fi
out=${1:-$source_dir/build-deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ "$out" = "$source_dir" ]; then
  echo "build-deb.sh: OUT_DIR must not be the source tree itself" >&2
  exit 2
fi

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
tree=$out/belvo-$version

# Results of an earlier build would otherwise sit beside the new ones.
rm -rf "$out"/belvo-[0-9]* "$out"/belvo_* "$out"/belvo-dbgsym_*
excludes=(--exclude=./.git --exclude='./build*' --exclude='./obj-*')
case $out/ in
  "$source_dir"/*) excludes+=(--exclude="./${out#"$source_dir"/}") ;;
esac
mkdir -p "$tree"
tar -C "$source_dir" "${excludes[@]}" -cf - . | tar -C "$tree" -xf -

case ${DEB_BUILD_OPTIONS:-} in
  *parallel=*) ;;
  *) export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=2" ;;
esac
# The source package too (belvo_VERSION.dsc and its tarball), before the
# build leaves its folders in the tree. The build's long output (every
# compiler line and unit test) goes to a log, whose end is shown when it
# fails.
log=$out/belvo_${version}_$(dpkg --print-architecture).build
echo "build-deb.sh: building the package in $tree (log: $log)"
if ! (cd "$tree" && dpkg-source -b . && dpkg-buildpackage -us -uc -b "${profiles[@]}") \
    >"$log" 2>&1; then
  tail -n 60 "$log"
  echo "build-deb.sh: the package build failed; the whole log is $log" >&2
  exit 1
fi
grep -E '^[0-9]+% tests passed' "$log" || true
echo "build-deb.sh: built $(cd "$out" && ls belvo_*.deb) in $out"
