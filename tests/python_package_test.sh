#!/usr/bin/env bash
# The Python package installed as its users install it: a fresh venv that
# sees Debian's packages, `pip install --no-build-isolation --no-index .`
# from a copy of the checkout (offline), then the package's tests, the two
# notebooks and the one-line run, all against the installed package.
#   tests/python_package_test.sh SOURCE PYTHON
set -euo pipefail
src="$1"
python="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

mkdir "$work/src"
for item in pyproject.toml setup.py README.md python model engine report console; do
  cp -r "$src/$item" "$work/src/"
done
find "$work/src" -name __pycache__ -prune -exec rm -rf {} +
# A compiled engine left in the checkout is not the one under test.
find "$work/src" -name "*.so" -delete
"$python" -m venv --system-site-packages "$work/venv"
venv="$work/venv/bin/python"
( cd "$work/src" && DUOLOCUS_SETUP_BUILD="$work/setup" \
    "$venv" -m pip install --no-build-isolation --no-index --disable-pip-version-check -q . ) \
  || { echo "pip install of the checkout failed"; exit 1; }

cd "$work"
where="$("$venv" -c 'import duolocus, os; print(os.path.dirname(duolocus.__file__))')"
case "$where" in
  "$work/venv/"*) ;;
  *) echo "the venv imports duolocus from $where, not from its own install"; exit 1 ;;
esac
for tool in duolocus-summary duolocus-plot; do
  "$work/venv/bin/$tool" --help >/dev/null || { echo "pip did not install $tool"; exit 1; }
done

shape="$("$venv" -c "import duolocus; print(duolocus.run({'iterations': 50, 'map_distance_cM': 10}, seed=3).table.shape)")"
[ "$shape" = "(50, 28)" ] || { echo "the one-line run gave $shape, not (50, 28)"; exit 1; }

DUOLOCUS_TEST_INSTALLED=1 MPLBACKEND=Agg PYTHONDONTWRITEBYTECODE=1 \
  "$venv" -m pytest -q -p no:cacheprovider "$src/python/tests"
echo "installed into a venv from the checkout and tested"
