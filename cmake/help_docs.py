#!/usr/bin/env python3
"""Writes a man page and bash, zsh and fish completion from a program's --help.

The program is run at build time: its top-level help lists the commands
(a "Commands:" section), and each command's own --help gives its usage lines,
options and prose. Nothing is listed here by hand, so a new command or option
reaches the man page and the completions with the next build.

Help texts are read as plain text laid out the usual way:
  usage: PROGRAM COMMAND [OPTIONS] PATH...       usage lines, then prose
  Options:                                        a heading ends with a colon
    -h, --help        show this help              term, two spaces, description
    --out DIR         write every copy into DIR
                      (continued, indented deeper)
    PROGRAM export …                              an example, kept verbatim
"""

from __future__ import annotations

import argparse
import dataclasses
import gzip
import os
import re
import subprocess
import sys
import time

# Placeholders in usage lines and option arguments that name files or folders.
FOLDER_WORDS = {"DIR", "FOLDER"}
PATH_WORDS = FOLDER_WORDS | {"FILE", "PATH", "INPUT", "OUTPUT", "PHOTO"}


@dataclasses.dataclass
class Item:
    """A term and its description, such as an option or a sub-command."""
    term: str
    description: str
    indent: int


@dataclasses.dataclass
class Block:
    kind: str  # "text", "note" (indented text), "heading", "item" or "code"
    lines: list[str] = dataclasses.field(default_factory=list)
    item: Item | None = None
    indent: int = 0


@dataclasses.dataclass
class Option:
    names: list[str]
    argument: str | None
    description: str

    def argument_kind(self) -> str:
        """"folder", "file", "choice" or "value" for an option taking one, else "none"."""
        if self.argument is None:
            return "none"
        words = set(re.findall(r"[A-Z][A-Z_]*", self.argument))
        if words & FOLDER_WORDS:
            return "folder"
        if words & PATH_WORDS:
            return "file"
        if self.choices():
            return "choice"
        return "value"

    def choices(self) -> list[str]:
        """Values written as a|b|c, or a description that is only "a, b or c"."""
        if self.argument is None:
            return []
        if re.fullmatch(r"\w+(\|\w+)+", self.argument):
            return self.argument.split("|")
        listed = re.fullmatch(r"(\w+(?:, \w+)*) or (\w+)", self.description)
        if listed:
            return listed.group(1).split(", ") + [listed.group(2)]
        return []

    def summary(self) -> str:
        """The description up to its first sentence or clause break."""
        return first_clause(self.description)


@dataclasses.dataclass
class Help:
    usage: list[str]
    blocks: list[Block]

    def options(self) -> list[Option]:
        """Options from the items, then those only named in usage lines."""
        found: dict[str, Option] = {}
        for block in self.blocks:
            if block.kind != "item" or not block.item.term.startswith("-"):
                continue
            option = parse_option_term(block.item.term, block.item.description)
            if option and not any(name in found for name in option.names):
                for name in option.names:
                    found[name] = option
        for line in self.usage:
            for match in re.finditer(r'(?<![\w-])(-{1,2}[A-Za-z][\w-]*)(?:[ =]("[^"]*"|[A-Z][\w.|]*))?', line):
                if match.group(1) not in found:
                    found[match.group(1)] = Option([match.group(1)], match.group(2), "")
        return list({id(option): option for option in found.values()}.values())

    def subcommands(self) -> list[str]:
        """Lower-case words right after PROGRAM COMMAND in the usage lines."""
        words: list[str] = []
        for line in self.usage:
            tokens = line.split()
            if len(tokens) > 2 and re.fullmatch(r"[a-z][a-z0-9-]*", tokens[2]) and tokens[2] not in words:
                words.append(tokens[2])
        return words

    def item_description(self, term_word: str) -> str:
        for block in self.blocks:
            if block.kind == "item" and block.item.term.split()[0] == term_word:
                return first_clause(block.item.description)
        return ""

    def takes_paths(self) -> bool:
        for line in self.usage:
            words = set(re.findall(r"(?<![\w-])[A-Z][A-Z_]*(?![\w-])", re.sub(r'"[^"]*"', "", line)))
            if words & PATH_WORDS:
                return True
        return False


def first_clause(text: str) -> str:
    """Text up to a semicolon, a colon or the end of a sentence, for one-line lists."""
    return re.split(r"(?<=[;:])\s|(?<=\.)\s+(?=[A-Z])", text, maxsplit=1)[0].rstrip(".;:")


