#!/usr/bin/env python3
"""Fails when an include runs upward.

The layers, lowest first: settings/ (Qt-free); the engine core (engine/); the command set
(device/); the service record (record/), the tool models (tools/<tool>/model) and the simulated
device (sim/); the command line (cli/). The Qt side: settings/qt, then the engine's Qt front (engine/qt),
then the tool shell (shell/qt), then the tool dialogs (tools/<tool>). The Qt-free layers
include no Qt header. A tests folder may include what its layer may, the test kits of other
tests folders and the simulated device.

    scripts/check-includes.py [SOURCE_DIR]    (default: the tree this script is in)

Includes are resolved as the build resolves them: by file name, in the including file's
folder first, then anywhere in the tree; a name that two folders hold is a fault unless the
including file's folder has it. The files read are those git
tracks (or, outside a checkout, every .cpp and .h file); bench/, fuzz/ and tests/ at the top
stand above everything and are not checked, but for the tests' kit (tests/support), which any
tests folder may use (its Qt part only the tests of the Qt side).
"""

import os
import re
import subprocess
import sys

# Every layer with the layers it may include (itself always). "model" is every tool's model:
# one model may not include another's.
MAY_INCLUDE = {
    "settings": [],
    "record": ["device", "engine", "settings"],
    "engine": ["settings"],
    "device": ["engine", "settings"],
    "model": ["device", "engine", "settings"],
    "sim": ["device", "engine", "settings"],
    "cli": ["sim", "model", "device", "engine", "record", "settings"],
    "settings/qt": ["settings"],
    "engine/qt": ["settings/qt", "engine", "record", "settings"],
    "shell/qt": ["engine/qt", "settings/qt", "device", "engine", "record", "settings"],
    "dialog": ["shell/qt", "engine/qt", "settings/qt", "model", "device", "engine", "record", "settings"],
    # The tests' kit (tests/support): the device's end of a pseudo-terminal, child processes,
    # waits; its Qt part runs dialog suites against the simulated device.
    "testkit": ["sim", "device", "engine", "settings"],
    "testkit/qt": ["testkit", "shell/qt", "engine/qt", "settings/qt", "sim", "device", "engine", "record",
                   "settings"],
}
QT_FREE = {"settings", "record", "engine", "device", "model", "sim", "cli", "testkit"}
# What any tests folder may use besides its own layer's includes: the simulated device and
# the benchmarks' support (its tool process launcher).
TESTS_MAY_INCLUDE = ["sim", "bench"]

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^Q[A-Za-z]+(/|$)|^Qt[A-Z]")


def layer_of(path):
    """(layer, unit, in_tests) of a file, unit telling tools apart; None: not checked."""
    parts = path.split("/")
    in_tests = "tests" in parts[:-1]
    top = parts[0]
    if top in ("settings", "engine", "shell") and len(parts) > 2 and parts[1] == "qt":
        return top + "/qt", top + "/qt", in_tests
    if top in ("settings", "record", "engine", "device", "sim", "cli"):
        return top, top, in_tests
    if top == "bench":
        return "bench", "bench", in_tests
    if top == "tests" and len(parts) > 2 and parts[1] == "support":
        return ("testkit/qt" if parts[2] == "qt" else "testkit"), "testkit", True
    if top == "tools" and len(parts) > 2:
        tool = parts[1]
        if len(parts) > 3 and parts[2] == "model":
            return "model", "tools/" + tool + "/model", in_tests
        return "dialog", "tools/" + tool, in_tests
    return None


def tracked_files(root):
    try:
        out = subprocess.run(["git", "-C", root, "ls-files", "*.cpp", "*.h"], check=True,
                             capture_output=True, text=True).stdout
        return [f for f in out.splitlines() if os.path.exists(os.path.join(root, f))]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for dirpath, dirnames, filenames in os.walk(root):
            dirnames[:] = [d for d in dirnames if not d.startswith(".") and not d.startswith("build")]
            for name in filenames:
                if name.endswith((".cpp", ".h")):
                    files.append(os.path.relpath(os.path.join(dirpath, name), root))
        return files


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    files = tracked_files(root)
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)

    faults = []
    for f in files:
        here = layer_of(f)
        if here is None:
            continue
        layer, unit, in_tests = here
        if layer == "bench":
            continue  # above everything
        allowed = set(MAY_INCLUDE[layer]) | {layer}
        if in_tests:
            allowed |= set(TESTS_MAY_INCLUDE) | {"testkit"}
            if layer not in QT_FREE:
                allowed.add("testkit/qt")
        folder = os.path.dirname(f)
        with open(os.path.join(root, f), encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                kind, name = m.groups()
                where = f"{f}:{number}"
                if kind == "<":
                    if layer in QT_FREE and QT_HEADER.match(name):
                        faults.append(f"{where}: the Qt-free {layer} layer includes the Qt header <{name}>")
                    continue
                candidates = by_name.get(os.path.basename(name), [])
                same = [c for c in candidates if os.path.dirname(c) == folder]
                if not same and len(candidates) > 1:
                    faults.append(f"{where}: \"{name}\" names {len(candidates)} files: " + ", ".join(candidates))
                    continue
                target = (same or candidates or [None])[0]
                if target is None:
                    continue  # generated (moc) or a system header in quotes
                there = layer_of(target)
                if there is None:
                    faults.append(f"{where}: includes {target}, which no layer may include")
                    continue
                t_layer, t_unit, t_tests = there
                if t_tests and not in_tests:
                    faults.append(f"{where}: code includes the test file {target}")
                elif t_tests and t_unit != unit and t_layer not in allowed:
                    faults.append(f"{where}: includes the test kit {target} of a layer above ({t_layer})")
                elif not t_tests and t_layer not in allowed:
                    faults.append(f"{where}: {layer} includes {target} ({t_layer}), a layer above or beside it")
                elif t_layer in ("model", "dialog") and t_unit != unit and not t_tests and layer == t_layer:
                    faults.append(f"{where}: {unit} includes {target} of another tool")

    if faults:
        print(f"{len(faults)} include(s) run upward:")
        print("\n".join("  " + x for x in faults))
        return 1
    print(f"every include of {len(files)} files runs downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
