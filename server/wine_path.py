"""Paths as a program under Wine sees them: Wine maps the drive Z: to the Unix root.
Converted here rather than through `winepath`, which costs about half a second a call."""
import os


def windows_path(path):
    """The absolute Unix `path` as Z:\\... for a Wine program."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
