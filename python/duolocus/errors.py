"""The faults the package reports about its inputs and outputs."""


class InputError(Exception):
    """A fault in an input: where it is and what was wrong."""

    def __init__(self, place, message):
        super().__init__(f"{place}: {message}")
        self.place = place
        self.message = message


class OutputError(Exception):
    """A file the user asked for could not be written: its name, as the user
    gave it, and the reason."""

    def __init__(self, path, reason):
        super().__init__(f"cannot write {path}: {reason}")
        self.path = path
        self.reason = reason
