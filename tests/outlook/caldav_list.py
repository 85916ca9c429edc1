#!/usr/bin/python3
"""Lists the tasks of a CalDAV calendar with python3-caldav, a client this project did not write:
one line per task, sorted: UID, SUMMARY, STATUS, SEQUENCE, then the UIDs it is related to.

caldav_list.py URL [USER] (the password from $LUMETA_CALDAV_PASSWORD)
caldav_list.py URL --complete UID marks the task done, as a phone would; --delete UID removes it."""
import os
import sys

import caldav
import icalendar


def main() -> int:
    url = sys.argv[1]
    action = sys.argv[2] if len(sys.argv) > 3 and sys.argv[2] in ("--complete", "--delete") else None
    user = sys.argv[2] if len(sys.argv) > 2 and not action else None
    client = caldav.DAVClient(url=url, username=user, password=os.environ.get("LUMETA_CALDAV_PASSWORD"))
    calendar = caldav.Calendar(client=client, url=url)
    if action == "--complete":
        calendar.todo_by_uid(sys.argv[3]).complete()
        return 0
    if action == "--delete":
        calendar.todo_by_uid(sys.argv[3]).delete()
        return 0
    lines = []
    for todo in calendar.todos(include_completed=True):
        for component in icalendar.Calendar.from_ical(todo.data).walk("VTODO"):
            related = component.get("RELATED-TO", [])
            if not isinstance(related, list):
                related = [related]
            lines.append("\t".join([str(component.get("UID")), str(component.get("SUMMARY", "")),
                                    str(component.get("STATUS", "")), str(component.get("SEQUENCE", 0))] +
                                   sorted(str(r) for r in related)))
    for line in sorted(lines):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
