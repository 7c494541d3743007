#!/usr/bin/env bash
# Checks the Debian package that tools/build-deb.sh built, as a user of it
# gets it: lintian's word on it, what it installs, and the installed
# program started from an unpacked root in the end-to-end rig.
#
#   tests/package/check-package.sh [DEB_DIR] [BUILD_DIR]
#
# DEB_DIR (build-deb/) holds the package, its .changes and the source
# package; BUILD_DIR (build/) the end-to-end rig's helpers. Nothing is
# installed on the system: the package is unpacked with dpkg-deb -x into a
# temporary folder. Prints one PASS or FAIL line per check and exits
# non-zero when any failed.
set -uo pipefail

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
deb_dir=${1:-$source_dir/build-deb}
build_dir=${2:-$source_dir/build}

version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
deb=$deb_dir/belvo_${version}_$arch.deb
changes=$deb_dir/belvo_${version}_$arch.changes
dsc=$deb_dir/belvo_$version.dsc
for file in "$deb" "$changes" "$dsc"; do
  [ -f "$file" ] || { echo "check-package.sh: $file is missing; run tools/build-deb.sh" >&2; exit 2; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

failed=0
pass() { echo "PASS package: $1"; }
fail() { echo "FAIL package: $1"; failed=$((failed + 1)); }

# The package's version is the program's.
cmake_version=$(sed -n 's/^project(Belvo VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
if [ "$(dpkg-deb -f "$deb" Version)" = "$cmake_version" ]; then
  pass "version $version, as CMakeLists.txt says"
else
  fail "the package is version $(dpkg-deb -f "$deb" Version), the program $cmake_version"
fi

# No errors and no warnings, on the binary packages, the .changes and the
# source package.
out=$(lintian --fail-on error,warning "$changes" "$dsc" 2>&1)
status=$?
out=$(echo "$out" | grep -v '^running with root privileges')
if [ $status -eq 0 ]; then
  pass "lintian${out:+: $out}"
else
  fail "lintian: $out"
fi

# The program, its desktop entry, icons, metadata and manual page, the
# copyright and changelog every package has, and nothing else.
expected="usr/bin/belvo
usr/share/applications/belvo.desktop
usr/share/doc/belvo/changelog.gz
usr/share/doc/belvo/copyright
usr/share/icons/hicolor/128x128/apps/belvo.png
usr/share/icons/hicolor/16x16/apps/belvo.png
usr/share/icons/hicolor/32x32/apps/belvo.png
usr/share/icons/hicolor/64x64/apps/belvo.png
usr/share/man/man1/belvo.1.gz
usr/share/metainfo/vnd.vantry.Belvo.metainfo.xml"
# Built with AppStream 1.0 or later, the package tells lintian of the
# homepage it does not have (debian/rules).
if appstreamcli --version | grep -q 'version: *[1-9]'; then
  expected=$(printf '%s\nusr/share/lintian/overrides/belvo' "$expected" | LC_ALL=C sort)
fi
files=$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$files" = "$expected" ]; then
  pass "installs the program, its desktop entry, icons, metadata and manual page"
else
  fail "installs other files than expected: $(diff <(echo "$expected") <(echo "$files") | grep '^[<>]' | tr '\n' ' ')"
fi

# The entry launches the installed program with an installed icon. (The
# entry and the metadata themselves are validated from the source tree by
# the unit tests; here, where they were put.)
entry=$root/usr/share/applications/belvo.desktop
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon_name=$(sed -n 's/^Icon=//p' "$entry")
if [ -x "$root/usr/bin/$exec_name" ] && [ -f "$root/usr/share/icons/hicolor/32x32/apps/$icon_name.png" ]; then
  pass "the desktop entry's Exec=$exec_name and Icon=$icon_name are installed"
else
  fail "the desktop entry's Exec=$exec_name or Icon=$icon_name is not in the package"
fi
# The entry as installed (debhelper may not rewrite it, but a packaging
# change could), and the metadata as a software centre reads it from the
# installed tree: the desktop entry it names must be there too.
if out=$(desktop-file-validate "$entry" 2>&1); then
  pass "desktop-file-validate on the installed entry"
else
  fail "desktop-file-validate: $(echo "$out" | tr '\n' ' ')"
fi
if out=$("$source_dir/tests/resources/appstream-validate.sh" validate-tree "$root" 2>&1); then
  pass "appstreamcli validate-tree"
else
  fail "appstreamcli validate-tree: $(echo "$out" | grep -E '^ +[EW]:' | tr -s ' \n' ' ')"
fi

# The installed program, run from the unpacked root: it finds its
# resources (the background picture, checked pixel by pixel), shows its
# window, plays its tone and ends on SIGTERM with status 0.
if E2E_PROGRAM=$root/usr/bin/belvo "$source_dir/tests/e2e/run-e2e.sh" "$build_dir" \
    start mouse quit-sigterm; then
  pass "the installed program in the end-to-end rig"
else
  fail "the installed program in the end-to-end rig"
fi

echo "package: $failed failed"
[ "$failed" -eq 0 ]
