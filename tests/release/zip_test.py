#!/usr/bin/env python3
"""The release zip, checked as a user would meet it.

  zip_test.py ZIP --source DIR

Unpacks ZIP into a new, empty folder on the wine prefix's C: drive and checks: the layout (exactly these entries, in this
order, with fixed attributes); the two text files as Notepad wants them; both copies of the
module and every other binary as a Windows machine would load them (32-bit, the module's five
undecorated exports, imports only from the system, the host's PluginIf.dll or the zip itself, no
time stamp, no debug sections, VERSIONINFO = the version CMake's project() gives); and then, under
wine (the project's prefix, a Japanese user when the locale exists; needs a display), the unpacked
x9host.exe: its about box, a request with the plug-in folder as shipped (no watch library: the
module says so), and, with the simulated watch library copied beside the module as a user would,
download-all --yes, whose transfer list must hold every point of the sample watch.
"""

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

LAYOUT = [
    "x9link.tvl",
    "x9host/x9host.exe",
    "x9host/PluginIf.dll",
    "x9host/x9watch.dll",
    "x9host/plugins/x9link.tvl",
    "x9host/simulator/x9.dll",
    "x9host/simulator/watch.gpx",
    "はじめにお読みください.txt",
    "README.txt",
    "LICENSE",
    "CHANGELOG.md",
]
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "msvcrt.dll",
               "shell32.dll", "shlwapi.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
               "version.dll"}
# What each binary may import besides the system: the module gets PluginIf.dll from its host;
# the others from the zip, beside x9host.exe (the program's directory, searched for every DLL the
# process loads, also for x9.dll when it is copied into plugins).
ALLOWED_IMPORTS = {
    "x9link.tvl": {"pluginif.dll"},
    "x9host/x9host.exe": {"pluginif.dll", "x9watch.dll"},
    "x9host/PluginIf.dll": set(),
    "x9host/x9watch.dll": set(),
    "x9host/plugins/x9link.tvl": {"pluginif.dll"},
    "x9host/simulator/x9.dll": {"x9watch.dll"},
}
MODULE_EXPORTS = ["About", "Close", "Init", "Load", "Release"]
OBJDUMP = "i686-w64-mingw32-objdump"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print(f"FAILED: {what}")
    return condition


# --- PE files -------------------------------------------------------------------------------

