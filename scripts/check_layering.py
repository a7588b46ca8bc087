#!/usr/bin/env python3
"""Fails when product code includes a folder its row of the layering table in
docs/architecture.md does not name. Prints each offending include."""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
table = (root / "docs/architecture.md").read_text()

allowed = {}
for line in table.splitlines():
    row = re.match(r"^\| `([a-z]+)/` \|([^|]*)\|", line)
    if row:
        allowed[row.group(1)] = {name.strip() for name in row.group(2).split(",") if name.strip()}
if not allowed:
    sys.exit("check_layering: no layering table in docs/architecture.md")

include = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')
broken = []
for folder, may in allowed.items():
    for path in sorted((root / folder).rglob("*")):
        if path.suffix not in (".h", ".cc", ".mm") or not path.is_file():
            continue
        for number, text in enumerate(path.read_text(errors="replace").splitlines(), 1):
            found = include.match(text)
            if found and found.group(1) != folder and found.group(1) not in may:
                broken.append(f"{path.relative_to(root)}:{number}: {folder}/ may not include {found.group(1)}/")

for line in broken:
    print(line)
print(f"check_layering: {len(allowed)} folders, {len(broken)} includes against the table")
sys.exit(1 if broken else 0)
