#!/usr/bin/env python3
"""Reads task files with the icalendar package and prints what a test compares, one line per
value: SUMMARY|NAME|VALUE, tasks in the order of their summaries. RELATED-TO values name the
related task by its summary; DESCRIPTION line breaks show as "\\n"."""
import sys

import icalendar


def main():
    todos = []
    for path in sys.argv[1:]:
        with open(path, "rb") as handle:
            calendar = icalendar.Calendar.from_ical(handle.read())
        method = str(calendar.get("METHOD", ""))
        todos += [(method, todo) for todo in calendar.walk("VTODO")]
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
        categories = todo.get("CATEGORIES")
        for entry in categories if isinstance(categories, list) else [categories] if categories else []:
            for category in entry.cats:
                lines.append(f"{summary}|CATEGORY|{category}")
        related = todo.get("RELATED-TO")
        for entry in related if isinstance(related, list) else [related] if related else []:
            kind = entry.params.get("RELTYPE", "PARENT")
            lines.append(f"{summary}|RELATED-TO|{kind} {summaries.get(str(entry), '?' + str(entry))}")
    for line in sorted(lines):
        print(line)


if __name__ == "__main__":
    main()
