#!/usr/bin/env python3
"""Checks the desktop entry, the AppStream metainfo and the icons: the
validators accept them, they agree with each other and with the project
version, and every PNG icon has the size its folder names.

usage: check_desktop_metadata.py RESOURCES_DIR VERSION
"""

from __future__ import annotations

import configparser
import os
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

from checks import Checks, skip_unless_tools

METAINFO = "io.github.veltrop.Veltrop.metainfo.xml"


def png_size(path: str) -> tuple[int, int]:
    with open(path, "rb") as image:
        header = image.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n" or header[12:16] != b"IHDR":
        return (0, 0)
    return struct.unpack(">II", header[16:24])


def main() -> None:
    resources, version = sys.argv[1], sys.argv[2]
    skip_unless_tools("appstreamcli", "desktop-file-validate", hint="packages appstream and desktop-file-utils")
    checks = Checks()

    desktop_path = os.path.join(resources, "veltrop.desktop")
    validated = subprocess.run(["desktop-file-validate", desktop_path], capture_output=True, text=True)
    checks.check(validated.returncode == 0 and not validated.stdout.strip(), "desktop-file-validate accepts the entry",
                 validated.stdout + validated.stderr)
    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(desktop_path, encoding="utf-8")
    desktop = entry["Desktop Entry"]
    mime_types = [t for t in desktop.get("MimeType", "").split(";") if t]
    checks.check("inode/directory" not in mime_types, "Veltrop does not claim to open folders", mime_types)
    checks.check("image/jpeg" in mime_types, "Veltrop opens JPEG photos", mime_types)

    metainfo_path = os.path.join(resources, METAINFO)
    validated = subprocess.run(["appstreamcli", "validate", "--no-net", "--explain", metainfo_path],
                               capture_output=True, text=True)
    checks.check(validated.returncode == 0, "appstreamcli validate accepts the metainfo",
                 validated.stdout + validated.stderr)
    component = ElementTree.parse(metainfo_path).getroot()
    checks.check(METAINFO == component.findtext("id") + ".metainfo.xml", "the file is named after the component id")
    launchable = component.findtext("launchable[@type='desktop-id']")
    checks.check(launchable == os.path.basename(desktop_path), "the metainfo launches the desktop entry", launchable)
    checks.check(component.findtext("icon[@type='stock']") == desktop.get("Icon"),
                 "the metainfo and the desktop entry name the same icon")
    releases = [release.get("version") for release in component.iterfind("releases/release")]
    checks.check(releases[:1] == [version], "the newest release is the project version", releases)
    provided = {binary.text for binary in component.iterfind("provides/binary")}
    checks.check(provided == {"veltrop", "veltrop-cli"}, "the metainfo names both programs", provided)

    icons = os.path.join(resources, "icons")
    sizes = sorted(os.listdir(icons), key=lambda folder: int(folder.split("x")[0]))
    checks.check({"48x48", "64x64", "128x128"} <= set(sizes), "the sizes software centres look for are there", sizes)
    for folder in sizes:
        side = int(folder.split("x")[0])
        actual = png_size(os.path.join(icons, folder, "veltrop.png"))
        checks.check(actual == (side, side), f"icons/{folder}/veltrop.png is {side} pixels square", actual)
    checks.finish()


if __name__ == "__main__":
    main()