def parse_option_term(term: str, description: str) -> Option | None:
    match = re.fullmatch(r"(-{1,2}[\w][\w-]*(?:, ?-{1,2}[\w][\w-]*)*)(?:[ =](.+))?", term)
    if not match:
        return None
    names = [name.strip() for name in match.group(1).split(",")]
    return Option(names, match.group(2), description)


def parse_help(program: str, text: str) -> Help:
    lines = text.expandtabs().splitlines()
    usage: list[str] = []
    index = 0
    if lines and re.match(r"(?i)usage:", lines[0]):
        usage.append(lines[0].split(":", 1)[1].strip())
        index = 1
        while index < len(lines) and lines[index].startswith(" ") and lines[index].strip().startswith(program):
            usage.append(lines[index].strip())
            index += 1

    blocks: list[Block] = []
    current: Block | None = None
    for line in lines[index:]:
        stripped = line.strip()
        indent = len(line) - len(line.lstrip())
        if not stripped:
            current = None
            continue
        # A line indented deeper than a term carries on its description.
        if current and current.kind == "item" and indent > current.item.indent:
            current.item.description = (current.item.description + " " + stripped).strip()
            continue
        # Examples are kept as they are, continued lines with their indentation.
        if current and current.kind == "code" and (indent > current.indent or current.lines[-1].endswith("\\")):
            current.lines.append(line[current.indent:].rstrip())
            continue
        if indent and (stripped.startswith((program + " ", "$ ", "# ")) or stripped == program):
            if not (current and current.kind == "code"):
                current = Block("code", indent=indent)
                blocks.append(current)
            current.lines.append(stripped)
            continue
        if not indent and stripped.endswith(":") and len(stripped.split()) <= 4:
            blocks.append(Block("heading", [stripped[:-1]]))
            current = None
            continue
        term = re.match(r"(\S.*?)(?:\s{2,}(\S.*))?$", stripped)
        if term.group(2) or (indent and stripped.startswith("-")):
            current = Block("item", item=Item(term.group(1), term.group(2) or "", indent))
            blocks.append(current)
            continue
        kind = "note" if indent else "text"
        if not (current and current.kind == kind):
            current = Block(kind)
            blocks.append(current)
        current.lines.append(stripped)
    return Help(usage, blocks)


def run_help(program_path: str, arguments: list[str]) -> str:
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
    try:
        result = subprocess.run([program_path, *arguments, "--help"], capture_output=True, text=True,
                                timeout=60, env=environment, check=False)
    except subprocess.TimeoutExpired:
        sys.exit(f"help_docs: {program_path} {' '.join(arguments)} --help did not finish")
    if result.returncode != 0 or not result.stdout.strip():
        sys.exit(f"help_docs: {program_path} {' '.join(arguments)} --help failed "
                 f"(exit {result.returncode}): {result.stderr.strip()}")
    return result.stdout


def commands_of(top: Help) -> list[Item]:
    commands: list[Item] = []
    in_commands = False
    for block in top.blocks:
        if block.kind == "heading":
            in_commands = block.lines[0].lower() == "commands"
        elif in_commands and block.kind == "item":
            commands.append(block.item)
    return commands


# --- man page ---------------------------------------------------------------

def roff(text: str) -> str:
    """Escapes text for roff; hyphens become \\- so options copy as typed."""
    return text.replace("\\", "\\e").replace("-", "\\-")


def roff_line(text: str) -> str:
    escaped = roff(text)
    return "\\&" + escaped if escaped.startswith((".", "'")) else escaped


def styled(text: str) -> str:
    """Options in bold, upper-case placeholders in italics, the rest as it is."""
    out = []
    placeholder = r"[A-Z][A-Z0-9_]*(?:-[A-Z][A-Z0-9_]*)*"
    for token in re.split(rf"((?<![\w-])-{{1,2}}[A-Za-z][\w-]*|(?<![\w-]){placeholder}(?![\w-]))", text):
        if token.startswith("-") and len(token) > 1:
            out.append("\\fB" + roff(token) + "\\fR")
        elif re.fullmatch(placeholder, token):
            out.append("\\fI" + roff(token) + "\\fR")
        else:
            out.append(roff(token))
    return "".join(out)


