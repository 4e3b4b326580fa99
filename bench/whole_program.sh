#!/usr/bin/env bash
# Times the whole program on 1,000,000 individuals for 20 generations (stop
# at fixation off) and reports its peak memory per individual, as measured
# by /usr/bin/time -v (apt-get install time).
#
#   bench/whole_program.sh [BINARY]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
bin="${1:-$here/../build/duolocus}"
bin="$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'big\n101\nP\n62500 125000 62500 125000 250000 125000 62500 125000 62500\nM\n20\nV\nC\nN\n' > "$work/stdin"
(cd "$work" && /usr/bin/time -v "$bin" < stdin > stdout 2> time.txt)
grep -q "20 generations" "$work/stdout" || { echo "the session did not run 20 generations" >&2; exit 1; }
seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {split($2, t, ":"); s = 0; for (i = 1; i in t; ++i) s = s * 60 + t[i]; print s}' "$work/time.txt")
user=$(awk -F': ' '/User time/ {print $2}' "$work/time.txt")
sys=$(awk -F': ' '/System time/ {print $2}' "$work/time.txt")
kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
echo "wall ${seconds} s, user ${user} s, system ${sys} s, peak ${kb} kB = $(( kb * 1024 / 1000000 )) bytes per individual"
