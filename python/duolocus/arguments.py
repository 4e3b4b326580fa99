"""The checks of what run(), run_many() and preview() are given, before
anything reaches the compiled engine.

A settings dict means what a study file means: keys as the catalogue spells
them (case and all), nested dicts for dotted keys, each key once. Every value
comes out as one of the four kinds a study file can hold (whole number,
number, true/false, text) or is refused with the study file's words, naming
the key and what is allowed; the engine then checks type and range with the
same code as for a study file, so the messages agree but for the place
(settings['key'] instead of study.toml:12).

Every other argument is checked here too, naming the argument. The refusals
are ArgumentError, which is a ValueError (and a TypeError, for callers that
catch that for a value of the wrong type)."""

import decimal
import difflib
import numbers
from collections.abc import Iterable, Mapping

from . import catalogue

# The whole numbers a study file (TOML) can hold.
_INT64 = (-2 ** 63, 2 ** 63 - 1)


class ArgumentError(ValueError, TypeError):
    """An argument or a setting that is refused; the message names it and
    what is allowed."""


def _place(key):
    return f"settings['{key}']"


def _lead(key):
    return f"{_place(key)}: {key} = "


def _allowed(key):
    return "; allowed: " + catalogue.row(key)["range"]


def _is_array(value):
    return hasattr(value, "shape") and hasattr(value, "dtype")


def _scalar(value):
    """numpy scalars and 0-d arrays as the Python values they hold."""
    if _is_array(value) and getattr(value, "shape", None) == () and hasattr(value, "item"):
        return value.item()
    return value


def _hint(name):
    """Close keys, a case-folded match first: keys are case-sensitive."""
    keys = catalogue.keys()
    same = [k for k in keys if k.lower() == name.lower()]
    if same:
        # Genotype names differ by case alone: the closest spellings first.
        return (f"; keys are case-sensitive: did you mean "
                f"{', '.join(difflib.get_close_matches(name, same, n=3, cutoff=0))}?")
    if name in catalogue.tables():
        inside = [k for k in keys if k.startswith(name + ".")]
        return (f"; {name} is a table: give a dict of its keys, or dotted keys such as "
                f"{inside[0]}")
    close = difflib.get_close_matches(name, keys, n=4, cutoff=0.6)
    if close:
        return f"; did you mean {', '.join(close)}?"
    return "; duolocus.settings() lists the keys"


def _flatten(values, prefix, spelt, out, faults):
    """(dotted key, value, how it was written) for every leaf of a nested dict."""
    for key, value in values.items():
        if not isinstance(key, str):
            faults.append(f"settings: the key {key!r} is a {type(key).__name__}, not a text; keys are "
                          "study keys such as 'map_distance_cM'")
            continue
        name = prefix + key
        written = f"{spelt}[{key!r}]"
        if isinstance(value, Mapping):
            if value:
                _flatten(value, name + ".", written, out, faults)
            elif catalogue.row(name) is not None:
                # As a study file says for `iterations = {}`.
                faults.append(f"{_lead(name)}a table is a table{_allowed(name)}")
            elif name not in catalogue.tables():
                faults.append(f"{_place(name)}: no such setting{_hint(name)}")
            # An empty dict of a table sets nothing, as an empty [table] does.
            continue
        out.append((name, value, written))


def _kind_fault(key, value):
    """The refusal of a value no study file could hold."""
    if value is None:
        return f"{_lead(key)}None is nothing (None){_allowed(key)}"
    if isinstance(value, (list, tuple, set, frozenset, range)) or _is_array(value):
        # The study file's words for a list where one value belongs.
        return f"{_lead(key)}a list is a list{_allowed(key)}"
    if isinstance(value, (bytes, bytearray)):
        return f"{_lead(key)}{value!r} is bytes, not a text{_allowed(key)}"
    return f"{_lead(key)}{value!r} is a {type(value).__name__}{_allowed(key)}"


def _value(key, value):
    """(plain value, None) or (None, the refusal)."""
    row = catalogue.row(key)
    value = _scalar(value)
    # bool before int: True is an int in Python, and numpy's bool is neither.
    if isinstance(value, bool) or type(value).__name__ == "bool_":
        return bool(value), None
    if isinstance(value, numbers.Integral):
        whole = int(value)
        if _INT64[0] <= whole <= _INT64[1]:
            return whole, None
        if row["type"] == "real":
            try:
                return float(whole), None
            except OverflowError:
                pass
        if row["type"] in ("count", "real"):
            return None, f"{_lead(key)}{whole} is out of range{_allowed(key)}"
        return None, f"{_lead(key)}{whole} is a whole number{_allowed(key)}"
    if isinstance(value, (numbers.Real, decimal.Decimal)):
        try:
            return float(value), None
        except (OverflowError, ValueError):
            return None, f"{_lead(key)}{value} is out of range{_allowed(key)}"
    if isinstance(value, str):
        try:
            value.encode("utf-8")
        except UnicodeEncodeError:
            return None, f"{_lead(key)}{value!r} is a text that is not valid UTF-8{_allowed(key)}"
        return value, None
    return None, _kind_fault(key, value)


