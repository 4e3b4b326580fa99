#!/usr/bin/env bash
# Runs the same typed sessions through two builds of the program and compares
# what they print and both files they write, byte for byte. A change to the
# engine or the store stays only when this passes against the build before it.
#
#   bench/compare_runs.sh BASELINE_BINARY [NEW_BINARY] [SIZES...]
#
# NEW_BINARY defaults to build/duolocus; SIZES to "160 10000 200000".
# Every session covers one mix of settings at each population size:
# selection, migration (every immigrant genotype, AaBb included), mutation,
# recombination, premating and postmating preferences, each fertilization
# rule, allele-fixation options, several iterations and a second run in the
# same execution (the random table carries over between runs).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
base="${1:?usage: compare_runs.sh BASELINE_BINARY [NEW_BINARY] [SIZES...]}"
new="${2:-$here/../build/duolocus}"
shift $(( $# >= 2 ? 2 : 1 ))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(160 10000 200000)
base="$(cd "$(dirname "$base")" && pwd)/$(basename "$base")"
new="$(cd "$(dirname "$new")" && pwd)/$(basename "$new")"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Founders of about n individuals in the default proportions 1:2:1:2:4:2:1:2:1.
counts() {
  local u=$(( $1 / 16 ))
  echo "P"
  echo "$u $((2*u)) $u $((2*u)) $((4*u)) $((2*u)) $u $((2*u)) $u"
}

# Iterations, generation limit, immigrants per generation for a size.
limits() {
  case "$1" in
    160) echo "6 2500 2.5" ;;
    10000) echo "2 150 40" ;;
    *) echo "1 12 300" ;;
  esac
}

# The settings typed for one case; $1 size, $2 case name.
settings() {
  local n="$1" name="$2" iters gens mig
  read -r iters gens mig < <(limits "$n")
  [ "$n" = 160 ] || counts "$n"
  local fitness="W
1 0.9 0.6
0.8 1 0.7
0.5 0.9 0.95"
  local migration="D
0.1 0.1 0.1 0.1 0.2 0.1 0.1 0.1
$mig
c"
  case "$name" in
    default) ;;
    selection_noself) printf '%s\nL\n10\n1\n0.001\n2\n0.0005\n3\n0.002\n4\n0.001\nF\nF\n' "$fitness" ;;
    migration_monogamy) printf '%s\nF\nL\n5\n1\n0.001\n4\n0.0001\n' "$migration" ;;
    postmating_selfing) printf '%s\nN\n1 0.3 0.1 1 0.3 0.8\n1\nL\n50\n' "$fitness" ;;
    premating_noself) printf 'N\n1 0.2 0.05 1 0.2 1\n2\nF\nF\nL\n20\n3\n0.01\n' ;;
    premating_monogamy_migration) printf '%s\n%s\nF\nN\n1 0.5 0.2 0.9 0.5 1\n2\n' "$migration" "$fitness" ;;
    fixation_options) printf 'A\n1\n2\nc\n2\n0.01\n3\n0.02\nL\n1\n' ;;
  esac
  printf 'I\n%s\nM\n%s\n' "$iters" "$gens"
  # Large populations run every generation to the limit.
  [ "$n" = 160 ] || printf 'V\n'
}

session() {
  local n="$1" name="$2"
  printf '%s\n%s\n' "out1" "$(( 97 + ${#name} * 31 + n % 1000 ))"
  settings "$n" "$name"
  printf 'C\n'
  if [ "$name" = default ] || [ "$name" = migration_monogamy ]; then
    # A second run in the same execution with the same seed and a rule more.
    printf 'Y\nout2\n%s\nF\nC\n' "$(( 97 + ${#name} * 31 + n % 1000 ))"
  fi
  printf 'N\n'
}

cases=(default selection_noself migration_monogamy postmating_selfing premating_noself
       premating_monogamy_migration fixation_options)
failed=0
for n in "${sizes[@]}"; do
  for name in "${cases[@]}"; do
    dir="$work/$n-$name"
    mkdir -p "$dir/base" "$dir/new"
    session "$n" "$name" > "$dir/stdin"
    (cd "$dir/base" && "$base" < ../stdin > ../base.out) &
    (cd "$dir/new" && "$new" < ../stdin > ../new.out) &
    wait
    verdict="same"
    cmp -s "$dir/base.out" "$dir/new.out" || verdict="CONSOLE DIFFERS"
    for f in "$dir"/base/*; do
      g="$dir/new/$(basename "$f")"
      cmp -s "$f" "$g" || verdict="$(basename "$f") DIFFERS"
    done
    [ "$(ls "$dir/base" | wc -l)" = "$(ls "$dir/new" | wc -l)" ] || verdict="FILE SETS DIFFER"
    # A session that ran nothing proves nothing.
    grep -q "generations" "$dir/base.out" || verdict="NO GENERATIONS RUN"
    printf '%-8s %-30s %s (%s bytes of files)\n' "$n" "$name" "$verdict" \
      "$(cat "$dir"/base/* | wc -c)"
    if [ "$verdict" != same ]; then
      failed=1
      mkdir -p /tmp/compare_runs_failed
      cp -r "$dir" /tmp/compare_runs_failed/
    fi
  done
done
if [ "$failed" = 0 ]; then
  echo "all sessions identical"
else
  echo "differences found; sessions kept in /tmp/compare_runs_failed"
  exit 1
fi
