#!/usr/bin/env python3
"""Reads task files with the icalendar package and prints what a test compares, one line per
value: SUMMARY|NAME|VALUE, tasks in the order of their summaries. RELATED-TO values name the
related task by its summary; DESCRIPTION line breaks show as "\\n"."""
import re
import sys

import icalendar


def raw_categories(text):
    """The category names of each CATEGORIES line of an unfolded file. Read by hand: icalendar 4.0
    unescapes a value before it splits it at commas, so it cuts "Smith\\, John" in two."""
    names = []
    for line in text.replace("\r\n ", "").replace("\r\n\t", "").split("\r\n"):
        if line.startswith("CATEGORIES"):
            value = line.split(":", 1)[1]
            names += [re.sub(r"\\(.)", r"\1", name) for name in re.split(r"(?<!\\),", value)]
    return names


def main():
    todos = []
    categories_of = {}
    for path in sys.argv[1:]:
        with open(path, "rb") as handle:
            text = handle.read()
        calendar = icalendar.Calendar.from_ical(text)
        method = str(calendar.get("METHOD", ""))
        todos += [(method, todo) for todo in calendar.walk("VTODO")]
        if not method:
            for todo in calendar.walk("VTODO"):
                categories_of[str(todo["UID"])] = raw_categories(text.decode("utf-8"))
    summaries = {str(todo["UID"]): str(todo.get("SUMMARY", "")) for method, todo in todos if not method}
    lines = []
    for method, todo in todos:
        summary = str(todo.get("SUMMARY", ""))
        if method:
            for attendee in todo.get("ATTENDEE", []) if isinstance(todo.get("ATTENDEE"), list) else [todo.get("ATTENDEE")]:
                lines.append(f"{summary}|{method}|{attendee}")
            continue
        for name in ("DESCRIPTION", "STATUS", "PRIORITY", "PERCENT-COMPLETE", "X-LUMETA-TASK-STATUS"):
            if name in todo:
                lines.append(f"{summary}|{name}|{str(todo[name])}".replace("\r", "").replace("\n", "\\n"))
        for name in ("DTSTART", "DUE", "COMPLETED"):
            if name in todo:
                lines.append(f"{summary}|{name}|{todo.decoded(name).isoformat()}")
        for category in categories_of.get(str(todo["UID"]), []):
            lines.append(f"{summary}|CATEGORY|{category}")
        related = todo.get("RELATED-TO")
        for entry in related if isinstance(related, list) else [related] if related else []:
            kind = entry.params.get("RELTYPE", "PARENT")
            lines.append(f"{summary}|RELATED-TO|{kind} {summaries.get(str(entry), '?' + str(entry))}")
    for line in sorted(lines):
        print(line)


if __name__ == "__main__":
    main()
