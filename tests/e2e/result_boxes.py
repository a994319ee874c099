"""The box the program shows for each named result, read from the program's own table
(src/results/results.def), so that a text changes in one place."""

import os
import re

DEF = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src", "results",
                   "results.def")
# One argument: a run of adjacent string literals, or a bare expression (Download | Check).
ARGUMENT = re.compile(r'\s*((?:"[^"]*"\s*)+|[^,"()]+)\s*(?:,|$)')


def _rows():
    text = open(DEF, encoding="ascii").read()
    rows = {}
    for call in re.finditer(r'^NORVIK_RESULT\(((?:[^()"]|"[^"]*")*)\)', text, re.M):
        args = [m.group(1).strip() for m in ARGUMENT.finditer(call.group(1)) if m.group(1)]
        lines = ["".join(re.findall(r'"([^"]*)"', a)) for a in args[4:6]]
        rows[args[0]] = "\r\n".join(line for line in lines if line)
    return rows


BOXES = _rows()


def box(name, file="Sandel.exe"):
    """The text of the box shown for the result `name` ("NetErr", "PageErr", ...) about the file
    named `file` (the texts that name one say {file})."""
    return BOXES[name].replace("{file}", file)
