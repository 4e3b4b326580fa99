#!/usr/bin/env bash
# The documentation site built as `make docs` builds it, warnings as errors,
# then read back: every door has its page, the API reference shows run_many
# with its arguments, and the notebooks are there.
#   tests/docs_site_test.sh SOURCE OUT PYTHON
set -euo pipefail
src="$1"
out="$2"
python="$3"
"$src/tools/build-docs" "$out" "$python"
fail() { echo "docs_site: $*"; exit 1; }
for page in index console batch studies python lab files validation performance api \
            notebooks/linkage_sweep notebooks/classroom_drift_selection; do
  [ -s "$out/$page.html" ] || fail "no page $page.html"
done
api="$out/api.html"
grep -q 'id="duolocus.engine.run_many"' "$api" || fail "the API page does not describe run_many"
for word in executor on_result KeyboardInterrupt "concurrent.futures.Executor"; do
  grep -q "$word" "$api" || fail "run_many's entry on the API page lacks $word"
done
grep -q 'id="duolocus.stats.summarise"' "$api" || fail "the API page does not describe stats.summarise"
# The front page links every door's page.
for page in console batch studies python lab; do
  grep -q "href=\"$page.html\"" "$out/index.html" || fail "the front page does not link $page.html"
done
echo "the site is complete: $out"
