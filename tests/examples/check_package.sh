#!/usr/bin/env bash
# Builds the Debian package of a configured and built tree and checks that it installs the
# binary and the man page where users expect them.
#
# usage: check_package.sh BUILD_DIR [CPACK]
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [CPACK]" >&2
  exit 2
fi
build=$(realpath "$1")
cpack=${2:-cpack}

# Packaging into a scratch folder leaves the build folder as it was.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  echo "FAIL cpack could not build the package"
  exit 1
}

shopt -s nullglob
debs=("$work"/*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  cat "$work/cpack.log"
  echo "FAIL expected one .deb, found ${#debs[@]}"
  exit 1
fi
deb=${debs[0]}

failures=0
package=$(dpkg-deb -f "$deb" Package)
if [ "$package" != relmerge ]; then
  echo "FAIL package name is '$package', not relmerge"
  failures=$((failures + 1))
fi

contents=$(dpkg-deb -c "$deb")
# A listing line ends in the path; the binary must also be executable.
if ! grep -Eq '^-rwx.* \./usr/bin/relmerge$' <<<"$contents"; then
  echo "FAIL ./usr/bin/relmerge is missing or not executable"
  failures=$((failures + 1))
fi
if ! grep -Eq ' \./usr/share/man/man1/relmerge\.1(\.gz)?$' <<<"$contents"; then
  echo "FAIL ./usr/share/man/man1/relmerge.1 is missing"
  failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "contents of $(basename "$deb"):"
  echo "$contents"
  exit 1
fi

# The packaged binary itself must run: unpack it and join the quick-start example with it.
examples=$(realpath "$(dirname "$0")/../../examples")
dpkg-deb -x "$deb" "$work/root"
mkdir "$work/run"
(cd "$work/run" && "$work/root/usr/bin/relmerge" "$examples/enrolments.txt" out.txt)
if ! cmp -s "$examples/enrolments.expected" "$work/run/out.txt"; then
  echo "FAIL the packaged binary does not reproduce examples/enrolments.expected"
  exit 1
fi
echo "ok   $(basename "$deb") holds the binary and the man page, and the binary runs"
