#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and checking relmerge need, and
# only those that are missing.
set -euo pipefail

packages=(g++ cmake make libxxhash-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev clang-format clang-tidy groff-base man-db)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
