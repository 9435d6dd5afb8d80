#!/usr/bin/env bash
# Renders each man page and fails on any groff warning.
#
# usage: check_manpage.sh MAN_PAGE...
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 MAN_PAGE..." >&2
  exit 2
fi
failures=0
for page in "$@"; do
  warnings=$(groff -man -Tutf8 -ww "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$warnings"
    echo "FAIL groff warns about $page"
    failures=$((failures + 1))
  # A page that renders to nothing would pass the check above.
  elif ! groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | grep -q 'EXIT STATUS'; then
    echo "FAIL $page renders without its sections"
    failures=$((failures + 1))
  elif ! groff -man -Tutf8 -P-cbou "$page" 2>/dev/null | grep -q 'SEE ALSO'; then
    echo "FAIL $page names no other page"
    failures=$((failures + 1))
  else
    echo "ok   $page renders without warnings"
  fi
done
[ "$failures" -eq 0 ]
