#!/usr/bin/env python3
"""Checks that the manual pages name the same options (and, for lumeta, the same commands and
version) as the programs' own help, so the two cannot drift apart.

usage: man_pages_test.py LUMETA LUMETA_DESKTOP PACKAGING_DIR"""
import re
import subprocess
import sys
from pathlib import Path

OPTION = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")


def run(program, *arguments):
    result = subprocess.run([program, *arguments], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        sys.exit(f"{program} {' '.join(arguments)} failed with status {result.returncode}: {result.stderr}")
    return result.stdout


def help_section(text, title):
    """The lines of the help section that starts with `title`, up to the next blank line."""
    lines = text.splitlines()
    start = lines.index(title) + 1
    end = next((i for i in range(start, len(lines)) if not lines[i].strip()), len(lines))
    return lines[start:end]


def man_entries(page, section):
    """The tag line of every .TP entry in a section of a man page, with escapes undone."""
    lines = page.read_text().splitlines()
    start = lines.index(f".SH {section}") + 1
    end = next((i for i in range(start, len(lines)) if lines[i].startswith(".SH ")), len(lines))
    body = lines[start:end]
    return [body[i + 1].replace("\\-", "-") for i, line in enumerate(body[:-1]) if line == ".TP"]


def man_options(page):
    # Quoted words are the options' arguments.
    return {option for tag in man_entries(page, "OPTIONS") for option in OPTION.findall(re.sub(r'"[^"]*"', " ", tag))}


def compare(what, documented, actual):
    if documented != actual:
        missing, extra = sorted(actual - documented), sorted(documented - actual)
        return [f"{what}: the manual page lacks {missing} and names {extra} that the program does not know"]
    return []


def main():
    lumeta, desktop, packaging = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    errors = []

    help_text = run(lumeta, "--help")
    help_options = {option for line in help_section(help_text, "Options:") if line.startswith("  -")
                    for option in OPTION.findall(re.split(r"\s{2,}", line.strip())[0])}
    errors += compare("lumeta options", man_options(packaging / "lumeta.1"), help_options)
    help_commands = {line.split()[0] for line in help_section(help_text, "Commands:") if re.match(r"  [a-z]", line)}
    man_commands = {tag.removeprefix(".B ").strip() for tag in man_entries(packaging / "lumeta.1", "COMMANDS")}
    errors += compare("lumeta commands", man_commands, help_commands)

    version = run(lumeta, "--version").split()[-1]
    for page in ("lumeta.1", "lumeta-desktop.1"):
        header = (packaging / page).read_text().splitlines()[0]
        if f'"lumeta {version}"' not in header:
            errors.append(f"{page}: its header does not carry version {version}: {header}")

    usage = run(desktop, "--help")
    errors += compare("lumeta-desktop options", man_options(packaging / "lumeta-desktop.1"), set(OPTION.findall(usage)))

    for error in errors:
        print(error, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
