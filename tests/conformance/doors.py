"""The doors of the program, each given one case of the corpus: a study
file and --set through duolocus-batch, a dict through the Python package,
and the lab's engine under Node. Each answers ("run", csv, txt) or
("refuse", messages) with the place it names taken out of every message,
since that is the one part of a refusal that belongs to the door."""

import json
import math
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
BUILD = os.environ.get("DUOLOCUS_BUILD", os.path.join(REPO, "build"))
BATCH = os.environ.get("DUOLOCUS_BATCH_BIN", os.path.join(BUILD, "duolocus-batch"))
WEB = os.environ.get("DUOLOCUS_WEB", os.path.join(BUILD, "web"))
NODE = os.environ.get("DUOLOCUS_NODE", "node")
PREFIX = "conform"


def value_of(raw):
    """A corpus value as Python holds it."""
    if isinstance(raw, dict) and "$real" in raw:
        return float(raw["$real"])
    if isinstance(raw, dict) and "$int" in raw:
        return int(raw["$int"])
    return raw


def toml_value(value):
    """A value as a study file (and --set) writes it."""
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        if math.isnan(value):
            return "nan"
        if math.isinf(value):
            return "inf" if value > 0 else "-inf"
        text = repr(value)
        return text if any(c in text for c in ".en") else text + ".0"
    if isinstance(value, dict) and not value:
        return "{}"
    # A TOML basic string: JSON's escapes are TOML's for what we write.
    return json.dumps(value, ensure_ascii=True)


def toml_key(key):
    """A dotted key whose parts are bare when they can be, quoted otherwise."""
    return ".".join(p if re.fullmatch(r"[A-Za-z0-9_-]+", p) else json.dumps(p) for p in key.split("."))


def strip_places(messages, places):
    """Each message without the places the door named (longest first, so a
    place is never cut inside a longer one), and without the commas and
    colon left where a list of places stood."""
    out = []
    for message in messages:
        for place in sorted(set(places), key=len, reverse=True):
            message = message.replace(place, "")
        message = re.sub(r"^[, ]*: ", "", message)
        message = re.sub(r"\((, )*\)", "()", message)
        out.append(message)
    return out


def _batch(args, folder):
    done = subprocess.run([BATCH, *args, "--quiet"], cwd=folder, capture_output=True)
    if done.returncode == 0:
        with open(os.path.join(folder, PREFIX + ".csv"), "rb") as f:
            csv = f.read()
        with open(os.path.join(folder, PREFIX + ".txt"), "rb") as f:
            txt = f.read()
        return ("run", csv, txt)
    # The program's name before each line, and the closing word that
    # nothing was written, are the batch program's own framing.
    lines = []
    for line in done.stderr.decode("utf-8", "replace").splitlines():
        line = line[len("duolocus-batch: "):] if line.startswith("duolocus-batch: ") else line
        # Faults of the combined settings name the job they belong to.
        line = re.sub(r"^(\S+: )?run \S+, seed \d+: ", "", line)
        # The seed, given as an option, is named as the option.
        line = re.sub(r"^--seed (-?\d+) ", r"seed = \1 ", line)
        if line.strip() and line != "nothing was written":
            lines.append(line)
    return ("refuse", lines, done.returncode)


def study_file(case):
    """The case as a study file of one job."""
    with tempfile.TemporaryDirectory() as folder:
        lines = [f"prefix = {json.dumps(PREFIX)}", f"seed = {case['seed']}"]
        places = []
        path = os.path.join(folder, "study.toml")
        for key, raw in case["settings"].items():
            lines.append(f"{toml_key(key)} = {toml_value(value_of(raw))}")
            places.append(f"{path}:{len(lines)}")
            places.append(f"study.toml:{len(lines)}")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        answer = _batch([path], folder)
        return answer if answer[0] == "run" else ("refuse", strip_places(answer[1], places + [path, "study.toml"]))


def set_options(case):
    """The case as --set options on an empty study."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "empty.toml")
        with open(path, "w") as f:
            f.write("")
        args = [path, "--out", PREFIX, "--seed", str(case["seed"])]
        places = []
        for key, raw in case["settings"].items():
            arg = f"{key}={toml_value(value_of(raw))}"
            args += ["--set", arg]
            places.append(f"--set {arg}")
        answer = _batch(args, folder)
        return answer if answer[0] == "run" else ("refuse", strip_places(answer[1], places + [path, "empty.toml"]))


def python_package(case, duolocus):
    """The case as a settings dict of the Python package."""
    settings = {key: value_of(raw) for key, raw in case["settings"].items()}
    try:
        result = duolocus.run(settings, seed=case["seed"], keep_bytes=True, name=PREFIX)
    except ValueError as err:
        places = [f"settings['{key}']" for key in settings]
        return ("refuse", strip_places(str(err).split("\n"), places))
    return ("run", result.csv_bytes, result.txt_bytes)


def lab_engine(cases):
    """Every case through the lab's engine in one Node process."""
    payload = []
    for case in cases:
        settings = []
        for key, raw in case["settings"].items():
            value = value_of(raw)
            if isinstance(value, bool):
                kind, number, text = 2, 1.0 if value else 0.0, ""
            elif isinstance(value, int):
                # The form hands a whole number over with its digits.
                kind, number, text = 0, value, str(value)
            elif isinstance(value, float):
                kind, number, text = 1, value, ""
            else:
                kind, number, text = 3, 0.0, value
            # JSON cannot carry NaN or a whole number beyond a double's
            # digits: they travel as text and Node reads them back.
            settings.append({"key": key, "kind": kind, "number": repr(number), "text": text})
        payload.append({"name": case["name"], "seed": case["seed"], "settings": settings})
    done = subprocess.run([NODE, os.path.join(HERE, "lab_engine.mjs"), WEB, PREFIX],
                          input=json.dumps(payload).encode(), capture_output=True)
    if done.returncode != 0:
        raise RuntimeError("the lab's engine under Node failed: " + done.stderr.decode(errors="replace"))
    answers = {}
    for item in json.loads(done.stdout):
        if item["status"] == 0:
            answers[item["name"]] = ("run", item["csv"].encode("latin-1"), item["txt"].encode("latin-1"))
        else:
            places = [f"settings['{s['key']}']" for s in next(c for c in payload if c["name"] == item["name"])["settings"]]
            answers[item["name"]] = ("refuse", strip_places(item["faults"], places))
    return answers
