"""Shared paths and helpers of the workflow's test. ctest passes the batch
program through the environment; run by hand, the test uses this
repository's build."""

import os

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BATCH = os.environ.get("DUOLOCUS_BATCH_BIN", os.path.join(REPO, "build", "duolocus-batch"))


# Founders of every genotype given, so that a study sets the whole population.
def founders(**counts):
    names = ["AABB", "AABb", "AAbb", "AaBB", "AaBb", "Aabb", "aaBB", "aaBb", "aabb"]
    return "[founders]\n" + "".join(f"{g} = {counts.get(g, 0)}\n" for g in names)
