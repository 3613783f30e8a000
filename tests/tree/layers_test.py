#!/usr/bin/python3
"""Every include in src/ points down the layers, never up or sideways.

The agent's layers, lowest first: base, shared, net, news, jobs, agent. A
folder includes its own headers and those of the layers below it. The
programs beside the agent (glancer, config_dll, install) build on the
layers below the agent, never on the agent or on each other.
"""
import os
import re
import sys
import unittest

SRC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "src")
LAYERS = ["base", "shared", "net", "news", "jobs", "agent"]
PROGRAMS = ["glancer", "config_dll", "install"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_0-9]+)/', re.MULTILINE)


def allowed(folder):
    """The folders whose headers files of folder may include."""
    if folder in LAYERS:
        return set(LAYERS[: LAYERS.index(folder) + 1])
    return set(LAYERS[:-1]) | {folder}


def upward_includes(src=SRC):
    """Each include that breaks the rule, as "src/FOLDER/FILE includes X/"."""
    found = []
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        if folder not in LAYERS + PROGRAMS:
            found.append(f"src/{folder} is in no layer")
            continue
        for name in sorted(os.listdir(path)):
            with open(os.path.join(path, name), encoding="utf-8", errors="replace") as f:
                for target in INCLUDE.findall(f.read()):
                    if target not in allowed(folder):
                        found.append(f"src/{folder}/{name} includes {target}/")
    return found


class Layers(unittest.TestCase):
    def test_no_include_points_up(self):
        self.assertEqual([], upward_includes())

    def test_the_check_sees_an_upward_include(self):
        """A planted include from shared up to news is found, and only it."""
        import tempfile
        with tempfile.TemporaryDirectory() as src:
            for folder, text in (("shared", '#include "news/fetch.h"\n#include "base/os.h"\n'),
                                 ("glancer", '#include "shared/x.h"\n'), ("install", '#include "agent/x.h"\n')):
                os.mkdir(os.path.join(src, folder))
                with open(os.path.join(src, folder, "a.cpp"), "w") as f:
                    f.write(text)
            self.assertEqual(["src/install/a.cpp includes agent/", "src/shared/a.cpp includes news/"],
                             upward_includes(src))


if __name__ == "__main__":
    sys.exit(unittest.main())
