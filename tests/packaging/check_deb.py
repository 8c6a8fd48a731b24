#!/usr/bin/env python3
"""Builds the Debian package with CPack into a temporary folder and checks it
with dpkg-deb: its name and fields, that its dependencies name the package of
every library the programs link, its file list, and that the programs run from
the unpacked package.

usage: check_deb.py CPACK CPACK_CONFIG VERSION
"""

from __future__ import annotations

import os
import re
import subprocess
import sys
import tempfile

from checks import Checks, skip_unless_tools

SHARE = "./usr/share"
EXPECTED_CLI = [
    "./usr/bin/veltrop-cli",
    f"{SHARE}/man/man1/veltrop-cli.1.gz",
    f"{SHARE}/bash-completion/completions/veltrop-cli",
    f"{SHARE}/zsh/vendor-completions/_veltrop-cli",
    f"{SHARE}/fish/vendor_completions.d/veltrop-cli.fish",
]
EXPECTED_APP = [
    "./usr/bin/veltrop",
    f"{SHARE}/man/man1/veltrop.1.gz",
    f"{SHARE}/applications/veltrop.desktop",
    f"{SHARE}/metainfo/io.github.veltrop.Veltrop.metainfo.xml",
    f"{SHARE}/icons/hicolor/scalable/apps/veltrop.svg",
] + [f"{SHARE}/icons/hicolor/{n}x{n}/apps/veltrop.png" for n in (16, 22, 24, 32, 48, 64, 128, 256, 512)]


def run(*command: str, **options) -> subprocess.CompletedProcess:
    return subprocess.run(command, capture_output=True, text=True, timeout=options.pop("timeout", 120), **options)


def resolved_libraries(binary: str, environment: dict[str, str]) -> dict[str, str]:
    """Soname to the file the dynamic loader picks, as ldd reports it."""
    output = run("ldd", binary, env=environment).stdout
    return dict(re.findall(r"^\s*(\S+) => (/\S+)", output, re.M))


def owning_package(path: str) -> str | None:
    # Debian 12 merged /lib into /usr/lib; dpkg knows one of the two names.
    real = os.path.realpath(path)
    for candidate in dict.fromkeys((path, real, real.removeprefix("/usr"))):
        found = run("dpkg", "-S", candidate)
        if found.returncode == 0:
            return found.stdout.split(":")[0].strip()
    return None


def main() -> None:
    cpack, config, version = sys.argv[1], sys.argv[2], sys.argv[3]
    skip_unless_tools(cpack, "dpkg-deb", "dpkg-shlibdeps", "file", "readelf",
                      hint="scripts/setup installs dpkg-dev, file and binutils")
    architecture = run("dpkg", "--print-architecture").stdout.strip()
    checks = Checks()

    with tempfile.TemporaryDirectory(prefix="veltrop-deb-") as work:
        built = run(cpack, "--config", config, "-B", work, timeout=900)
        if not checks.check(built.returncode == 0, "cpack builds the package", built.stdout + built.stderr):
            checks.finish()
        deb = os.path.join(work, f"veltrop_{version}_{architecture}.deb")
        if not checks.check(os.path.isfile(deb), "the package is named veltrop_VERSION_ARCH.deb", os.listdir(work)):
            checks.finish()

        fields = {name: run("dpkg-deb", "-f", deb, name).stdout.strip()
                  for name in ("Package", "Version", "Architecture", "Depends", "Maintainer", "Description")}
        checks.check(fields["Package"] == "veltrop", "Package is veltrop", fields["Package"])
        checks.check(fields["Version"] == version, "Version is the project's", fields["Version"])
        checks.check(fields["Architecture"] == architecture, "Architecture is this machine's", fields["Architecture"])
        checks.check(bool(fields["Maintainer"]) and bool(fields["Description"]), "Maintainer and Description set")
        depends = {re.sub(r"\s*\(.*\)", "", alternative).strip()
                   for entry in fields["Depends"].split(",") for alternative in entry.split("|")}

        listing = run("dpkg-deb", "-c", deb).stdout.splitlines()
        entries = {line.split()[-1] for line in listing}
        files = {line.split()[-1] for line in listing if not line.startswith("d")}
        has_app = "./usr/bin/veltrop" in files
        for path in EXPECTED_CLI + (EXPECTED_APP if has_app else []):
            checks.check(path in files, f"the package holds {path}")
        checks.check(all(p.startswith(("./usr/bin/", "./usr/share/")) for p in files),
                     "every file is under /usr/bin or /usr/share",
                     sorted(p for p in files if not p.startswith(("./usr/bin/", "./usr/share/"))))
        checks.check(all(line.split()[1] == "root/root" for line in listing), "every entry belongs to root")
        checks.check(all(not re.search(r"\.(a|h|o)$", p) for p in entries), "no headers or static libraries")
        if has_app:
            checks.check("qt6-qpa-plugins" in depends, "depends on the Qt platform plugins", fields["Depends"])

        # The programs run on their own: no library path, no display.
        environment = {k: v for k, v in os.environ.items()
                       if k not in ("LD_LIBRARY_PATH", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        root = os.path.join(work, "root")
        checks.check(run("dpkg-deb", "-x", deb, root).returncode == 0, "the package unpacks")
        for program in ("veltrop-cli", "veltrop") if has_app else ("veltrop-cli",):
            binary = os.path.join(root, "usr/bin", program)
            checks.check(", stripped" in run("file", binary).stdout, f"{program} is stripped")
            needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", run("readelf", "-d", binary).stdout)
            resolved = resolved_libraries(binary, environment)
            checks.check(bool(needed), f"{program} names the libraries it links")
            for library in needed:
                package = owning_package(resolved[library]) if library in resolved else None
                checks.check(package is not None and package in depends,
                             f"Depends names the package of {library} ({package}), linked by {program}",
                             fields["Depends"])

        answer = run(os.path.join(root, "usr/bin/veltrop-cli"), "--version", env=environment, cwd=work)
        checks.check(answer.returncode == 0 and answer.stdout.strip() == f"veltrop-cli {version}",
                     "the packaged veltrop-cli --version names the version", answer.stdout + answer.stderr)
        if has_app:
            answer = run(os.path.join(root, "usr/bin/veltrop"), "--help", env=environment, cwd=work, timeout=30)
            checks.check(answer.returncode == 0 and "veltrop" in answer.stdout,
                         "the packaged veltrop --help answers without a display", answer.stdout + answer.stderr)
    checks.finish()


if __name__ == "__main__":
    main()
