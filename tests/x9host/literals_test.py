#!/usr/bin/env python3
"""No line of x9host's is written in its code: every text a user reads comes from
release/x9host-messages.toml, in English and Japanese. This scans x9host's sources for string
literals that read as words (two words, or a word and a colon) and fails on each one that is
not marked as something other than a user's text: a line ending in `// not a message: why`
(an XML name, an environment variable, a format of bytes, a test seam's own name...).

  literals_test.py [X9HOST_DIR]
"""
import re
import sys
from pathlib import Path

LITERAL = re.compile(r'(?<![A-Za-z0-9_])(?:u8|L)?"((?:[^"\\\n]|\\.)*)"')
# Prose: two words in a row, or a word then a colon and a space, or a capitalised sentence.
WORDS = re.compile(r"[A-Za-z]{2,}[ ,;'-]+[A-Za-z]{2,}|[A-Za-z]{3,}: |^[A-Z][a-z]+ ")
MARK = "// not a message:"


def strip_comments(text):
    """Comments as blanks, line ends kept, so that line numbers stay right."""
    def blank(match):
        return re.sub(r"[^\n]", " ", match.group(0))
    return re.sub(r'//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\'(?:[^\'\\\n]|\\.)*\'',
                  lambda m: m.group(0) if m.group(0)[0] in "\"'" else blank(m), text, flags=re.S)


def offences(path):
    raw = path.read_text(encoding="utf-8").split("\n")
    code = strip_comments("\n".join(raw)).split("\n")
    found = []
    for number, line in enumerate(code, 1):
        if line.lstrip().startswith("#"):  # includes, pragmas, macros' names
            continue
        if MARK in raw[number - 1]:
            continue
        for match in LITERAL.finditer(line):
            if WORDS.search(match.group(1)):
                found.append((number, match.group(0)))
    return found


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "x9host"
    total = 0
    for path in sorted(root.rglob("*")):
        if path.suffix not in (".cpp", ".h") or "generated" in path.parts:
            continue
        for number, literal in offences(path):
            print(f"{path.relative_to(root.parent)}:{number}: {literal}")
            total += 1
    if total:
        print(f"literals_test: {total} literals read as a user's text: put them in "
              "release/x9host-messages.toml, or mark the line `// not a message: why`")
        return 1
    print("literals_test: every text x9host writes comes from its messages table")
    return 0


if __name__ == "__main__":
    sys.exit(main())
