#!/usr/bin/env python3
"""Checks what a Windows program of this project carries in its resources, read from the
file itself: the version information (numbers and strings), the icon and the manifest.

    check_resources.py VERSION PROGRAM.exe... [--window PROGRAM.exe...]
    check_resources.py --manifest PROGRAM.exe     prints the program's manifest

Programs after --window must also ask for the common controls of today's Windows. Prints
one line for each program and exits 1 naming the program and what it lacks.
"""

import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
WINDOWS_10 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


class Lacking(Exception):
    pass


def read_resources(data):
    """{type: {name: {language: bytes}}} of a PE file's resource section."""
    if data[:2] != b"MZ":
        raise Lacking("not a Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise Lacking("not a Windows program")
    sections_count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    resources_rva, resources_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if resources_size == 0:
        raise Lacking("no resources at all")
    sections = []
    for i in range(sections_count):
        at = optional + optional_size + 40 * i
        virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        sections.append((address, max(virtual_size, raw_size), raw_at))

    def offset(rva):
        for address, size, raw_at in sections:
            if address <= rva < address + size:
                return raw_at + rva - address
        raise Lacking(f"resource address {rva:#x} outside every section")

    base = offset(resources_rva)

    def directory(at, depth):
        named, numbered = struct.unpack_from("<HH", data, base + at + 12)
        entries = {}
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            if name & 0x80000000:
                length = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))[0]
                start = base + (name & 0x7FFFFFFF) + 2
                name = data[start:start + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                if depth >= 2:
                    raise Lacking("resource directory nested deeper than three levels")
                entries[name] = directory(target & 0x7FFFFFFF, depth + 1)
            else:
                rva, size = struct.unpack_from("<II", data, base + target)
                entries[name] = data[offset(rva):offset(rva) + size]
        return entries

    return directory(0, 0)


def version_node(blob, at):
    """One node of VS_VERSIONINFO: (key, value bytes, is text, children, end)."""
    length, value_length, is_text = struct.unpack_from("<HHH", blob, at)
    key_end = at + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if is_text else value_length
    value = blob[value_at:value_at + value_size]
    children = []
    child = (value_at + value_size + 3) & ~3
    while child < at + length:
        node = version_node(blob, child)
        children.append(node)
        child = (node[4] + 3) & ~3
    return key, value, is_text, children, at + length


def version_information(blob):
    key, fixed, _, children, _ = version_node(blob, 0)
    if key != "VS_VERSION_INFO" or struct.unpack_from("<I", fixed, 0)[0] != 0xFEEF04BD:
        raise Lacking("damaged version information")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    numbers = {
        "file": (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF),
        "product": (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF),
    }
    strings = {}
    for child in children:
        if child[0] == "StringFileInfo":
            for table in child[3]:
                for name, value, _, _, _ in table[3]:
                    strings[name] = value.decode("utf-16-le").rstrip("\0")
    return numbers, strings


def check_manifest(text, window):
    root = ElementTree.fromstring(text)

    def texts(name):
        return [(element.text or "").strip() for element in root.iter() if element.tag.endswith("}" + name)]

    settings = {
        "activeCodePage": lambda values: "UTF-8" in values,
        "longPathAware": lambda values: "true" in values,
        "dpiAwareness": lambda values: any(v.split(",")[0].strip() == "PerMonitorV2" for v in values),
        "dpiAware": lambda values: any(v.startswith("true") for v in values),
    }
    for name, holds in settings.items():
        if not holds(texts(name)):
            raise Lacking(f"manifest without {name} as wanted (has {texts(name)})")
    systems = [e.get("Id", "").lower() for e in root.iter() if e.tag.endswith("}supportedOS")]
    if WINDOWS_10 not in systems:
        raise Lacking("manifest without Windows 10 and 11 among the supported systems")
    levels = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    if levels != ["asInvoker"]:
        raise Lacking(f"manifest asks for execution level {levels}, not asInvoker")
    controls = [e for e in root.iter() if e.tag.endswith("}assemblyIdentity")
                and e.get("name") == "Microsoft.Windows.Common-Controls" and e.get("version") == "6.0.0.0"]
    if window and not controls:
        raise Lacking("manifest without the common controls version 6")


def check_program(path, version, window):
    with open(path, "rb") as f:
        resources = read_resources(f.read())
    manifests = [blob for names in resources.get(RT_MANIFEST, {}).values() for blob in names.values()]
    if list(resources.get(RT_MANIFEST, {})) != [1] or len(manifests) != 1:
        raise Lacking(f"not exactly one manifest, as resource 1 (has {list(resources.get(RT_MANIFEST, {}))} "
                      f"in {len(manifests)} languages)")
    check_manifest(manifests[0], window)

    groups = resources.get(RT_GROUP_ICON, {})
    if not groups:
        raise Lacking("no icon")
    group = next(iter(next(iter(groups.values())).values()))
    count = struct.unpack_from("<H", group, 4)[0]
    sizes = []
    for i in range(count):
        width, _, _, _, _, _, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        image = next(iter(resources.get(RT_ICON, {}).get(icon_id, {}).values()), b"")
        if len(image) != size:
            raise Lacking(f"icon image {icon_id} missing or of another size than its entry")
        sizes.append(width or 256)
    if not {16, 32, 48, 256} <= set(sizes):
        raise Lacking(f"icon without the sizes Windows asks for (has {sorted(sizes)})")

    blobs = [blob for names in resources.get(RT_VERSION, {}).values() for blob in names.values()]
    if len(blobs) != 1:
        raise Lacking("no version information" if not blobs else "version information twice")
    numbers, strings = version_information(blobs[0])
    wanted = tuple(int(part) for part in (version.split(".") + ["0"] * 4)[:4])
    for kind, found in numbers.items():
        if found != wanted:
            raise Lacking(f"{kind} version {found}, not {wanted}")
    expected = {"ProductName": "Packsmith", "FileVersion": version, "ProductVersion": version,
                "OriginalFilename": path.replace("\\", "/").rsplit("/", 1)[-1]}
    for name, value in expected.items():
        if strings.get(name) != value:
            raise Lacking(f"version information {name} is {strings.get(name)!r}, not {value!r}")
    for name in ("FileDescription", "CompanyName", "LegalCopyright"):
        if not strings.get(name):
            raise Lacking(f"version information without {name}")
    return f"{strings['FileDescription']} {version}, icon of {len(sizes)} sizes, manifest"


def print_manifest(path):
    try:
        with open(path, "rb") as f:
            manifests = read_resources(f.read()).get(RT_MANIFEST, {})
        sys.stdout.buffer.write(next(iter(manifests[1].values())))
    except (OSError, Lacking, struct.error, KeyError, StopIteration) as e:
        print(f"error: {path}: no manifest to print ({e})", file=sys.stderr)
        return 1
    return 0


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if argv[1] == "--manifest":
        return print_manifest(argv[2])
    version = argv[1]
    window = False
    failed = False
    for path in argv[2:]:
        if path == "--window":
            window = True
            continue
        try:
            print(f"{path}: {check_program(path, version, window)}")
        except (OSError, Lacking, struct.error, ElementTree.ParseError, UnicodeDecodeError) as e:
            print(f"error: {path}: {e}", file=sys.stderr)
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
