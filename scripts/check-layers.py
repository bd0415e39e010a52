#!/usr/bin/env python3
"""Checks that the libraries depend on each other one way only: no file of a library includes
a header of a library on its own level or above, and only the windows use Qt Widgets."""
import pathlib
import re
import sys

LEVELS = {
    "app": 0,
    "tracks": 1,
    "link": 2, "online": 2, "maps": 2, "webmap": 2,
    "db": 3,
    "archive": 4, "reports": 4, "programming": 4,
    "session": 5,
    "ui": 6, "cli": 6,
}
WIDGETS = re.compile(r'#include\s*<(QtWidgets/|QWidget|QDialog|QMainWindow|QApplication>|QMessageBox)')
INCLUDE = re.compile(r'#include\s*"([a-z]+)/')

src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
faults = []
for path in sorted(src.rglob("*")):
    if path.suffix not in (".h", ".cpp") or path.parent == src:
        continue
    lib = path.relative_to(src).parts[0]
    if lib not in LEVELS:
        faults.append(f"{path}: folder '{lib}' has no level")
        continue
    text = path.read_text(encoding="utf-8")
    for m in INCLUDE.finditer(text):
        other = m.group(1)
        if other == lib or other not in LEVELS:
            continue
        if LEVELS[other] >= LEVELS[lib]:
            faults.append(f"{path}: includes {other}/ (level {LEVELS[other]} from level {LEVELS[lib]})")
    if lib != "ui" and WIDGETS.search(text):
        faults.append(f"{path}: uses Qt Widgets outside the windows")
for f in faults:
    print(f)
print("layering: " + ("broken" if faults else "one way"))
sys.exit(1 if faults else 0)
