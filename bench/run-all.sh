#!/usr/bin/env bash
# Runs every benchmark built in this tree (make bench). Each prints its table:
# figure, ours, baseline, ratio, target.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
status=0
for b in $(find "$here" -type f -name 'bench_*' -perm -u+x | sort); do
  echo "== $(basename "$b")"
  (cd "$(dirname "$b")" && "$b") || status=1
done
exit $status
