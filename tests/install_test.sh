#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the installed program on an
# installed example, as a user of the install would.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
work="$(mktemp -d)"
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/duolocus share/man/man1/duolocus.1 share/doc/duolocus/README.md \
         share/doc/duolocus/files.md share/doc/duolocus/examples/quickstart; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
for page in "$prefix"/share/man/man1/*.1; do
  program="$prefix/bin/$(basename "$page" .1)"
  [ -x "$program" ] || { echo "manual page without its program: $page"; exit 1; }
  if command -v man >/dev/null 2>&1; then
    man -l "$page" >/dev/null 2>&1 || { echo "manual page does not format: $page"; exit 1; }
  fi
done

cd "$work"
# The example names the prefix quickstart; its files land where it runs.
"$prefix/bin/duolocus" < "$prefix/share/doc/duolocus/examples/quickstart" > console.out
tail -c 21 console.out | grep -q "Duolocus 6.1 done." || { echo "the installed program did not finish"; exit 1; }
ls ./*.csv ./*.txt >/dev/null
head -n 1 ./*.txt | grep -q "Duolocus v6.1"
# The installed summary tool reads what the installed program wrote.
if [ -x /usr/bin/python3 ]; then
  "$prefix/bin/duolocus-summary" ./*.csv | grep -q "ALPHA: FIXATION PROBABILITY" \
    || { echo "the installed duolocus-summary did not summarise the run"; exit 1; }
fi
# The Python package stands where Debian's Python looks under the prefix
# (lib/python3.X/dist-packages), with its engine when pybind11 built it.
package="$(ls -d "$prefix"/lib/python3*/dist-packages/duolocus 2>/dev/null | head -n 1)"
[ -n "$package" ] && [ -f "$package/cli.py" ] || { echo "not installed: the Python package"; exit 1; }
if ls "$build"/python/duolocus/_engine*.so >/dev/null 2>&1; then
  ls "$package"/_engine*.so >/dev/null 2>&1 || { echo "not installed: the package's engine"; exit 1; }
  if [ -x /usr/bin/python3 ] && /usr/bin/python3 -c "import pandas" 2>/dev/null; then
    PYTHONPATH="$(dirname "$package")" /usr/bin/python3 -c \
      "import duolocus; assert duolocus.run({'iterations': 3}, seed=2).table.shape[1] == 28" \
      || { echo "the installed package does not run"; exit 1; }
  fi
fi
[ -f "$prefix/share/doc/duolocus/workflow/Snakefile" ] || { echo "not installed: the workflow"; exit 1; }
echo "installed and ran from $prefix"
