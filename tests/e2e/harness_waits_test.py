#!/usr/bin/python3
"""The end-to-end tests' waits: they return as soon as the condition holds, give up after
their bound (not much later) and name what they waited for."""

import itertools
import os
import sys
import tempfile
import time
import unittest
from unittest import mock

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Failure, eventually, wait_until  # noqa: E402


def becomes_true_after(polls, value="ready"):
    """A condition that is false for `polls` calls, then returns `value`."""
    counter = itertools.count()
    return lambda: value if next(counter) >= polls else None


def passes_after(polls):
    """A check that raises Failure for `polls` calls, then returns the number of calls."""
    counter = itertools.count(1)

    def check():
        n = next(counter)
        if n <= polls:
            raise Failure(f"attempt {n} not yet")
        return n
    return check


class Waits(unittest.TestCase):
    def test_return_what_the_condition_gave_once_it_holds(self):
        for name, wait, condition, expected in [
            ("wait_until at once", wait_until, becomes_true_after(0), "ready"),
            ("wait_until after polls", wait_until, becomes_true_after(3, [1]), [1]),
            ("eventually at once", eventually, passes_after(0), 1),
            ("eventually after failures", eventually, passes_after(3), 4),
        ]:
            with self.subTest(name):
                start = time.monotonic()
                self.assertEqual(wait(condition, 5, "x", interval=0.01), expected)
                self.assertLess(time.monotonic() - start, 1.0)

    def test_give_up_after_the_bound_naming_what_was_awaited(self):
        for name, wait, condition, message in [
            ("wait_until", wait_until, lambda: 0, "waiting for the box"),
            ("eventually", eventually, passes_after(10**9), "the box: still failing"),
        ]:
            with self.subTest(name):
                start = time.monotonic()
                with self.assertRaises(Failure) as raised:
                    wait(condition, 0.3, "the box", interval=0.01)
                elapsed = time.monotonic() - start
                self.assertGreaterEqual(elapsed, 0.3)
                self.assertLess(elapsed, 1.0)
                self.assertIn(message, str(raised.exception))

    def test_eventually_reports_the_last_failure(self):
        with self.assertRaises(Failure) as raised:
            eventually(passes_after(10**9), 0.1, "the box", interval=0.01)
        self.assertRegex(str(raised.exception), r"attempt [0-9]+ not yet$")
        self.assertNotIn("attempt 1 not", str(raised.exception))

    def test_other_errors_are_not_swallowed(self):
        def broken():
            raise KeyError("driver output")
        for wait in (wait_until, eventually):
            with self.subTest(wait.__name__), self.assertRaises(KeyError):
                wait(broken, 5, "x")


    def test_a_screenshot_is_taken_once_the_screen_stops_changing(self):
        frames = {n: Image.new("RGB", (4, 4), (n, n, n)) for n in range(200)}
        for name, sequence, settle, saved in [  # saved: the frame in the file (None: the last)
            ("painted at once", [1, 1, 2], 3, 1),
            ("still painting", [1, 2, 3, 3, 4], 3, 3),
            ("never settles: the last grab within the bound", list(range(200)), 0.2, None),
            ("taken at once", [1, 2], 0, 1),
        ]:
            with self.subTest(name), tempfile.TemporaryDirectory() as folder:
                grabs = iter(frames[n] for n in sequence)
                taken = []

                def grab(box=None):
                    taken.append(next(grabs))
                    return taken[-1]
                with mock.patch.object(harness, "grab", grab):
                    start = time.monotonic()
                    path = harness.screenshot(folder, "shot", settle=settle)
                self.assertLess(time.monotonic() - start, settle + 1.0)
                expected = frames[saved] if saved is not None else taken[-1]
                self.assertEqual(Image.open(path).tobytes(), expected.tobytes())
                if saved is None:
                    self.assertGreater(len(taken), 2)


if __name__ == "__main__":
    unittest.main()
