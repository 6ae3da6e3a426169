#!/usr/bin/env python3
"""Checks the vendor's files and makes the release from built trees (scripts/release.sh).

  release_package.py check   --vendor DIR --tree BUILD...
  release_package.py package --vendor DIR --tree LABEL=BUILD... --out DIR --guide FILE
                             [--sign-pfx FILE --sign-password-file FILE [--timestamp-url URL]]
  release_package.py folder  --vendor DIR --tree BUILD --out DIR --guide FILE [--without NAME]...

The folder command makes one tree's distribution folder as a release makes it, from any
vendor folder and without a release's checks: the tests' folder of stand-ins is made so.
--without leaves out a file the tree did not build (a 64-bit tree without a 32-bit library).

Each build tree lists what a distribution folder holds in release-files.txt: the bitness of
its setup, the files it built, the names of the vendor's files, and the files setup copies
into a system folder. The vendor folder must hold every one of those under its name (letter
case aside), and none of them may be one of our test fixtures or sample files, or a copy of
one of Wine's programs: those are found by their bytes. Every program file must be a
Windows program of a known machine; the folder of the 32-bit setup (x86) takes 32-bit ones
only, as neither 32-bit Windows nor 32-bit Excel can use a 64-bit file. The guide in each
folder says where setup puts each of its files, as their headers tell.

The folders and ZIPs are made the same way every time: entries in name order, every time
stamp taken from SOURCE_DATE_EPOCH, fixed attributes. Signing (osslsigncode, SHA-256) covers
the programs and libraries built here; the vendor's third-party files keep the signatures
their publishers gave them.
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

PRODUCT = "Ferrolin-1.1"
GUIDE_NAME = "README.txt"
PROGRAM_SUFFIXES = (".exe", ".dll", ".ocx")
# What marks our own test files: the fixture components keep their registrations under
# HKCU\Software\FerrolinTests, the sample add-in files say what they are.
FIXTURE_MARKERS = [
    ("FerrolinTests".encode("utf-16-le"), "one of the test fixture components"),
    (b"FerrolinTests", "one of the test fixture components"),
    (b"(test fixture)", "a sample file of the tests"),
]
WINE_MARKERS = [b"Wine builtin DLL", b"Wine placeholder DLL"]
# The machine field of a PE header, by bitness.
MACHINES = {0x014C: 32, 0x8664: 64, 0xAA64: 64}
# The line of the guide that each folder's list of installed files replaces.
GUIDE_FOLDERS_MARKER = "<!-- release: the files of this release in the system folders -->"


class ReleaseError(Exception):
    pass


class Manifest:
    """What one build tree's distribution folder holds (release-files.txt)."""

    def __init__(self, tree):
        path = os.path.join(tree, "release-files.txt")
        if not os.path.isfile(path):
            raise ReleaseError(f"{tree} is not a configured build tree (no release-files.txt)")
        self.tree = tree
        self.bits = 0
        self.vendor, self.built, self.system = [], [], []
        with open(path, encoding="utf-8") as f:
            for line in f:
                fields = line.rstrip("\n").split("\t")
                if fields[0] == "bits":
                    self.bits = int(fields[1])
                elif fields[0] == "vendor":
                    self.vendor.append(fields[1])
                elif fields[0] == "built":
                    self.built.append((fields[1], fields[2]))
                elif fields[0] == "system":
                    self.system.append((fields[1], fields[2]))
        if self.bits not in (32, 64):
            raise ReleaseError(f"{path} does not say which setup it builds: configure {tree} again")


def pe_bits(data):
    """32 or 64 from a Windows program's PE header; None when the data is no such program."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    offset = int.from_bytes(data[0x3C:0x40], "little")
    if offset <= 0 or len(data) < offset + 6 or data[offset:offset + 4] != b"PE\0\0":
        return None
    return MACHINES.get(int.from_bytes(data[offset + 4:offset + 6], "little"))


def find_vendor_file(folder, name):
    """The vendor's file of this name, letter case aside; None when there is none."""
    exact = os.path.join(folder, name)
    if os.path.isfile(exact):
        return exact
    matches = [n for n in os.listdir(folder) if n.lower() == name.lower()
               and os.path.isfile(os.path.join(folder, n))]
    if len(matches) > 1:
        raise ReleaseError(f"the vendor folder holds {name} more than once: {', '.join(sorted(matches))}")
    return os.path.join(folder, matches[0]) if matches else None


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def fixture_digests():
    """The digests of every file in the test tree's fixtures, whatever their names."""
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixtures")
    digests = {}
    for folder, _, names in os.walk(root):
        for name in names:
            digests[sha256(os.path.join(folder, name))] = name
    return digests


