"""The text report PREFIX.txt: the settings of a run and, after two or more
iterations, its SUMMARY STATISTICS, read back into numbers."""

import re

from . import catalogue
from .errors import InputError

GENOTYPES = catalogue.genotypes()
# Every setting the report shows, as the study file names it, in the
# catalogue's order: the rows with a report label.
SETTING_KEYS = [row["key"] for row in catalogue.rows() if row.get("report")]

# The report's words for the values of two choices (the other choices are
# written as their names or in Yes/No).
FERTILIZATION = {"Self-fertilization allowed": "selfing-allowed",
                 "Self-fertilization not allowed": "selfing-not-allowed",
                 "Monogamy enforced": "monogamy"}
SUMMARY_HEADINGS = {"FIXATION TIMES", "number   mean", "-------  ---------",
                    "ALLELE FIXATION -- OUTPUT REFLECTS SPECIFIED ALLELE FIXATION OPTIONS"}
TRACKED = {"either A or a allele must fix": "any", "A allele must fix": "A", "a allele must fix": "a",
           "either B or b allele must fix": "any", "B allele must fix": "B", "b allele must fix": "b"}


class Report:
    """What PREFIX.txt says: the settings and, after two or more iterations,
    the summary statistics."""

    def __init__(self):
        self.seed = None
        self.settings = {}
        self.founders = {}
        self.population = None
        self.p0 = None
        # A dict when the SUMMARY STATISTICS block is there: "Alpha Allele" ->
        # (count, mean as written), "A" -> count, "Alpha none", "extinct".
        self.summary = None

    @property
    def context(self):
        """Every setting by study key, with population and starting frequencies."""
        ctx = dict(self.settings)
        ctx["population"] = str(self.population)
        ctx["p0_A"] = repr(self.p0[0])
        ctx["p0_B"] = repr(self.p0[1])
        return ctx


def _num(text):
    """A number of the report as the study index writes it: whole numbers
    without a point, others as short as they read back the same."""
    value = float(text)
    return str(int(value)) if value == int(value) else repr(value)


MIGRATION = "migration.immigrants"


def _group(key):
    return catalogue.row(key)["group"]


def _labels():
    """The report's label of each setting it shows: label -> rows."""
    out = {}
    for row in catalogue.rows():
        if row.get("report"):
            out.setdefault(row["report"], []).append(row)
    return out


_NUMBER = re.compile(r"[0-9]+(?:\.[0-9]*)?")


def _choice(row, words):
    """A choice's name from the report's words for it, or None."""
    if row["key"] == "fertilization":
        return FERTILIZATION.get(words)
    if row["key"].startswith("fixation."):
        return TRACKED.get(words)
    return words if words in row["choices"] else None


def _value(row, words):
    """A setting's value as the study index writes it, from the report's words; None if unreadable."""
    kind = row["type"]
    if kind == "flag":
        return {"Yes": "true", "No": "false"}.get(words)
    if kind == "choice":
        return _choice(row, words)
    if words == "none":  # MIGRATION: none
        return "0"
    numbers = _NUMBER.findall(words)
    if not numbers:
        return None
    # The value is the line's last number ("...immigrants/generation: 2.00000", "0.0000000 cM").
    return numbers[-1] if kind == "count" else _num(numbers[-1])


def _pairs_pattern(labels):
    """A label followed by its number, the longest labels tried first."""
    names = sorted(labels, key=len, reverse=True)
    return re.compile(r"(" + "|".join(re.escape(n) for n in names) + r")\s*([0-9]+(?:\.[0-9]*)?)")


def _setting_line(text, labels, s, pairs):
    """Reads the settings one line of the settings block shows into s."""
    if not text:
        return
    fields = text.split()
    # The genotype table: label, number, proportion, relative fitness.
    if len(fields) == 4 and fields[0] in labels and all(_NUMBER.fullmatch(f) for f in fields[1:]):
        for row in labels[fields[0]]:
            if row["group"] == "founders":
                s[row["key"]] = fields[1]
            elif row["group"] == "fitness":
                s[row["key"]] = _num(fields[3])
        return
    # Labels each followed by a number, filling the line: "A to a: 0.001",
    # "AA:AA 1.00000000  AA:Aa 1.00000000", "p(AABB)=0.5000   p(AABb)=0.0000".
    found = list(pairs.finditer(text))
    if found and "".join(text[m.end():n.start()] for m, n in zip(found, found[1:])).strip() == "" \
            and found[0].start() == 0 and found[-1].end() == len(text):
        for m in found:
            for row in labels[m.group(1)]:
                s[row["key"]] = _num(m.group(2)) if row["type"] == "real" else m.group(2)
        return
    # A label and its value in words or with a unit: "FERTILIZATION:  Self-fertilization
    # allowed", "LINKAGE BETWEEN A & B GENES: 0.0000000 cM", "MATING PREFERENCES (none)".
    heads = [label for label in labels if text.startswith(label)]
    if heads:
        label = max(heads, key=len)
        words = text[len(label):].strip(" :=")
        if words.startswith("(") and words.endswith(")"):
            words = words[1:-1]
        for row in labels[label]:
            value = _value(row, words)
            if value is not None:
                s[row["key"]] = value
        return
    # "MIGRATION: none" stands for a label "MIGRATION: ...:" whose setting is 0.
    head, sep, rest = text.partition(": ")
    if sep and rest == "none":
        for label, rows in labels.items():
            if label.startswith(head + ": ") or label.rstrip(":") == head:
                for row in rows:
                    if row["type"] in ("real", "count"):
                        s[row["key"]] = "0"


