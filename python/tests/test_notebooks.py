"""The notebooks of docs/notebooks, executed cell by cell in a fresh kernel,
so that they never go stale."""

import glob
import json
import os
import sys

import pytest

from conftest import PACKAGE_ROOT, REPO

nbformat = pytest.importorskip("nbformat")
nbclient = pytest.importorskip("nbclient")
pytest.importorskip("ipykernel")

try:
    from duolocus import _engine  # noqa: F401
except ImportError:
    pytestmark = pytest.mark.skip(reason="the compiled engine is not built (pip install the package)")

NOTEBOOKS = sorted(glob.glob(os.path.join(REPO, "docs", "notebooks", "*.ipynb")))


def test_there_are_two():
    assert [os.path.basename(p) for p in NOTEBOOKS] == ["classroom_drift_selection.ipynb", "linkage_sweep.ipynb"]


@pytest.mark.parametrize("path", NOTEBOOKS, ids=os.path.basename)
def test_notebook_runs(path, tmp_path, monkeypatch):
    if os.environ.get("DUOLOCUS_TEST_INSTALLED") != "1":
        monkeypatch.setenv("PYTHONPATH", PACKAGE_ROOT)
    monkeypatch.delenv("MPLBACKEND", raising=False)
    # A kernel of this very Python (a venv's, under make test), whatever
    # kernels the system lists.
    kernel_dir = tmp_path / "jupyter" / "kernels" / "duolocus-test"
    kernel_dir.mkdir(parents=True)
    (kernel_dir / "kernel.json").write_text(json.dumps({
        "argv": [sys.executable, "-m", "ipykernel_launcher", "-f", "{connection_file}"],
        "display_name": "duolocus test", "language": "python"}))
    monkeypatch.setenv("JUPYTER_PATH", str(tmp_path / "jupyter"))
    notebook = nbformat.read(path, as_version=4)
    client = nbclient.NotebookClient(notebook, timeout=120, kernel_name="duolocus-test",
                                     resources={"metadata": {"path": str(tmp_path)}})
    client.execute()
    errors = [out for cell in notebook.cells if cell.cell_type == "code"
              for out in cell.get("outputs", []) if out.get("output_type") == "error"]
    assert errors == []
    images = [out for cell in notebook.cells if cell.cell_type == "code"
              for out in cell.get("outputs", []) if "image/png" in out.get("data", {})]
    assert images, "the notebook drew no figure"
