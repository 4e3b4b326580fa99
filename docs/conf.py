# The documentation site: `make docs` builds it into build/docs/html with
# Debian's Sphinx, MyST for the Markdown pages, nbsphinx for the notebooks
# and the furo theme, warnings as errors. The pages are the Markdown files
# of this folder as they stand; the API reference is read from the
# package's docstrings, the package imported from the source tree.
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "python"))

project = "Duolocus"
author = "The Duolocus developers"
copyright = "Duolocus developers"


def _version():
    with open(os.path.join(HERE, "..", "python", "duolocus", "__init__.py")) as handle:
        for line in handle:
            if line.startswith("__version__"):
                return line.split("=")[1].strip().strip('"')
    return ""


release = version = _version()

extensions = [
    "myst_parser",
    "nbsphinx",
    "sphinx.ext.autodoc",
    "sphinx.ext.napoleon",
]

source_suffix = {".md": "markdown", ".rst": "restructuredtext"}
root_doc = "index"
exclude_patterns = ["_build", "**.ipynb_checkpoints", "man"]

# The compiled engine is not needed to read the docstrings.
autodoc_mock_imports = ["duolocus._engine"]
autodoc_member_order = "bysource"
autodoc_default_options = {"members": True, "undoc-members": False}
napoleon_google_docstring = True
napoleon_numpy_docstring = False
# Attributes as fields of their class, not as entries of their own.
napoleon_use_ivar = True

# The notebooks are executed by the package's tests; the site shows them as
# committed, so that it builds offline and without a kernel.
nbsphinx_execute = "never"

myst_heading_anchors = 3
myst_enable_extensions = ["colon_fence"]

html_theme = "furo"
html_title = f"Duolocus {release}"
html_static_path = []
