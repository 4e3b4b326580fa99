"""python -m duolocus summary ... | plot ...: the two command lines."""

import sys

from .cli import plot_entry, summary_entry

if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command not in ("summary", "plot"):
        print("usage: python -m duolocus summary|plot ARGUMENTS (see duolocus-summary(1), duolocus-plot(1))",
              file=sys.stderr)
        sys.exit(2)
    del sys.argv[1]
    summary_entry() if command == "summary" else plot_entry()
