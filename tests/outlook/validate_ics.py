#!/usr/bin/env python3
"""Reads every .ics file given with the icalendar package and checks what RFC 5545 (and RFC 5546
for requests) demands of a task: prints each fault and exits 1 when there is one."""
import sys

import icalendar


def faults_of(path):
    with open(path, "rb") as handle:
        calendar = icalendar.Calendar.from_ical(handle.read())
    if calendar.name != "VCALENDAR":
        yield "not a VCALENDAR"
        return
    for name in ("VERSION", "PRODID"):
        if name not in calendar:
            yield "VCALENDAR without " + name
    todos = [c for c in calendar.walk() if c.name == "VTODO"]
    if not todos:
        yield "no VTODO"
    for todo in todos:
        for name in ("UID", "DTSTAMP"):
            if name not in todo:
                yield "VTODO without " + name
        if "DTSTART" in todo and "DUE" in todo:
            start, due = todo.decoded("DTSTART"), todo.decoded("DUE")
            if type(start) is not type(due):
                yield "DTSTART and DUE of different value types"
            elif due <= start:
                yield "DUE not after DTSTART"
        if isinstance(todo.get("CATEGORIES"), list) and len(todo["CATEGORIES"]) > 1:
            yield "more than one CATEGORIES"
        if "COMPLETED" in todo:
            completed = todo.decoded("COMPLETED")
            if getattr(completed, "tzinfo", None) is None or completed.utcoffset().total_seconds() != 0:
                yield "COMPLETED not in UTC"
        if "PERCENT-COMPLETE" in todo and not 0 <= int(todo["PERCENT-COMPLETE"]) <= 100:
            yield "PERCENT-COMPLETE outside 0 to 100"
        if "METHOD" in calendar:
            if str(calendar["METHOD"]) not in ("REQUEST", "CANCEL"):
                yield "METHOD is neither REQUEST nor CANCEL"
            if str(calendar["METHOD"]) == "CANCEL" and str(todo.get("STATUS", "")) != "CANCELLED":
                yield "a cancel that does not say CANCELLED"
            if "ORGANIZER" not in todo:
                yield "request without ORGANIZER"
            if "ATTENDEE" not in todo:
                yield "request without ATTENDEE"
            if str(calendar["METHOD"]) == "REQUEST" and len(
                    [name for name, _ in todo.property_items(recursive=False) if name == "DTSTART"]) != 1:
                yield "request without exactly one DTSTART"
    for line in open(path, "rb").read().split(b"\r\n"):
        if len(line) > 75:
            yield "a line longer than 75 octets"


def main():
    failed = False
    for path in sys.argv[1:]:
        try:
            for fault in faults_of(path):
                print(f"{path}: {fault}")
                failed = True
        except Exception as error:  # a parse error is a fault of the file
            print(f"{path}: {error}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
