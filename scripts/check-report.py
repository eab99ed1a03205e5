#!/usr/bin/env python3
"""Checks a service report with an HTML parser: every section is there, and nothing is
fetched from outside the file (no link, script, frame or object element, no src/href/action
attribute leading away, no url() or @import in a style).
    scripts/check-report.py REPORT.html
Exit code 0 when it passes, 1 with the faults listed."""
import re
import sys
from html.parser import HTMLParser

SECTIONS = ["identification", "versions", "revisions", "counters", "flags", "configuration", "link", "log",
            "history"]
FORBIDDEN = {"link", "script", "iframe", "frame", "object", "embed", "base", "img", "audio", "video", "source"}
URL_ATTRS = {"src", "href", "action", "formaction", "srcset", "data", "poster", "background", "cite"}


class Check(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.sections, self.faults, self.in_style, self.styles, self.stack = [], [], False, [], []

    def handle_starttag(self, tag, attrs):
        if tag in FORBIDDEN:
            self.faults.append(f"<{tag}> element")
        for name, value in attrs:
            if name in URL_ATTRS and value and not value.startswith("#"):
                self.faults.append(f"<{tag} {name}=\"{value}\"> leads outside")
            if name == "style" and value:
                self.styles.append(value)
        if tag == "section":
            self.sections.append(dict(attrs).get("id"))
        self.in_style = tag == "style"

    def handle_endtag(self, tag):
        if tag == "style":
            self.in_style = False

    def handle_data(self, data):
        if self.in_style:
            self.styles.append(data)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        text = f.read()
    c = Check()
    c.feed(text)
    c.close()
    for style in c.styles:
        if re.search(r"url\s*\(|@import", style, re.I):
            c.faults.append("a style fetches from outside (url() or @import)")
    for section in SECTIONS:
        if section not in c.sections:
            c.faults.append(f"section '{section}' is missing")
    if not text.lstrip().lower().startswith("<!doctype html>"):
        c.faults.append("no <!DOCTYPE html>")
    for fault in c.faults:
        print(f"{sys.argv[1]}: {fault}", file=sys.stderr)
    if c.faults:
        return 1
    print(f"{sys.argv[1]}: {len(c.sections)} sections, self-contained")
    return 0


if __name__ == "__main__":
    sys.exit(main())