class Pe:
    """The few fields of a PE image the checks need, read at their documented offsets."""

    def __init__(self, data):
        self.data = data
        (pe,) = struct.unpack_from("<I", data, 0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, sections, self.timestamp, _, self.symbol_count, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        (self.magic,) = struct.unpack_from("<H", data, optional)
        # PE32: the data directories start 96 bytes into the optional header; resources are third.
        self.resource_rva, _ = struct.unpack_from("<II", data, optional + 96 + 2 * 8)
        self.sections = []
        for i in range(sections):
            at = optional + optional_size + 40 * i
            name = data[at:at + 8].rstrip(b"\0").decode("ascii", "replace")
            virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((name, address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for _, address, size, raw in self.sections:
            if address <= rva < address + size:
                return rva - address + raw
        raise ValueError(f"RVA {rva:#x} in no section")

    def version_resource(self):
        """The first RT_VERSION resource's bytes, or None."""
        if self.resource_rva == 0:
            return None
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)

        def first_leaf(directory, depth):
            for _, target in entries(directory):
                if target & 0x80000000:
                    return first_leaf(target & 0x7FFFFFFF, depth + 1)
                return target
            return None

        for identifier, target in entries(0):
            if identifier == 16 and target & 0x80000000:  # RT_VERSION
                leaf = first_leaf(target & 0x7FFFFFFF, 1)
                if leaf is None:
                    return None
                rva, size = struct.unpack_from("<II", self.data, base + leaf)
                start = self.offset(rva)
                return self.data[start:start + size]
        return None


def parse_version_block(data, at=0):
    """One block of a VS_VERSIONINFO: (key, value, children)."""
    length, value_length, kind = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    if kind == 1:  # text, counted in characters
        value = data[position:position + 2 * value_length].decode("utf-16-le").rstrip("\0")
        position += 2 * value_length
    else:
        value = data[position:position + value_length]
        position += value_length
    children = []
    position = (position + 3) & ~3
    while position < end:
        child = parse_version_block(data, position)
        children.append(child[:3])
        position = (position + child[3] + 3) & ~3
    return key, value, children, length


def version_info(pe):
    resource = pe.version_resource()
    if resource is None:
        return None
    key, fixed, children, _ = parse_version_block(resource)
    if key != "VS_VERSION_INFO" or len(fixed) != 52:
        return None
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        return None
    strings = {}
    for child_key, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, values in tables:
                for name, value, _ in values:
                    strings[name] = value

    def dotted(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    return {"file": dotted(file_ms, file_ls), "product": dotted(product_ms, product_ls), **strings}


def objdump(path):
    return subprocess.run([OBJDUMP, "-p", "-h", str(path)], check=True, capture_output=True,
                          text=True).stdout


def check_binary(name, path, version):
    data = path.read_bytes()
    pe = Pe(data)
    dump = objdump(path)
    check(pe.machine == 0x14C and pe.magic == 0x10B and "file format pei-i386" in dump,
          f"{name}: not a 32-bit (i386, PE32) image")
    check(pe.timestamp == 0, f"{name}: link time stamp {pe.timestamp}, not 0")
    check(pe.symbol_count == 0, f"{name}: carries a symbol table ({pe.symbol_count} symbols)")
    debug = [s[0] for s in pe.sections if s[0].startswith((".debug", "/"))]
    check(not debug, f"{name}: debug sections {debug}")
    imports = [m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)]
    check(imports, f"{name}: no imports found by {OBJDUMP}")
    foreign = sorted(set(imports) - SYSTEM_DLLS - ALLOWED_IMPORTS[name])
    check(not foreign, f"{name}: imports {foreign}, which neither the system nor the zip provides")
    if name.endswith("x9link.tvl"):
        check(pe.characteristics & 0x2000, f"{name}: not a DLL")
        table = dump.split("[Ordinal/Name Pointer] Table", 1)
        exports = re.findall(r"^\s*\[\s*\d+\] (\S+)$", table[1], re.M) if len(table) == 2 else []
        check(sorted(exports) == MODULE_EXPORTS, f"{name}: exports {exports}, not {MODULE_EXPORTS}")
        info = version_info(pe)
        if check(info is not None, f"{name}: no VERSIONINFO"):
            check(info["file"] == f"{version}.0" and info["product"] == f"{version}.0",
                  f"{name}: VERSIONINFO numbers {info['file']} / {info['product']}, CMake says {version}")
            check(info.get("FileVersion") == version and info.get("ProductVersion") == version,
                  f"{name}: VERSIONINFO texts {info.get('FileVersion')} / {info.get('ProductVersion')}, "
                  f"CMake says {version}")
    return imports


# --- the zip --------------------------------------------------------------------------------

def cmake_version(source):
    text = (source / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*x9link\s+VERSION\s+(\d+\.\d+\.\d+)", text)
    if not match:
        raise SystemExit("zip_test.py: no project(x9link VERSION ...) in CMakeLists.txt")
    return match.group(1)


def check_archive(zip_path, version):
    check(zip_path.name == f"x9link-{version}-win32.zip", f"zip named {zip_path.name}, version {version}")
    sums = zip_path.with_name("SHA256SUMS")
    if check(sums.is_file(), "no SHA256SUMS beside the zip"):
        digest = hashlib.sha256(zip_path.read_bytes()).hexdigest()
        check(sums.read_text() == f"{digest}  {zip_path.name}\n", "SHA256SUMS does not match the zip")
    with zipfile.ZipFile(zip_path) as archive:
        infos = archive.infolist()
        names = [i.filename for i in infos]
        check(names == LAYOUT, f"zip entries {names}, expected {LAYOUT}")
        check(len({i.date_time for i in infos}) == 1, "zip entries with different times")
        for info in infos:
            check(info.external_attr == 0o100644 << 16 and info.create_system == 3,
                  f"{info.filename}: attributes {info.external_attr:#x}, system {info.create_system}")
            ascii_name = info.filename.isascii()
            check(bool(info.flag_bits & 0x800) != ascii_name,
                  f"{info.filename}: UTF-8 flag {'set' if ascii_name else 'missing'}")


def check_texts(root, version, source):
    for name, tag, start in (("はじめにお読みください.txt", "［No. {}］", "［起動時］"),
                             ("README.txt", "[No. {}]", "[start-up]")):
        data = (root / name).read_bytes()
        check(data.startswith(b"\xef\xbb\xbf"), f"{name}: no byte-order mark")
        check(data.count(b"\n") == data.count(b"\r\n") > 0 and data.count(b"\r") == data.count(b"\r\n"),
              f"{name}: not CR LF throughout")
        try:
            text = data[3:].decode("utf-8")
        except UnicodeDecodeError as error:
            check(False, f"{name}: not UTF-8 ({error})")
            continue
        check(f"x9link {version}" in text, f"{name}: does not name version {version}")
        missing = [n for n in range(27) if tag.format(n) not in text]
        check(not missing and start in text, f"{name}: the message table lacks {missing or start}")
    for name in ("LICENSE", "CHANGELOG.md"):
        data = (root / name).read_bytes()
        check(data.count(b"\n") == data.count(b"\r\n"), f"{name}: not CR LF throughout")
    check(b"Copyright (c) 2026 the x9link developers" in (root / "LICENSE").read_bytes(),
          "LICENSE: no copyright line")
    check(f"## [{version}]".encode() in (root / "CHANGELOG.md").read_bytes(),
          f"CHANGELOG.md: no entry for {version}")
    check((root / "x9host/simulator/watch.gpx").read_bytes() == (source / "examples/watch.gpx").read_bytes(),
          "x9host/simulator/watch.gpx is not examples/watch.gpx")


# --- x9host.exe under wine -------------------------------------------------------------------

def wine_environment(source):
    """This environment with the project's wine settings (tools/wine-env.sh) where unset."""
    environment = dict(os.environ)
    printed = subprocess.run([str(source / "tools" / "wine-env.sh")], env=environment,
                             capture_output=True, text=True, check=True).stdout
    for line in printed.splitlines():
        name, _, value = line.partition("=")
        environment[name] = value
    return environment


def wine_drive_c(source):
    """The prefix's C: drive, the prefix made first if need be."""
    environment = wine_environment(source)
    subprocess.run([str(source / "tools" / "wine-prefix.sh")], env=environment, check=True)
    return Path(environment["WINEPREFIX"]) / "drive_c"


def japanese_locale():
    """Whether this machine has the Japanese locale, under which x9host.exe is run as a Japanese user."""
    locales = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    return "ja_jp.utf8" in locales.split()


def wine(source, directory, *args):
    environment = wine_environment(source)
    if japanese_locale():
        environment.update(LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8")
    result = subprocess.run([str(source / "tools" / "wine-run.sh"), "x9host.exe", *args], cwd=directory,
                            env=environment, capture_output=True, timeout=300)
    return result.returncode, result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")


def count_points(gpx):
    return {element: len(re.findall(rf"<{element}[\s>]", gpx)) for element in ("wpt", "rtept", "trkpt")}


def check_x9host(source, root):
    host = root / "x9host"
    # x9host answers a Japanese user in Japanese: its line saying what the module returned.
    japanese = japanese_locale()

    def returned(request):
        return f"{request} の戻り値は 1 です" if japanese else f"{request} returned 1"

    # As the text files say: no options, x9host finds its plug-in folder and the sample watch.
    common = []

    status, out, err = wine(source, host, "--version")
    check(status == 0 and out.strip() == f"x9host {cmake_version(source)}", f"--version: status {status}\n{out}{err}")

    status, out, err = wine(source, host, *common, "about", "--yes")
    print(f"x9host.exe about: status {status}; {out.splitlines()[0] if out else 'no output'}")
    check(status == 0 and returned("About") in out, f"about: status {status}\n{out}{err}")
    check("SUUNTO Protocol Plugin [Ver 0.1.0]" in err, f"about: the box was not shown\n{err}")

    # As shipped, for the real watch: no watch library yet, and the module says so.
    status, out, err = wine(source, host, *common, "download-tracks", "--yes")
    print(f"x9host.exe download-tracks, plug-in folder as shipped: status {status}")
    # A request that ran and moved nothing: status 3.
    check(status == 3 and returned("download-tracks") in out, f"no x9.dll: status {status}\n{out}{err}")
    check("必要なDLLが見つかりません." in err, f"no x9.dll: message 16 was not shown\n{err}")

    # Trying it without the watch, as the text files say: the simulated library beside the module.
    shutil.copy(host / "simulator" / "x9.dll", host / "plugins" / "x9.dll")
    status, out, err = wine(source, host, *common, "download-all", "--yes", "--out", "list.gpx")
    print(f"x9host.exe download-all, simulated watch library in plugins: status {status}")
    check(status == 0 and returned("download-all") in out, f"download-all: status {status}\n{out}{err}")
    listing = host / "list.gpx"
    if check(listing.is_file(), "download-all: no list.gpx written"):
        sample = count_points((host / "simulator" / "watch.gpx").read_text(encoding="utf-8"))
        got = count_points(listing.read_text(encoding="utf-8"))
        check(got == sample and sample["trkpt"] > 0, f"download-all: points {got}, the sample has {sample}")
        print(f"  transfer list: {got}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("zip", type=Path)
    parser.add_argument("--source", type=Path, default=Path(__file__).resolve().parents[2])
    parser.add_argument("--no-wine", action="store_true", help="skip running x9host.exe")
    args = parser.parse_args()
    source = args.source.resolve()
    version = cmake_version(source)

    check_archive(args.zip, version)
    # Unpacked where a user would unpack it: a new folder on the C: drive.
    where = None if args.no_wine else wine_drive_c(source)
    with tempfile.TemporaryDirectory(prefix="x9link-unpacked.", dir=where) as unpacked:
        root = Path(unpacked)
        check(not any(root.iterdir()), "the directory to unpack into is not empty")
        with zipfile.ZipFile(args.zip) as archive:
            archive.extractall(root)
        check_texts(root, version, source)
        for name in ALLOWED_IMPORTS:
            check_binary(name, root / name, version)
        check((root / "x9link.tvl").read_bytes() == (root / "x9host/plugins/x9link.tvl").read_bytes(),
              "the two copies of x9link.tvl differ")
        if not args.no_wine:
            check_x9host(source, root)

    if failures:
        print(f"zip test: {len(failures)} failures")
        return 1
    print(f"zip test: {args.zip.name} (x9link {version}) passed every check")
    return 0


if __name__ == "__main__":
    sys.exit(main())