def settings(values):
    """The settings as (key, plain value) pairs in the order given; refused
    (ArgumentError, every fault on its own line) unless each is a known key
    given once with a value a study file could hold."""
    if values is None:
        return []
    if not isinstance(values, Mapping):
        raise ArgumentError(f"settings = {_short(values)}; allowed: a dict of study keys and values "
                            "(duolocus.settings() lists them), or None for the defaults")
    leaves, faults = [], []
    _flatten(values, "", "settings", leaves, faults)
    seen = {}
    pairs = []
    for name, value, written in leaves:
        if catalogue.row(name) is None:
            faults.append(f"{_place(name)}: no such setting{_hint(name)}")
            continue
        if name in seen:
            faults.append(f"{_place(name)}: given twice, as {seen[name]} and as {written}; "
                          "a setting takes one value")
            continue
        seen[name] = written
        plain, fault = _value(name, value)
        if fault is not None:
            faults.append(fault)
            continue
        pairs.append((name, plain))
    if faults:
        raise ArgumentError("\n".join(faults))
    return pairs


def _short(value):
    text = repr(value)
    return text if len(text) <= 60 else text[:57] + "..."


def whole(name, value, lo, hi, allowed=None):
    """A whole number from lo to hi (numpy's too; never a bool, a float or a text)."""
    plain = _scalar(value)
    if (isinstance(plain, bool) or type(plain).__name__ == "bool_"
            or not isinstance(plain, numbers.Integral) or not lo <= int(plain) <= hi):
        allowed = allowed or f"a whole number from {lo} to {hi}"
        raise ArgumentError(f"{name} = {_short(value)}; allowed: {allowed}")
    return int(plain)


def seed(value, name="seed"):
    lo, hi = catalogue.limit("seed")
    return whole(name, value, lo, hi)


def trajectory(value):
    lo, hi = catalogue.limit("trajectory")
    return whole("trajectory", value, lo, hi,
                 f"a whole number from {lo} (none) to {hi}: sample every K generations")


def flag(name, value):
    plain = _scalar(value)
    if isinstance(plain, bool) or type(plain).__name__ == "bool_":
        return bool(plain)
    raise ArgumentError(f"{name} = {_short(value)}; allowed: True or False")


def prefix(value):
    """The name the report gives its own file: a prefix as duolocus-batch takes one."""
    ok = (isinstance(value, str) and value != "" and not any(c in value for c in "\r\n\0")
          and not value.endswith(("/", "\\")) and value not in (".", ".."))
    if not ok:
        raise ArgumentError(f"name = {_short(value)}; allowed: a file prefix (a text on one line, "
                            "not empty, without NUL, not a folder)")
    try:
        value.encode("utf-8")
    except UnicodeEncodeError:
        raise ArgumentError(f"name = {_short(value)}; allowed: a file prefix in valid UTF-8") from None
    return value


def processes(value, runs):
    """How many processes at once: None for every CPU this process may use."""
    if value is None:
        import os
        try:
            value = len(os.sched_getaffinity(0))
        except AttributeError:
            value = os.cpu_count() or 1
        return max(1, min(value, runs or 1))
    return min(whole("processes", value, 1, 2 ** 31,
                     "None (every CPU this process may use) or a whole number from 1"), runs or 1)


def settings_list(values):
    """run_many's list of settings dicts."""
    if isinstance(values, (Mapping, str, bytes)) or not isinstance(values, Iterable):
        raise ArgumentError(f"settings_list = {_short(values)}; allowed: a list of settings dicts "
                            "(one per run)")
    return list(values)


def seeds(values, runs):
    """One seed per run: None for 1, 2, 3, ...; one seed for every run; or a list."""
    if values is None:
        lo, hi = catalogue.limit("seed")
        if runs > hi - lo + 1:
            raise ArgumentError(f"seeds = None gives {runs} runs the seeds {lo} to {lo + runs - 1}, "
                                f"beyond {hi}; give the seeds")
        return list(range(lo, lo + runs))
    plain = _scalar(values)
    if isinstance(plain, numbers.Integral) or isinstance(plain, bool):
        return [seed(values, "seeds")] * runs
    if isinstance(values, (Mapping, str, bytes)) or not isinstance(values, Iterable):
        raise ArgumentError(f"seeds = {_short(values)}; allowed: None, one seed for every run, or a list "
                            "of as many seeds as runs")
    out = [seed(v, f"seeds[{k}]") for k, v in enumerate(values)]
    if len(out) != runs:
        raise ArgumentError(f"seeds: {len(out)} seeds for {runs} settings; give one seed per run")
    return out


def many(settings_list_, seeds_, trajectory_, processes_, keep_bytes, progress, check):
    """run_many's arguments, every one checked (check(settings) refuses
    settings a run would refuse) before any process starts."""
    runs = settings_list(settings_list_)
    faults = []
    for k, one in enumerate(runs):
        try:
            check(one)
        except ArgumentError as err:
            faults.append(f"settings_list[{k}]: " + str(err).replace("\n", f"\nsettings_list[{k}]: "))
    if faults:
        raise ArgumentError("\n".join(faults))
    return (runs, seeds(seeds_, len(runs)), trajectory(trajectory_), processes(processes_, len(runs)),
            flag("keep_bytes", keep_bytes), flag("progress", progress))