def why_not_shippable(name, path, digests):
    with open(path, "rb") as f:
        data = f.read()
    if not data:
        return "is empty"
    digest = hashlib.sha256(data).hexdigest()
    if digest in digests:
        return f"is the test tree's {digests[digest]}, not the vendor's file"
    for marker, what in FIXTURE_MARKERS:
        if marker in data:
            return f"is {what}, not the vendor's file"
    if name.lower().endswith(PROGRAM_SUFFIXES):
        if pe_bits(data) is None:
            return "is not a Windows program file"
        if any(marker in data[:1024] for marker in WINE_MARKERS):
            return "is a copy of one of Wine's programs, not the vendor's file"
    return None


def file_bits(path):
    # The header may lie anywhere the DOS header points: the whole file, as the check reads it.
    with open(path, "rb") as f:
        return pe_bits(f.read())


def check_bitness(manifests, found):
    """Refusals of vendor files that a folder's setup cannot use: a 64-bit program file in
    the folder of the 32-bit setup."""
    problems = []
    for manifest in manifests:
        if manifest.bits != 32:
            continue
        for name in manifest.vendor:
            if name in found and name.lower().endswith(PROGRAM_SUFFIXES) and file_bits(found[name]) == 64:
                problems.append(f"refused: {name} is a 64-bit file, and the x86 folder is for 32-bit Excel, "
                                "which cannot load it (and 32-bit Windows, which cannot run it)")
    return problems


def locate_vendor(folder, manifests):
    """Each name the trees list with the vendor's file of that name (None when missing)."""
    if not folder:
        raise ReleaseError("no vendor folder given (FERROLIN_VENDOR_DIR or --vendor)")
    if not os.path.isdir(folder):
        raise ReleaseError(f"the vendor folder {folder} does not exist")
    names = dict.fromkeys(name for manifest in manifests for name in manifest.vendor)
    return {name: find_vendor_file(folder, name) for name in names}


def check_vendor(folder, manifests):
    """The vendor's file for each name the trees list; raises naming every missing or
    refused file."""
    digests = fixture_digests()
    found, problems = {}, []
    for name, path in locate_vendor(folder, manifests).items():
        if path is None:
            problems.append(f"missing: {name}")
            continue
        reason = why_not_shippable(name, path, digests)
        if reason:
            problems.append(f"refused: {name} {reason}")
        else:
            found[name] = path
    problems += check_bitness(manifests, found)
    if problems:
        raise ReleaseError(f"the vendor folder {folder} cannot make a release:\n  " + "\n  ".join(problems))
    return found


def source_date_epoch():
    value = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not value.isdigit():
        raise ReleaseError("SOURCE_DATE_EPOCH is not set to a number of seconds")
    # A ZIP cannot keep a time before 1980.
    return max(int(value), 315532800)


def sign(path, pfx, password_file, timestamp_url):
    signed = path + ".signed"
    command = ["osslsigncode", "sign", "-pkcs12", pfx, "-readpass", password_file, "-h", "sha256",
               "-n", "Ferrolin 1.1"]
    if timestamp_url:
        command += ["-ts", timestamp_url]
    command += ["-in", path, "-out", signed]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise ReleaseError(f"signing {os.path.basename(path)} failed:\n{result.stdout.strip()}")
    os.replace(signed, path)


def system_places(manifest, folder):
    """Where this folder's setup puts each file it copies into a system folder, as lines of
    the guide. The 64-bit setup puts a 32-bit file into SysWOW64, where 32-bit programs look,
    and a 64-bit one into System32; the 32-bit setup has one system folder, which 64-bit
    Windows keeps as SysWOW64."""
    lines = [f"In this release ({os.path.basename(folder)}):"]
    width = max(len(name) for name, _ in manifest.system)
    for name, installed in manifest.system:
        if not os.path.isfile(os.path.join(folder, name)):
            continue  # left out of a test folder
        bits = file_bits(os.path.join(folder, name))
        if manifest.bits == 64:
            place = ("C:\\Windows\\SysWOW64\\" if bits == 32 else "C:\\Windows\\System32\\") + installed
        else:
            place = f"C:\\Windows\\System32\\{installed} (C:\\Windows\\SysWOW64\\{installed} on 64-bit Windows)"
        lines.append(f"    {name.ljust(width)}  {bits}-bit  {place}")
    return "\n".join(lines)


