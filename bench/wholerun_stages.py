#!/usr/bin/env python3
"""Splits one whole run into stages from the program's own log.

    wholerun_stages.py KIND START_MS INSTALLER_MS LOG

START_MS is when the script started the program, INSTALLER_MS when the
stand-in installer recorded its start (both Unix ms); LOG is the program's
varnel_setup.log, whose time stamps are local time (UTC under the bench's
Wine). Prints "KIND_ms TOTAL" and one "KIND_STAGE_ms VALUE" per stage; a
stage ends where the next begins:

    wine          the start of the Wine process until the first log line
    startup       rights, working folders, probe, library probe ("run mode")
    dialog        the dialog until Start was pressed (installations)
    sizes         the two size queries, until both requests are closed
    download      the three downloads (internet)
    copy          the copy of the start folder's set (local, update)
    extract       both cabinets
    libraries     the fourteen copies and the six regsvr32 starts
    registrations waiting for the regsvr32 processes to end
    handoff       creating the installer's process
    installer     until the installer's own first instruction ran
"""
import calendar
import sys
import time


def main():
    kind, start, installer, log = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    marks = []
    for raw in open(log, encoding="utf-8", errors="replace"):
        stamp, text = raw[:23], raw[24:].strip()
        seconds = calendar.timegm(time.strptime(stamp[:19], "%Y-%m-%d %H:%M:%S"))
        marks.append((seconds * 1000 + int(stamp[20:23]), text))

    def first(prefix):
        return next((t for t, text in marks if text.startswith(prefix)), None)

    def last(prefix, containing=""):
        found = [t for t, text in marks if text.startswith(prefix) and containing in text]
        return found[-1] if found else None

    extracts = [t for t, text in marks if text.startswith("extract:")]
    points = [
        ("wine", start),
        ("startup", marks[0][0]),
        ("dialog", first("run mode:") if kind != "update" else None),
        ("sizes", first("dialog: Start") if kind == "internet" else None),
        ("download", first("size:") and last("size:", "in all")),
        ("copy", first("dialog: Start") if kind == "local" else
                 first("run mode:") if kind == "update" else None),
        ("extract", last("download:", " bytes in ") if kind == "internet" else
                    first("local files copied")),
        ("libraries", extracts[-1] if len(extracts) == 2 else None),
        ("registrations", last("library ", ": rule ")),
        ("handoff", last("library ", ": regsvr32 ")),
        ("installer", first("installer: started")),
        ("end", installer),
    ]
    points = [(name, t) for name, t in points if t is not None]
    print("%s_ms %d" % (kind, round(installer - start)))
    for (name, begin), (_, end) in zip(points, points[1:]):
        print("%s_%s_ms %d" % (kind, name, round(end - begin)))


if __name__ == "__main__":
    main()
