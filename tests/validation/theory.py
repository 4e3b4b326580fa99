"""The validation suite's expectations: the package's theory module, read
from this checkout (python/duolocus/theory.py), so that the suite and the
summaries compute every formula the same way."""

import os
import sys

_PACKAGE_ROOT = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                             "python")
if _PACKAGE_ROOT not in sys.path:
    sys.path.insert(0, _PACKAGE_ROOT)

from duolocus.theory import *  # noqa: E402,F401,F403
from duolocus.theory import solve, binomial_pmf, simpson  # noqa: E402,F401
