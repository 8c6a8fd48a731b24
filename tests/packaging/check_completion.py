#!/usr/bin/env python3
"""Drives a real bash, zsh or fish through the generated completion for
veltrop-cli and compares what it offers with the program's own --help.

usage: check_completion.py bash|zsh|fish VELTROP_CLI DOCS_DIR
"""

from __future__ import annotations

import os
import pty
import re
import select
import shlex
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import fcntl
import time

from checks import Checks, commands, help_text, long_options, skip_unless_tools

PROGRAM = "veltrop-cli"


def bash_offers(completion: str, lines: list[str]) -> list[list[str]]:
    script = [f"source {shlex.quote(completion)}"]
    for line in lines:
        words = line.split(" ")
        script += [f"COMP_WORDS=({' '.join(shlex.quote(w) for w in words)})",
                   f"COMP_CWORD={len(words) - 1}", "COMPREPLY=()", "_veltrop_cli",
                   "printf '%s\\n' \"${COMPREPLY[@]}\"", "echo '<<END>>'"]
    output = subprocess.run(["bash", "--norc", "--noprofile", "-c", "\n".join(script)], capture_output=True,
                            text=True, timeout=60, check=True).stdout
    return [[word for word in case.split("\n") if word] for case in output.split("<<END>>\n")[:-1]]


def fish_offers(completion: str, lines: list[str]) -> list[list[str]]:
    script = [f"source {fish_quote(completion)}"]
    for line in lines:
        script += [f"complete -C {fish_quote(line)}", "echo '<<END>>'"]
    output = subprocess.run(["fish", "--no-config", "-c", "\n".join(script)], capture_output=True, text=True,
                            timeout=60, check=True).stdout
    return [[entry.split("\t")[0] for entry in case.split("\n") if entry]
            for case in output.split("<<END>>\n")[:-1]]


def fish_quote(text: str) -> str:
    return "'" + text.replace("\\", "\\\\").replace("'", "\\'") + "'"


# An interactive zsh on a pseudo-terminal, with compadd wrapped so that every
# match it is given is also printed between markers.
ZSH_SETUP = r"""
PS1='> '
fpath=(%s $fpath)
autoload -Uz compinit && compinit -u -D
compadd() {
  if [[ " $* " == *" -"[OAD]* ]]; then builtin compadd "$@"; return; fi
  local -a found
  builtin compadd -O found "$@"
  local match
  for match in $found; do print -rn -- "<<M:$match>>" > /dev/tty; done
  builtin compadd "$@"
}
complete_and_mark() { _main_complete; print -rn -- "<<END>>" > /dev/tty }
zle -C complete-and-mark complete-word complete_and_mark
bindkey '^I' complete-and-mark
print READY
"""


def zsh_offers(completion: str, lines: list[str]) -> list[list[str]]:
    with tempfile.NamedTemporaryFile("w", suffix=".zsh", delete=False) as setup:
        setup.write(ZSH_SETUP % shlex.quote(os.path.dirname(completion)))
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp("zsh", ["zsh", "-f", "-i"])
    # A tall window, so that zsh never asks before listing many matches.
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 500, 200, 0, 0))
    received = b""

    def read_until(marker: bytes, seconds: float = 10) -> bool:
        nonlocal received
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if select.select([terminal], [], [], 0.1)[0]:
                try:
                    received += os.read(terminal, 65536)
                except OSError:
                    return False
                if marker in received:
                    return True
        return False

    results = []
    try:
        os.write(terminal, f"source {shlex.quote(setup.name)}\n".encode())
        if not read_until(b"READY\r\n"):
            sys.exit(f"zsh did not start: {received!r}")
        for line in lines:
            received = b""
            os.write(terminal, line.encode() + b"\t")
            finished = read_until(b"<<END>>")
            results.append([m.decode().replace("\\", "") for m in re.findall(rb"<<M:(.*?)>>", received)]
                           if finished else ["<no answer>"])
            os.write(terminal, b"\x07\x15")  # ^G ^U: leave any menu, clear the line
    finally:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        os.unlink(setup.name)
    return results


def main() -> None:
    shell, program, docs = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    skip_unless_tools(shell, hint="scripts/setup installs it")
    completion, offers = {
        "bash": (f"{docs}/bash/{PROGRAM}", bash_offers),
        "zsh": (f"{docs}/zsh/_{PROGRAM}", zsh_offers),
        "fish": (f"{docs}/fish/{PROGRAM}.fish", fish_offers),
    }[shell]

    # Completions are asked for in a folder whose contents are known.
    folder = tempfile.mkdtemp(prefix="veltrop-completion-")
    os.chdir(folder)
    for name in ("a.jpg", "b c.jpg"):
        open(name, "w").close()
    os.mkdir("sub dir")
    everything = {"a.jpg", "b c.jpg", "sub dir"}

    names = commands(program)
    options = {name: long_options(PROGRAM, help_text(program, name)) for name in names}
    cases: list[tuple[str, str, object]] = [  # line, what, expected set or "includes" check
        (f"{PROGRAM} ", "every command at the start", set(names)),
        (f"{PROGRAM} --", "the program's own options", long_options(PROGRAM, help_text(program))),
        (f"{PROGRAM} exp", "a command from its first letters", {"export"}),
        (f"{PROGRAM} export --mode ", "the values of a choice", {"overlay", "dataStrip"}),
        (f"{PROGRAM} export --ink ", "values listed in a description", {"white", "black", "amber"}),
        (f"{PROGRAM} export --out ", "only folders for a folder", {"sub dir"}),
        (f"{PROGRAM} export --jobs ", "nothing for a number", set()),
        (f"{PROGRAM} export ", "files and folders for paths", everything),
        (f"{PROGRAM} config ", "sub-commands first", {"default", "check"}),
        (f"{PROGRAM} presets ", "sub-commands first", {"list", "show", "export", "import"}),
        (f"{PROGRAM} presets export ", "paths after a sub-command named like a command", everything),
    ]
    cases += [(f"{PROGRAM} {name} --", f"the options of {name} and no others", options[name]) for name in names]

    results = offers(completion, [line for line, _, _ in cases])
    checks = Checks()
    checks.check(len(results) == len(cases), f"{shell} answered every case", results)
    for (line, what, expected), offered in zip(cases, results):
        got = {word.rstrip("/") for word in offered}
        checks.check(got == expected, f"{shell}: {what}: '{line}'",
                     f"expected {sorted(expected)}, offered {sorted(got)}")
    checks.finish()


if __name__ == "__main__":
    main()