def read_report(path, text=None):
    """Reads a text report PREFIX.txt back into numbers.

    Args:
        path: the file (named in messages).
        text: the report's text, when it is in memory already.

    Returns:
        Report: the seed, every setting (report.context, by study key), the
        founders and, after two or more iterations, the summary statistics.
        Raises errors.InputError at a line it cannot read.

    Example:
        >>> report = duolocus.read_report("demo.txt")
        >>> report.seed, report.context["map_distance_cM"]
    """
    if text is None:
        try:
            with open(path, encoding="utf-8-sig") as handle:
                text = handle.read()
        except (OSError, UnicodeDecodeError) as err:
            raise InputError(path, f"cannot read the report: {getattr(err, 'strerror', None) or err}") from None
    elif text.startswith("\ufeff"):
        text = text[1:]
    lines = text.split("\n")
    rep = Report()
    s = rep.settings
    if not lines or lines[0].rstrip("\r") != "Duolocus v6.1":
        raise InputError(f"{path}:1", "not a Duolocus report: its first line is not \"Duolocus v6.1\"")
    labels = _labels()
    pairs = _pairs_pattern(labels)
    in_summary = False
    summary = {}
    gene = None
    for number, line in enumerate(lines, 1):
        text = line.strip()
        if not in_summary:
            m = re.fullmatch(r"RANDOM NUMBER SEED: (\d+)", text)
            if m:
                rep.seed = int(m.group(1))
                continue
            m = re.fullmatch(r"Total Population Size: (\d+)", text)
            if m:
                rep.population = int(m.group(1))
                continue
            if text == "SUMMARY STATISTICS":
                in_summary = True
                continue
            _setting_line(text, labels, s, pairs)
            continue
        m = re.fullmatch(r"(Alpha|Beta) (Allele|Gene Copy)\s+(\d+)\s+(nc|[0-9.]+)", text)
        if m:
            summary[f"{m.group(1)} {m.group(2)}"] = (int(m.group(3)), m.group(4))
            continue
        if text in ("ALPHA FIXATION", "BETA FIXATION"):
            gene = text.split()[0].capitalize()
            continue
        m = re.fullmatch(r"([AaBb]) allele fixed (\d+) times\.", text)
        if m:
            summary[m.group(1)] = int(m.group(2))
            continue
        m = re.fullmatch(r"Fixation did not occur (\d+) times\.", text)
        if m and gene:
            summary[f"{gene} none"] = int(m.group(1))
            continue
        m = re.fullmatch(r"Iteration halted due to extinction (\d+) times\.", text)
        if m:
            summary["extinct"] = int(m.group(1))
            continue
        if text and text not in SUMMARY_HEADINGS:
            raise InputError(f"{path}:{number}", f'unexpected line in SUMMARY STATISTICS: "{text[:60]}"')
    # The immigrants' shares are written only when there are immigrants.
    mix = [k for k in SETTING_KEYS if _group(k) == _group(MIGRATION) and k != MIGRATION]
    missing = [k for k in SETTING_KEYS if k not in mix and k not in s]
    founders = [k for k in SETTING_KEYS if _group(k) == "founders"]
    if rep.seed is None or rep.population is None or missing:
        raise InputError(path, "the report has no complete settings block: its run has not "
                               "finished its first iteration, or the file was cut short")
    if s[MIGRATION] != "0":
        if any(k not in s for k in mix):
            raise InputError(path, "the migration lines of the report are incomplete")
    else:
        for k in mix:
            s[k] = ""
    rep.founders.update({k.split(".", 1)[1]: int(s[k]) for k in founders})
    founders = rep.founders
    n = rep.population
    rep.p0 = ((2 * sum(founders[g] for g in GENOTYPES[0:3]) + sum(founders[g] for g in GENOTYPES[3:6])) / (2 * n),
              (2 * sum(founders[g] for g in GENOTYPES[0::3]) + sum(founders[g] for g in GENOTYPES[1::3])) / (2 * n))
    if in_summary:
        needed = ["Alpha Allele", "Beta Allele", "Alpha none", "Beta none", "extinct"]
        if any(k not in summary for k in needed):
            raise InputError(path, "the SUMMARY STATISTICS block is incomplete: the file was cut short")
        for k in "AaBb":
            summary.setdefault(k, 0)
        for gene, big, small in (("Alpha", "A", "a"), ("Beta", "B", "b")):
            fixed = summary[big] + summary[small]
            if summary[f"{gene} Allele"][0] != fixed:
                raise InputError(path, f"its {gene} Allele row counts {summary[f'{gene} Allele'][0]} "
                                       f"fixations, its {big} and {small} lines {fixed}: the report "
                                       "contradicts itself")
        alpha = summary["A"] + summary["a"] + summary["Alpha none"]
        beta = summary["B"] + summary["b"] + summary["Beta none"]
        if alpha != beta:
            raise InputError(path, f"its Alpha lines count {alpha} iterations not halted by extinction, "
                                   f"its Beta lines {beta}: the report contradicts itself")
        rep.summary = summary
    return rep
