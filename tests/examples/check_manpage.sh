#!/usr/bin/env bash
# Renders the man page and fails on any groff warning.
#
# usage: check_manpage.sh MAN_PAGE
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 MAN_PAGE" >&2
  exit 2
fi
warnings=$(groff -man -Tutf8 -ww "$1" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
  echo "$warnings"
  echo "FAIL groff warns about $1"
  exit 1
fi
# A page that renders to nothing would pass the check above.
if ! groff -man -Tutf8 -P-cbou "$1" 2>/dev/null | grep -q 'EXIT STATUS'; then
  echo "FAIL $1 renders without its sections"
  exit 1
fi
echo "ok   $1 renders without warnings"
