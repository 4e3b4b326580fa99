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
# The venv as a Jupyter kernel, registered as docs/python.md says (into a
# scratch JUPYTER_DATA_DIR), and a notebook run by the kernel it names.
export JUPYTER_DATA_DIR="$work/jupyter"
unset JUPYTER_PATH
"$venv" -m ipykernel install --user --name duolocus >/dev/null 2>&1 \
  || { echo "ipykernel install --user --name duolocus failed"; exit 1; }
[ -f "$JUPYTER_DATA_DIR/kernels/duolocus/kernel.json" ] || { echo "no kernel duolocus registered"; exit 1; }
mkdir "$work/notebook"
( cd "$work/notebook" && "$venv" - "$src/docs/notebooks/linkage_sweep.ipynb" "$work/venv/" <<'PY'
import sys
import nbclient
import nbformat
notebook = nbformat.read(sys.argv[1], as_version=4)
assert notebook.metadata.kernelspec.name == "duolocus", notebook.metadata.kernelspec
notebook.cells.append(nbformat.v4.new_code_cell("import duolocus, os; print(os.path.dirname(duolocus.__file__))"))
nbclient.NotebookClient(notebook, timeout=300, resources={"metadata": {"path": "."}}).execute()
outputs = [out for cell in notebook.cells for out in cell.get("outputs", [])]
errors = [out for out in outputs if out.get("output_type") == "error"]
assert not errors, errors
assert outputs[-1]["text"].startswith(sys.argv[2]), outputs[-1]
PY
) || { echo "the notebook failed in the kernel duolocus"; exit 1; }

echo "installed into a venv from the checkout and tested"
