#!/usr/bin/env python3
"""Fails when a source file includes a header of a folder that its own folder may not use.

Folders are layers; each may include from itself and from the folders listed for it, which are
all below it. Run from anywhere: python3 scripts/check_layers.py [ROOT]
"""
import pathlib
import re
import sys

# Each folder and the folders below it that it may include from.
ALLOWED = {
    "com": set(),
    "html": set(),
    "settings": {"com"},
    "contract": {"com"},
    "drawing": {"com"},
    "attributes": {"com", "contract", "html"},
    "treegrid": {"com", "drawing"},
    "commands": {"com", "contract", "attributes"},
    "plugin": {"com", "contract", "attributes", "commands", "settings", "drawing", "html"},
    "ui": {"com", "contract", "attributes", "commands", "settings", "drawing", "html", "treegrid", "plugin"},
    "outlook": {"com", "contract", "attributes", "commands", "settings", "html", "plugin", "ui"},
    "host": {"com", "contract", "attributes", "commands", "settings"},
    "actionproperty": {"com", "contract", "attributes", "commands", "settings", "drawing", "html", "treegrid",
                       "plugin", "ui", "outlook"},
    "session": {"com", "contract", "attributes", "commands", "settings", "host"},
    "exchange": {"com", "contract", "attributes", "commands", "settings", "host", "session"},
}
# Programs, tests and benchmarks sit on top and may include anything, except what FORBIDDEN names.
TOP = {"apps", "tests", "bench"}
# The programs reach the plug-in only through contract/ and session/: the one copy of it in a
# process is the library the host loads with dlopen. (The gallery shows ui/'s controls alone.)
FORBIDDEN = {"apps": {"plugin", "outlook", "actionproperty"}}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    layers = set(ALLOWED) | TOP
    faults = []
    for path in sorted(root.rglob("*")):
        if path.suffix not in {".h", ".cpp"} or not path.is_file():
            continue
        relative = path.relative_to(root)
        folder = relative.parts[0]
        if folder not in layers:
            if folder not in {"build", "examples", "docs", "scripts"} and not folder.startswith("."):
                faults.append(f"{relative}: folder '{folder}' has no place in the layers")
            continue
        if folder in TOP and folder not in FORBIDDEN:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue
            target = match.group(1).split("/")[0]
            allowed = target not in FORBIDDEN[folder] if folder in TOP else target == folder or target in ALLOWED[folder]
            if not allowed:
                faults.append(f"{relative}:{number}: {folder}/ may not include {match.group(1)}")
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) break the layers; see docs/architecture.md")
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
