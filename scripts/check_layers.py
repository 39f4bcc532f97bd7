#!/usr/bin/env python3
"""Fails when a source includes a header against the layering.

The layers depend one way: ui -> extract -> core -> platform. core and the
platform outside platform/gui use Qt Core only, so that they stay usable
without a display. The libraries' include path is the whole of src/, and Qt's
root include folder is on every path, so the compiler alone lets a wrong
include through; this check is what stops it.

Usage: check_layers.py SRC_DIR QT_INCLUDE_ROOT
Prints one line per wrong include and exits 1 if there is any.
"""
import os
import re
import sys

# Which layer a source belongs to, by its path under src/ (first match wins).
LAYERS = [
    ("platform/gui/", "platform_gui"),
    ("platform/", "platform"),
    ("core/", "core"),
    ("extract/", "extract"),
    ("ui/", "ui"),
    ("tools/", "tools"),
    ("", "program"),
]

CORE_QT = {"QtCore"}
GUI_QT = {"QtCore", "QtGui", "QtWidgets"}
# The desktop's services (notifications) are reached over D-Bus, and only the
# platform layer speaks to the desktop.
DESKTOP_QT = GUI_QT | {"QtDBus"}

# What each layer may include: Qt modules, and layers of the project.
ALLOWED = {
    "platform": (CORE_QT, {"platform"}),
    "core": (CORE_QT, {"platform", "core"}),
    "tools": (CORE_QT, {"platform", "core"}),
    "platform_gui": (DESKTOP_QT, {"platform", "platform_gui"}),
    "extract": (GUI_QT, {"platform", "platform_gui", "core", "extract"}),
    "ui": (GUI_QT, {"platform", "platform_gui", "core", "extract", "ui"}),
    "program": (GUI_QT, {"platform", "platform_gui", "core", "extract", "ui", "program"}),
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def layer_of(relative):
    for prefix, layer in LAYERS:
        if relative.startswith(prefix):
            return layer
    return "program"


def qt_module_of(header, qt_root):
    """The Qt module a header belongs to, or None if it is not Qt's."""
    first = header.split("/", 1)[0]
    if "/" in header and first.startswith("Qt") and os.path.isdir(os.path.join(qt_root, first)):
        return first
    if "/" not in header and header[:1] in "Qq":
        for module in sorted(os.listdir(qt_root)):
            if os.path.isfile(os.path.join(qt_root, module, header)):
                return module
    return None


def project_header(src, including_dir, header, quoted):
    """The header's path under src/, or None if it is not the project's."""
    candidates = [os.path.join(including_dir, header)] if quoted else []
    candidates.append(os.path.join(src, header))
    for candidate in candidates:
        if os.path.isfile(candidate):
            relative = os.path.relpath(os.path.realpath(candidate), os.path.realpath(src))
            if not relative.startswith(".."):
                return relative.replace(os.sep, "/")
    return None


def check(src, qt_root):
    problems = []
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            layer = layer_of(relative)
            modules, layers = ALLOWED[layer]
            with open(path, encoding="utf-8", errors="replace") as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    quoted, header = match.group(1) == '"', match.group(2)
                    where = f"{relative}:{number}"
                    target = project_header(src, folder, header, quoted)
                    if target is not None:
                        if layer_of(target) not in layers:
                            problems.append(f"{where}: {layer} must not include {target} ({layer_of(target)})")
                        continue
                    module = qt_module_of(header, qt_root)
                    if module is not None:
                        if module not in modules:
                            problems.append(f"{where}: {layer} must not use {module} ({header})")
                        continue
                    if quoted:
                        # An include the check cannot place could hide any layer.
                        problems.append(f"{where}: cannot find {header} under {src}")
    return problems


def main(argv):
    if len(argv) != 3 or not os.path.isdir(argv[1]) or not os.path.isdir(os.path.join(argv[2], "QtCore")):
        print("usage: check_layers.py SRC_DIR QT_INCLUDE_ROOT (the folder holding QtCore/)", file=sys.stderr)
        return 2
    problems = check(argv[1], argv[2])
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
