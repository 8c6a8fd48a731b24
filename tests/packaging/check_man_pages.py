#!/usr/bin/env python3
"""Renders the generated man pages with man and groff and checks them against
the programs' own --help: no formatter warnings, a NAME line that whatis can
index, a section for every command and every option of that command in it.

usage: check_man_pages.py VELTROP_CLI MAN1_DIR
"""

from __future__ import annotations

import gzip
import os
import re
import subprocess
import sys

from checks import Checks, commands, help_text, long_options, skip_unless_tools

PROGRAM = "veltrop-cli"


def run(*command: str, stdin: str | None = None) -> subprocess.CompletedProcess:
    environment = dict(os.environ, MANWIDTH="100", LC_ALL="C.UTF-8")
    return subprocess.run(command, input=stdin, capture_output=True, text=True, timeout=60, env=environment)


def main() -> None:
    program, folder = sys.argv[1], sys.argv[2]
    skip_unless_tools("man", "groff", "lexgrog", hint="man-db and groff-base")
    checks = Checks()

    pages = sorted(name for name in os.listdir(folder) if name.endswith(".1.gz"))
    checks.check(f"{PROGRAM}.1.gz" in pages, f"{PROGRAM}.1.gz was generated", pages)
    for page in pages:
        path = os.path.join(folder, page)
        with gzip.open(path, "rt", encoding="utf-8") as packed:
            source = packed.read()
        formatted = run("groff", "-man", "-Tutf8", "-ww", "-z", "-k", stdin=source)
        checks.check(formatted.returncode == 0 and not formatted.stderr, f"{page}: groff gives no warnings",
                     formatted.stderr)
        name = page.removesuffix(".1.gz")
        indexed = run("lexgrog", path)
        checks.check(f'"{name} - ' in indexed.stdout, f"{page}: whatis can index its NAME line", indexed.stdout)

    rendered = run("man", "-l", os.path.join(folder, f"{PROGRAM}.1.gz")).stdout
    # Sections of one command start at an indented "veltrop-cli COMMAND" heading.
    parts = re.split(rf"^ {{3}}{PROGRAM} (\S+)\n", rendered, flags=re.M)
    sections = dict(zip(parts[1::2], parts[2::2]))
    for command in commands(program):
        section = sections.get(command)
        if not checks.check(section is not None, f"the man page has a section for {command}", list(sections)):
            continue
        missing = sorted(o for o in long_options(PROGRAM, help_text(program, command)) if o not in section)
        checks.check(not missing, f"the {command} section names every option of its help", missing)
    checks.check("SEE ALSO" in rendered and "veltrop(1)" in rendered, "the page points to veltrop(1)")
    checks.finish()


if __name__ == "__main__":
    main()
