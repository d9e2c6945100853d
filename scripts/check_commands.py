#!/usr/bin/env python3
"""Checks that docs/commands.md documents exactly the commands of the public headers.

A command is a function of the public headers whose name is written in upper case
(SHOWSCREEN, X_DRAWOBJ, NETGETIP_Str). The reference gives each one a heading of the form
"### `NAME`". The check fails when a declared command has no heading, when a heading names
no declared command, or when a command has two headings.

Usage: check_commands.py [repository root]    (prints the commands with --list)
"""
import pathlib
import re
import sys

# A declaration: a return type, the upper-case name, an opening parenthesis. Requiring a
# type word before the name keeps macro invocations out; #define lines are dropped first.
DECLARATION = re.compile(
    r"\b([A-Za-z_][\w:<>]*)\s*[&*]?\s+([A-Z][A-Z0-9_]*(?:_Str)?)\s*\(")
NOT_A_TYPE = {"return", "new", "delete", "else", "case", "throw", "goto"}
HEADING = re.compile(r"^###\s+`([A-Za-z0-9_]+)`\s*$", re.M)


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    return re.sub(r"^\s*#.*?(?<!\\)$", " ", text, flags=re.M | re.S)


def declared_commands(root):
    names = {}
    for header in sorted((root / "runtime/include/tavelor").glob("*.h")):
        for type_word, name in DECLARATION.findall(strip_comments(header.read_text())):
            if type_word in NOT_A_TYPE or not re.search(r"[A-Z]{2}", name):
                continue
            names.setdefault(name, header.name)
    return names


def documented_commands(root):
    return HEADING.findall((root / "docs/commands.md").read_text())


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    root = pathlib.Path(args[0] if args else pathlib.Path(__file__).resolve().parent.parent)
    declared = declared_commands(root)
    if "--list" in argv:
        for name, header in sorted(declared.items(), key=lambda kv: (kv[1], kv[0])):
            print(f"{header}\t{name}")
        return 0
    documented = documented_commands(root)
    problems = []
    for name in sorted(set(declared) - set(documented)):
        problems.append(f"undocumented: {name} (declared in {declared[name]})")
    for name in sorted(set(documented) - set(declared)):
        problems.append(f"documented but not declared: {name}")
    for name in sorted({n for n in documented if documented.count(n) > 1}):
        problems.append(f"documented more than once: {name}")
    for line in problems:
        print(line)
    print(f"{len(declared)} commands declared, {len(set(documented))} documented, "
          f"{len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