def write_guide(guide, target, places):
    # Shipped as plain text with Windows line ends, for Notepad.
    with open(guide, encoding="utf-8") as f:
        text = f.read().replace("\r\n", "\n")
    if GUIDE_FOLDERS_MARKER not in text:
        raise ReleaseError(f"{guide} has no line {GUIDE_FOLDERS_MARKER} for the files of the release")
    text = text.replace(GUIDE_FOLDERS_MARKER, places).replace("\n", "\r\n")
    with open(target, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def make_zip(folder, target, epoch):
    stamp = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(target, "w") as archive:
        for name in sorted(os.listdir(folder)):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            with open(os.path.join(folder, name), "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


def package(args):
    trees = []
    for entry in args.tree:
        label, _, tree = entry.partition("=")
        if not tree:
            raise ReleaseError(f"--tree wants LABEL=BUILD, not {entry}")
        trees.append((label, Manifest(tree)))
    vendor = check_vendor(args.vendor, [manifest for _, manifest in trees])
    if bool(args.sign_pfx) != bool(args.sign_password_file):
        raise ReleaseError("signing needs both the PFX file and its password file")
    epoch = source_date_epoch()

    # Made in a folder of its own beside the output and put in its place only when whole:
    # a failed run leaves the previous release as it was, a new one keeps nothing of it.
    out = os.path.abspath(args.out)
    if os.path.isdir(out):
        others = [n for n in os.listdir(out) if not (n == "SHA256SUMS" or n.startswith(PRODUCT + "-"))]
        if others:
            raise ReleaseError(f"the output folder {out} holds more than a release ({', '.join(sorted(others)[:3])}): "
                               "name a new or empty folder")
    elif os.path.exists(out):
        raise ReleaseError(f"the output {out} is not a folder")
    staging = out + ".partial"
    shutil.rmtree(staging, ignore_errors=True)
    os.makedirs(staging)
    try:
        make_release(trees, vendor, staging, epoch, args)
    except BaseException:
        shutil.rmtree(staging, ignore_errors=True)
        raise
    shutil.rmtree(out, ignore_errors=True)
    os.replace(staging, out)
    for name in sorted(os.listdir(out)):
        if name.endswith(".zip"):
            print(f"{os.path.join(out, name)}: {os.path.getsize(os.path.join(out, name))} bytes")


def fill_folder(manifest, vendor, folder, args, leave_out=()):
    """One distribution folder: the files the tree built (signed when asked), the vendor's
    files and the guide."""
    for target, source in manifest.built:
        if target in leave_out:
            continue
        if not source or not os.path.isfile(source):
            raise ReleaseError(f"{manifest.tree} has not built {target} ({source or 'no file named for it'})")
        shutil.copyfile(source, os.path.join(folder, target))
        if args.sign_pfx:
            sign(os.path.join(folder, target), args.sign_pfx, args.sign_password_file, args.timestamp_url)
    for vendor_name in manifest.vendor:
        shutil.copyfile(vendor[vendor_name], os.path.join(folder, vendor_name))
    write_guide(args.guide, os.path.join(folder, GUIDE_NAME), system_places(manifest, folder))


def make_release(trees, vendor, out, epoch, args):
    sums = []
    for label, manifest in trees:
        name = f"{PRODUCT}-{label}"
        folder = os.path.join(out, name)
        os.makedirs(folder)
        fill_folder(manifest, vendor, folder, args)
        for entry in os.listdir(folder):
            os.utime(os.path.join(folder, entry), (epoch, epoch))
        archive = os.path.join(out, name + ".zip")
        make_zip(folder, archive, epoch)
        os.utime(archive, (epoch, epoch))
        sums.append((sha256(archive), name + ".zip"))
        sums += [(sha256(os.path.join(folder, entry)), f"{name}/{entry}") for entry in sorted(os.listdir(folder))]
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="utf-8", newline="\n") as f:
        f.writelines(f"{digest}  {path}\n" for digest, path in sums)


def check(args):
    check_vendor(args.vendor, [Manifest(tree) for tree in args.tree])


def folder(args):
    if len(args.tree) != 1 or not args.out or not args.guide:
        raise ReleaseError("folder wants one --tree, --out and --guide")
    manifest = Manifest(args.tree[0])
    vendor = locate_vendor(args.vendor, [manifest])
    missing = [name for name, path in vendor.items() if path is None]
    if missing:
        raise ReleaseError(f"the vendor folder {args.vendor} lacks {', '.join(missing)}")
    out = os.path.abspath(args.out)
    try:
        if os.path.isdir(out):
            shutil.rmtree(out)
        os.makedirs(out)
    except OSError as error:
        raise ReleaseError(f"cannot make the folder {out} afresh (is a program running from it?): {error}")
    fill_folder(manifest, vendor, out, args, set(args.without))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("command", choices=["check", "package", "folder"])
    parser.add_argument("--vendor", default=os.environ.get("FERROLIN_VENDOR_DIR", ""))
    parser.add_argument("--tree", action="append", default=[])
    parser.add_argument("--out")
    parser.add_argument("--guide")
    parser.add_argument("--sign-pfx", default="")
    parser.add_argument("--sign-password-file", default="")
    parser.add_argument("--timestamp-url", default="")
    parser.add_argument("--without", action="append", default=[])
    args = parser.parse_args()
    try:
        {"check": check, "package": package, "folder": folder}[args.command](args)
    except ReleaseError as error:
        print(f"release: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
