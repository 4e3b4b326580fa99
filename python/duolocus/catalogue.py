"""The settings catalogue as the package ships it (catalogue.json, written by
the build from the engine's own table): every study key with its label,
type, range, default and report label, the limits of the seed and the
trajectory, the per-generation statistics' columns and the names of the
genotypes and haplotypes.

Read with json alone, so the file tools, the theory and the argument checks
work without the compiled engine. Nothing here copies a range or a default:
a new setting reaches the package by the file."""

import json
import os

_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "catalogue.json")
_DATA = None


def data():
    """The whole file as a dict (read once)."""
    global _DATA
    if _DATA is None:
        try:
            with open(_PATH, encoding="utf-8") as handle:
                _DATA = json.load(handle)
        except (OSError, ValueError) as err:
            raise ImportError(f"the package's settings catalogue {_PATH} cannot be read ({err}); "
                              "reinstall the package") from None
    return _DATA


def rows():
    """Every setting as a dict, in the catalogue's order."""
    return data()["settings"]


def keys():
    return [row["key"] for row in rows()]


def row(key):
    """The row of that key (as spelt, case and all), or None."""
    global _BY_KEY
    if _BY_KEY is None:
        _BY_KEY = {r["key"]: r for r in rows()}
    return _BY_KEY.get(key)


_BY_KEY = None


def default(key):
    """A setting's default as the study file writes it, without quotes."""
    return row(key)["default"].strip('"')


def limit(name):
    """(lowest, highest) allowed for "seed" or "trajectory", both inclusive."""
    lo, hi = data()["limits"][name]
    return int(lo), int(hi)


def statistics():
    """The per-generation statistics' columns: the trajectory file's header."""
    return list(data()["statistics"])


def genotypes():
    return list(data()["genotypes"])


def haplotypes():
    return list(data()["haplotypes"])


def tables():
    """The dotted prefixes that group keys ("fitness", "migration.mix", ...):
    a nested dict may stand for one of them."""
    out = set()
    for key in keys():
        parts = key.split(".")
        for n in range(1, len(parts)):
            out.add(".".join(parts[:n]))
    return out
