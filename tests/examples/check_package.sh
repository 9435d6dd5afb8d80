#!/usr/bin/env bash
# Builds the Debian package of a configured and built tree and checks that it installs both
# programs, their man pages and the license where users expect them.
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
# A listing line ends in the path; the programs must also be executable.
for program in relmerge relmerge-check; do
  if ! grep -Eq "^-rwx.* \./usr/bin/$program\$" <<<"$contents"; then
    echo "FAIL ./usr/bin/$program is missing or not executable"
    failures=$((failures + 1))
  fi
  # Debian installs man pages compressed.
  if ! grep -Eq " \./usr/share/man/man1/$program\.1\.gz\$" <<<"$contents"; then
    echo "FAIL ./usr/share/man/man1/$program.1.gz is missing"
    failures=$((failures + 1))
  fi
done
if ! grep -Eq ' \./usr/share/doc/relmerge/copyright$' <<<"$contents"; then
  echo "FAIL ./usr/share/doc/relmerge/copyright is missing"
  failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
  echo "contents of $(basename "$deb"):"
  echo "$contents"
  exit 1
fi

dpkg-deb -x "$deb" "$work/root"
if ! grep -q 'Permission is hereby granted' "$work/root/usr/share/doc/relmerge/copyright"; then
  echo "FAIL the copyright file does not hold the MIT license"
  exit 1
fi
for program in relmerge relmerge-check; do
  if ! gzip -dc "$work/root/usr/share/man/man1/$program.1.gz" | grep -q '^\.SH SEE ALSO'; then
    echo "FAIL the man page of $program does not unpack to itself"
    exit 1
  fi
done

# The packaged programs themselves must run: relmerge joins the quick-start example, and
# relmerge-check finds nothing wrong with it.
examples=$(realpath "$(dirname "$0")/../../examples")
mkdir "$work/run"
(cd "$work/run" && "$work/root/usr/bin/relmerge" "$examples/enrolments.txt" out.txt)
if ! cmp -s "$examples/enrolments.expected" "$work/run/out.txt"; then
  echo "FAIL the packaged relmerge does not reproduce examples/enrolments.expected"
  exit 1
fi
if ! "$work/root/usr/bin/relmerge-check" --quiet "$examples/enrolments.txt" >"$work/check.txt" ||
  [ -s "$work/check.txt" ]; then
  cat "$work/check.txt"
  echo "FAIL the packaged relmerge-check does not pass examples/enrolments.txt"
  exit 1
fi
echo "ok   $(basename "$deb") holds both programs, their man pages and the license, and they run"
