"""Small helpers shared by the packaging checks: a tally of named checks, a
skip that ctest reports as such, and reading a program's help texts."""

from __future__ import annotations

import re
import shutil
import subprocess
import sys

SKIPPED = 77  # ctest's SKIP_RETURN_CODE for these tests


class Checks:
    def __init__(self) -> None:
        self.passed = 0
        self.failed: list[str] = []

    def check(self, condition: bool, what: str, detail: object = "") -> bool:
        if condition:
            self.passed += 1
        else:
            self.failed.append(what)
            print(f"FAILED: {what}" + (f"\n  {detail}" if detail != "" else ""), flush=True)
        return condition

    def finish(self) -> None:
        print(f"{self.passed} passed, {len(self.failed)} failed")
        sys.exit(1 if self.failed else 0)


def skip_unless_tools(*tools: str, hint: str = "") -> None:
    missing = [tool for tool in tools if not shutil.which(tool)]
    if missing:
        print(f"SKIPPED: {', '.join(missing)} not found" + (f" ({hint})" if hint else ""))
        sys.exit(SKIPPED)


def help_text(program: str, *arguments: str) -> str:
    return subprocess.run([program, *arguments, "--help"], capture_output=True, text=True, check=True,
                          timeout=60).stdout


def commands(program: str) -> list[str]:
    """The command names listed under "Commands:" in the top-level help."""
    names, listing = [], False
    for line in help_text(program).splitlines():
        if line.strip().endswith(":") and not line.startswith(" "):
            listing = line.strip().lower() == "commands:"
        elif listing and (match := re.match(r"\s+([a-z][\w-]*)\s{2,}\S", line)):
            names.append(match.group(1))
    return names


def long_options(program: str, text: str) -> set[str]:
    """Every --option named in a usage line or in the term of an option line."""
    found: set[str] = set()
    for line in text.splitlines():
        stripped = line.strip()
        if stripped.lower().startswith("usage:") or stripped.startswith(program + " "):
            found.update(re.findall(r"(?<![\w-])--[a-z][\w-]*", stripped))
        elif stripped.startswith("-"):
            found.update(re.findall(r"(?<![\w-])--[a-z][\w-]*", re.split(r"\s{2,}", stripped)[0]))
    return found