def styled_usage(line: str) -> str:
    """The literal leading words (program, command, sub-command) in bold."""
    tokens = line.split(" ")
    literal = 0
    while literal < len(tokens) and re.fullmatch(r"[a-z][a-z0-9-]*", tokens[literal]):
        literal += 1
    head = " ".join(tokens[:literal])
    rest = " ".join(tokens[literal:])
    return "\\fB" + roff(head) + "\\fR" + (" " + styled(rest) if rest else "")


def man_blocks(blocks: list[Block]) -> list[str]:
    out: list[str] = []
    for block in blocks:
        if block.kind == "text":
            out += [".PP", roff_line(" ".join(block.lines))]
        elif block.kind == "note":
            out += [".IP", roff_line(" ".join(block.lines))]
        elif block.kind == "heading":
            out += [".PP", "\\fB" + roff(block.lines[0]) + "\\fR"]
        elif block.kind == "item":
            out += [".TP", styled(block.item.term), roff_line(block.item.description or "")]
        elif block.kind == "code":
            out += [".PP", ".RS 4", ".nf"] + [roff_line(line) for line in block.lines] + [".fi", ".RE"]
    return out


def man_page(name: str, version: str, summary: str, description_text: str, top: Help,
             commands: list[tuple[Item, Help]], see_also: list[str]) -> str:
    out = [f'.\\" Generated from {name} --help at build time; edit the help texts instead.',
           f'.TH {roff(name.upper())} 1 "{release_date()}" "Veltrop {version}" "User Commands"',
           ".nh",
           ".SH NAME", f"{roff(name)} \\- {roff(summary)}", ".SH SYNOPSIS", ".nf"]
    out += [styled_usage(line) for line in top.usage] or ["\\fB" + roff(name) + "\\fR"]
    out += [".fi", ".SH DESCRIPTION"]

    # Prose at the left margin describes the program; the command list gets a
    # section of its own below, any other heading a section too.
    description: list[Block] = []
    sections: list[tuple[str, list[Block]]] = []
    heading = ""
    for block in top.blocks:
        if block.kind == "heading":
            heading = block.lines[0]
            if heading.lower() != "commands":
                sections.append((heading, []))
        elif heading.lower() == "commands" and block.kind == "item":
            continue
        elif not heading or heading.lower() == "commands" or block.kind == "text":
            description.append(block)
        else:
            sections[-1][1].append(block)
    out += [".PP", roff_line(description_text)] + man_blocks(description)
    for title, blocks in sections:
        out.append(".SH " + roff(title.upper()))
        out.extend(man_blocks(blocks))

    if commands:
        out.append(".SH COMMANDS")
        for item, _ in commands:
            out += [".TP", "\\fB" + roff(item.term) + "\\fR", roff_line(item.description)]
        for item, help_text in commands:
            out.append(f".SS {roff(name)} {roff(item.term)}")
            out += [".nf"] + [styled_usage(line) for line in help_text.usage] + [".fi"]
            out += man_blocks(help_text.blocks)
    if see_also:
        out += [".SH SEE ALSO", ",\n".join(f".BR {roff(page)} (1)" for page in see_also)]
    return "\n".join(out) + "\n"


