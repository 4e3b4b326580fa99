"""The text report PREFIX.txt: the settings of a run and, after two or more
iterations, its SUMMARY STATISTICS, read back into numbers."""

import re

from .errors import InputError
from .theory import GENOTYPES

# Settings as the study file names them, in the order the jobs table lists them.
SETTING_KEYS = (
    [f"founders.{g}" for g in GENOTYPES]
    + [f"fitness.{g}" for g in GENOTYPES]
    + ["mutation.A_to_a", "mutation.a_to_A", "mutation.B_to_b", "mutation.b_to_B",
       "map_distance_cM", "fertilization", "mating.isolation"]
    + [f"mating.{m}" for m in ("AA_AA", "AA_Aa", "AA_aa", "Aa_Aa", "Aa_aa", "aa_aa")]
    + ["migration.immigrants"]
    + [f"migration.mix.{g}" for g in GENOTYPES]
    + ["max_generations", "fixation.alpha", "fixation.beta", "stop_at_fixation"])

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
    founders = rep.founders
    mig_mix = {}
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
            m = re.fullmatch(rf"({'|'.join(GENOTYPES)})\s+(\d+)\s+[0-9.]+\s+([0-9.]+)", text)
            if m:
                founders[m.group(1)] = int(m.group(2))
                s[f"founders.{m.group(1)}"] = m.group(2)
                s[f"fitness.{m.group(1)}"] = _num(m.group(3))
                continue
            m = re.fullmatch(r"Total Population Size: (\d+)", text)
            if m:
                rep.population = int(m.group(1))
                continue
            m = re.fullmatch(r"(A to a|a to A|B to b|b to B): ([0-9.]+)", text)
            if m:
                s["mutation." + m.group(1).replace(" ", "_")] = _num(m.group(2))
                continue
            m = re.fullmatch(r"MATING PREFERENCES \((none|postmating|premating)\)", text)
            if m:
                s["mating.isolation"] = m.group(1)
                continue
            if text.startswith("AA:AA") or text.startswith("Aa:Aa"):
                for mating, value in re.findall(r"(\w\w:\w\w) ([0-9.]+)", text):
                    s["mating." + mating.replace(":", "_")] = _num(value)
                continue
            m = re.fullmatch(r"LINKAGE BETWEEN A & B GENES: ([0-9.]+) cM", text)
            if m:
                s["map_distance_cM"] = _num(m.group(1))
                continue
            if text == "MIGRATION: none":
                s["migration.immigrants"] = "0"
                continue
            m = re.fullmatch(r"MIGRATION: Average number of immigrants/generation: ([0-9.]+)", text)
            if m:
                s["migration.immigrants"] = _num(m.group(1))
                continue
            if text.startswith("p("):
                for genotype, value in re.findall(r"p\((\w+)\)=([0-9.]+)", text):
                    mig_mix[genotype] = _num(value)
                continue
            m = re.fullmatch(r"FERTILIZATION:\s+(.*)", text)
            if m and m.group(1) in FERTILIZATION:
                s["fertilization"] = FERTILIZATION[m.group(1)]
                continue
            m = re.fullmatch(r"MAXIMUM NUMBER OF GENERATIONS PER ITERATION: (\d+)", text)
            if m:
                s["max_generations"] = m.group(1)
                continue
            m = re.fullmatch(r"(ALPHA|BETA) ALLELE FIXATION TRACKED: (.*)", text)
            if m and m.group(2) in TRACKED:
                s["fixation." + m.group(1).lower()] = TRACKED[m.group(2)]
                continue
            m = re.fullmatch(r"ITERATIONS STOPPED AFTER FIXATION: (Yes|No)", text)
            if m:
                s["stop_at_fixation"] = "true" if m.group(1) == "Yes" else "false"
                continue
            if text == "SUMMARY STATISTICS":
                in_summary = True
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
    missing = [k for k in SETTING_KEYS if not k.startswith("migration.mix.") and k not in s]
    if rep.seed is None or rep.population is None or len(founders) != 9 or missing:
        raise InputError(path, "the report has no complete settings block: its run has not "
                               "finished its first iteration, or the file was cut short")
    if s["migration.immigrants"] != "0":
        if len(mig_mix) != 9:
            raise InputError(path, "the migration lines of the report are incomplete")
        for g in GENOTYPES:
            s[f"migration.mix.{g}"] = mig_mix[g]
    else:
        for g in GENOTYPES:
            s[f"migration.mix.{g}"] = ""
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
