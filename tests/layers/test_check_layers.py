#!/usr/bin/env python3
"""The layering check, run on small trees made here: each row plants one
include in one layer and says whether the check must refuse it."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "check_layers.py")

# (file under src/, the include line, refused?)
ROWS = [
    ("core/Item.h", "#include <QString>", False),
    ("core/Item.h", "#include <QtCore/QString>", False),
    ("core/Item.h", '#include "platform/Paths.h"', False),
    ("core/Item.h", "#include <vector>", False),
    ("core/Item.h", "#include <QMessageBox>", True),
    ("core/Item.h", "#include <QtWidgets/QMessageBox>", True),
    ("core/Item.cpp", "#include <QIcon>", True),
    ("core/Item.cpp", '#include "extract/Melt.h"', True),
    ("core/Item.cpp", '#include "ui/main/frmMain.h"', True),
    ("core/Item.cpp", '#include "platform/gui/Form.h"', True),
    ("platform/Paths.cpp", "#  include <QMessageBox>", True),
    ("platform/Paths.cpp", '#include "core/Item.h"', True),
    ("platform/Paths.cpp", '#include "../core/Item.h"', True),
    ("platform/archiver/Reader.cpp", '#include "platform/Paths.h"', False),
    ("platform/archiver/Reader.cpp", '#include "platform/gui/Form.h"', True),
    ("platform/gui/Form.cpp", "#include <QMessageBox>", False),
    ("platform/gui/Form.cpp", '#include "core/Item.h"', True),
    ("extract/Melt.cpp", '#include "platform/gui/Form.h"', False),
    ("extract/Melt.cpp", '#include "core/Item.h"', False),
    ("extract/Melt.cpp", '#include "ui/main/frmMain.h"', True),
    ("extract/Melt.cpp", '#include "../ui/main/frmMain.h"', True),
    ("ui/main/frmMain.cpp", '#include "extract/Melt.h"', False),
    ("ui/main/frmMain.cpp", '#include "Missing.h"', True),
    ("tools/arc.cpp", '#include "core/Item.h"', False),
    ("tools/arc.cpp", '#include "extract/Melt.h"', True),
    ("tools/arc.cpp", "#include <QtGui/QIcon>", True),
    ("main.cpp", '#include "ui/main/frmMain.h"', False),
]

FILES = ["core/Item.h", "core/Item.cpp", "platform/Paths.h", "platform/Paths.cpp", "platform/archiver/Reader.cpp",
         "platform/gui/Form.h", "platform/gui/Form.cpp", "extract/Melt.h", "extract/Melt.cpp", "ui/main/frmMain.h",
         "ui/main/frmMain.cpp", "tools/arc.cpp", "main.cpp"]
QT = {"QtCore": ["QString"], "QtGui": ["QIcon"], "QtWidgets": ["QMessageBox"]}


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text)


def run_checker(root):
    return subprocess.run([sys.executable, CHECKER, os.path.join(root, "src"), os.path.join(root, "qt")],
                          capture_output=True, text=True, check=False)


class CheckLayers(unittest.TestCase):
    def make_tree(self, root):
        for name in FILES:
            write(os.path.join(root, "src", name), "#pragma once\n")
        for module, headers in QT.items():
            for header in headers:
                write(os.path.join(root, "qt", module, header), "")

    def test_each_planted_include(self):
        for name, line, refused in ROWS:
            with self.subTest(file=name, include=line), tempfile.TemporaryDirectory() as root:
                self.make_tree(root)
                write(os.path.join(root, "src", name), f"#pragma once\n\n{line}\nint x;\n")
                result = run_checker(root)
                self.assertEqual(result.returncode, 1 if refused else 0, result.stdout + result.stderr)
                if refused:
                    # The report names the file and line so the author can find it.
                    self.assertIn(f"{name}:3:", result.stdout)

    def test_a_tree_without_its_qt_folder_is_a_usage_error_not_a_pass(self):
        with tempfile.TemporaryDirectory() as root:
            self.make_tree(root)
            result = subprocess.run([sys.executable, CHECKER, os.path.join(root, "src"), os.path.join(root, "none")],
                                    capture_output=True, text=True, check=False)
            self.assertEqual(result.returncode, 2)


if __name__ == "__main__":
    unittest.main()
