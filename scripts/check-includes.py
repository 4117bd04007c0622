#!/usr/bin/env python3
"""Checks that the stand-in host's folders include only the folders below them.

Each folder of standin/ is one library; a file may include the headers of its own folder and of
the folders that folder may use (ALLOWED), and nothing of another. Headers of src/ (the notation,
the platform) and of the system are not checked here. Prints every wrong include and exits 1
when there is one.
"""
import pathlib
import re
import sys

# What each folder may include besides itself.
ALLOWED = {
    "runtime": set(),
    "script": set(),
    "performance": {"script"},
    "staff": {"performance", "script"},
    "sound": {"staff", "performance", "script", "runtime"},
    "input": {"performance", "script", "runtime"},
    "console": {"sound", "staff", "performance", "script", "runtime"},
    "window": {"console", "input", "sound", "staff", "performance", "script", "runtime"},
    ".": {"console", "window", "input", "sound", "staff", "performance", "script", "runtime"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main(root):
    standin = pathlib.Path(root) / "standin"
    owner = {}  # header name -> folder
    for header in standin.rglob("*.h"):
        folder = header.parent.relative_to(standin).parts
        owner[header.name] = folder[0] if folder else "."
    faults = []
    for source in sorted(standin.rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        parts = source.parent.relative_to(standin).parts
        folder = parts[0] if parts else "."
        if folder not in ALLOWED:
            faults.append(f"{source}: folder {folder} has no place in the include order")
            continue
        for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            name = pathlib.PurePosixPath(match.group(1)).name
            target = owner.get(name)
            if target is None or target == folder or target in ALLOWED[folder]:
                continue
            faults.append(f"{source}:{number}: {folder}/ may not include {target}/{name}")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) against the order of standin/'s folders")
        return 1
    print(f"standin/: includes in order ({len(owner)} headers)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