def release_date() -> str:
    """The date of SOURCE_DATE_EPOCH when set, so that builds are reproducible."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    return time.strftime("%Y-%m-%d", time.gmtime(int(epoch))) if epoch else ""


# --- completions --------------------------------------------------------------

def shell_word(text: str) -> str:
    return "'" + text.replace("'", "'\\''") + "'"


def bash_completion(name: str, top: Help, commands: list[tuple[Item, Help]]) -> str:
    function = "_" + re.sub(r"\W", "_", name)
    command_words = " ".join(item.term for item, _ in commands)
    top_options = " ".join(n for o in top.options() for n in o.names)
    out = [f"# bash completion for {name}, generated from its --help texts at build time.", "",
           f"{function}()", "{",
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}",
           "    if (( COMP_CWORD == 1 )); then",
           "        if [[ $cur == -* ]]; then",
           f"            mapfile -t COMPREPLY < <(compgen -W {shell_word(top_options)} -- \"$cur\")",
           "        else",
           f"            mapfile -t COMPREPLY < <(compgen -W {shell_word(command_words)} -- \"$cur\")",
           "        fi",
           "        return", "    fi",
           "    local options='' subcommands='' paths=0",
           "    case ${COMP_WORDS[1]} in"]
    for item, help_text in commands:
        options = help_text.options()
        out.append(f"        {item.term})")
        out.append(f"            options={shell_word(' '.join(n for o in options for n in o.names))}")
        if help_text.subcommands():
            out.append(f"            subcommands={shell_word(' '.join(help_text.subcommands()))}")
        if help_text.takes_paths():
            out.append("            paths=1")
        by_kind: dict[str, list[Option]] = {}
        for option in options:
            by_kind.setdefault(option.argument_kind(), []).append(option)
        cases = []
        for kind, action in (("folder", "compgen -d"), ("file", "compgen -f")):
            if kind in by_kind:
                names = "|".join(n for o in by_kind[kind] for n in o.names)
                cases.append(f"                {names}) compopt -o filenames 2>/dev/null; "
                             f"mapfile -t COMPREPLY < <({action} -- \"$cur\"); return ;;")
        for option in by_kind.get("choice", []):
            cases.append(f"                {'|'.join(option.names)}) mapfile -t COMPREPLY < <(compgen -W "
                         f"{shell_word(' '.join(option.choices()))} -- \"$cur\"); return ;;")
        if "value" in by_kind:
            cases.append(f"                {'|'.join(n for o in by_kind['value'] for n in o.names)}) return ;;")
        if cases:
            out += ["            case $prev in"] + cases + ["            esac"]
        out.append("            ;;")
    out += ["        *) return ;;", "    esac",
            "    if [[ $cur == -* ]]; then",
            "        mapfile -t COMPREPLY < <(compgen -W \"$options\" -- \"$cur\")",
            "    elif [[ -n $subcommands ]] && (( COMP_CWORD == 2 )); then",
            "        mapfile -t COMPREPLY < <(compgen -W \"$subcommands\" -- \"$cur\")",
            "    elif (( paths )); then",
            "        compopt -o filenames 2>/dev/null",
            "        mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")",
            "    fi", "}", f"complete -F {function} {name}", ""]
    return "\n".join(out)


def zsh_escape(text: str) -> str:
    return re.sub(r"([\[\]:\\])", r"\\\1", text)


def zsh_option_specs(options: list[Option]) -> list[str]:
    arguments = []
    for option in options:
        action = {"folder": ":{arg}:_files -/", "file": ":{arg}:_files", "value": ":{arg}: ",
                  "choice": ":{arg}:({choices})", "none": ""}[option.argument_kind()]
        argument = zsh_escape((option.argument or "").strip('"')) or "value"
        action = action.format(arg=argument, choices=" ".join(option.choices()))
        for name in option.names:
            # Every option may be given again: corrections, for one, add up.
            arguments.append(shell_word(f"*{name}[{zsh_escape(option.summary())}]{action}"))
    return arguments


def zsh_completion(name: str, top: Help, commands: list[tuple[Item, Help]]) -> str:
    function = "_" + name
    out = [f"#compdef {name}", f"# zsh completion for {name}, generated from its --help texts at build time.", "",
           f"{function}() {{", "  local -a commands top_options", "  commands=("]
    out += [f"    {shell_word(zsh_escape(item.term) + ':' + item.description)}" for item, _ in commands]
    out += ["  )", "  top_options=("]
    out += [f"    {shell_word(zsh_escape(n) + ':' + o.summary())}" for o in top.options() for n in o.names]
    out += ["  )", "  if (( CURRENT == 2 )); then",
            "    if [[ $PREFIX == -* ]]; then",
            "      _describe -t options 'option' top_options",
            "    else",
            f"      _describe -t commands '{name} command' commands",
            "    fi", "    return", "  fi",
            "  local command=$words[2]",
            "  shift words", "  (( CURRENT-- ))",
            f"  curcontext=\"${{curcontext%:*:*}}:{name}-$command:\"",
            "  case $command in"]
    for item, help_text in commands:
        arguments = zsh_option_specs(help_text.options())
        subcommands = help_text.subcommands()
        if subcommands:
            described = " ".join(f"{s}\\:{zsh_quoted(zsh_escape(help_text.item_description(s)))}"
                                 for s in subcommands)
            arguments.append(shell_word(f"1:command:(({described}))"))
        if help_text.takes_paths():
            arguments.append(shell_word("*:path:_files"))
        out.append(f"    {item.term})")
        out.append("      _arguments -S \\")
        out += [f"        {argument} \\" for argument in arguments[:-1]] + [f"        {arguments[-1]}" if arguments else "        ''"]
        out.append("      ;;")
    out += ["  esac", "}", "", f'{function} "$@"', ""]
    return "\n".join(out)


def zsh_quoted(text: str) -> str:
    """A description inside a zsh ((word\\:description)) list, double-quoted."""
    return '"' + text.replace('"', "").replace("'", "") + '"'


def fish_word(text: str) -> str:
    return "'" + text.replace("\\", "\\\\").replace("'", "\\'") + "'"


def fish_completion(name: str, top: Help, commands: list[tuple[Item, Help]]) -> str:
    prefix = "__" + re.sub(r"\W", "_", name)
    out = [f"# fish completion for {name}, generated from its --help texts at build time.", "",
           f"function {prefix}_needs_command",
           "    test (count (commandline -opc)) -eq 1", "end",
           f"function {prefix}_using -a command",
           "    set -l tokens (commandline -opc)",
           "    test (count $tokens) -ge 2; and test \"$tokens[2]\" = $command", "end",
           f"function {prefix}_needs_subcommand -a command",
           "    set -l tokens (commandline -opc)",
           "    test (count $tokens) -eq 2; and test \"$tokens[2]\" = $command", "end", "",
           f"complete -c {name} -f"]
    for item, _ in commands:
        out.append(f"complete -c {name} -n {prefix}_needs_command -a {fish_word(item.term)} "
                   f"-d {fish_word(item.description)}")
    for option in top.options():
        out.append(f"complete -c {name} -n {prefix}_needs_command {fish_option(option)}")
    for item, help_text in commands:
        condition = fish_word(f"{prefix}_using {item.term}")
        for subcommand in help_text.subcommands():
            description = help_text.item_description(subcommand)
            out.append(f"complete -c {name} -n {fish_word(f'{prefix}_needs_subcommand {item.term}')} "
                       f"-a {fish_word(subcommand)}" + (f" -d {fish_word(description)}" if description else ""))
        for option in help_text.options():
            out.append(f"complete -c {name} -n {condition} {fish_option(option)}")
        if help_text.takes_paths():
            # Paths come after the sub-command, when there is one.
            paths = condition if not help_text.subcommands() else fish_word(
                f"{prefix}_using {item.term}; and not {prefix}_needs_subcommand {item.term}")
            out.append(f"complete -c {name} -n {paths} -F")
    return "\n".join(out) + "\n"


def fish_option(option: Option) -> str:
    flags = []
    for option_name in option.names:
        flags.append(("-l " if option_name.startswith("--") else "-s ") + option_name.lstrip("-"))
    kind = option.argument_kind()
    if kind == "folder":
        flags.append("-x -a '(__fish_complete_directories)'")
    elif kind == "file":
        flags.append("-r -F")
    elif kind == "choice":
        flags.append("-x -a " + fish_word(" ".join(option.choices())))
    elif kind == "value":
        flags.append("-x")
    if option.summary():
        flags.append("-d " + fish_word(option.summary()))
    return " ".join(flags)


# --- entry point --------------------------------------------------------------

def write(path: str | None, text: str) -> None:
    if not path:
        return
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    if path.endswith(".gz"):
        # No name and no time in the header, so that equal pages give equal files.
        with open(path, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as packed:
            packed.write(text.encode())
    else:
        with open(path, "w", encoding="utf-8") as plain:
            plain.write(text)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True, help="the built program to ask for its help")
    parser.add_argument("--name", help="the installed name (default: the program's file name)")
    parser.add_argument("--version", required=True)
    parser.add_argument("--summary", required=True, help="the one line of the man page's NAME section")
    parser.add_argument("--description", required=True, help="the man page's opening paragraph")
    parser.add_argument("--see-also", action="append", default=[])
    parser.add_argument("--man", help="man page to write (.gz to compress)")
    parser.add_argument("--bash")
    parser.add_argument("--zsh")
    parser.add_argument("--fish")
    arguments = parser.parse_args()

    name = arguments.name or os.path.basename(arguments.program)
    top = parse_help(name, run_help(arguments.program, []))
    commands = [(item, parse_help(name, run_help(arguments.program, [item.term]))) for item in commands_of(top)]

    write(arguments.man, man_page(name, arguments.version, arguments.summary, arguments.description, top, commands,
                                  arguments.see_also))
    write(arguments.bash, bash_completion(name, top, commands))
    write(arguments.zsh, zsh_completion(name, top, commands))
    write(arguments.fish, fish_completion(name, top, commands))


if __name__ == "__main__":
    main()
