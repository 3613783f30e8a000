#!/usr/bin/env python3
"""Prints what a Windows program's resources tell Explorer, one fact a line:
  version FILEVERSION PRODUCTVERSION FILETYPE
  string NAME=VALUE          (each string of the version resource)
  icons N                    (icon groups)
  manifest ID TEXT           (the manifest, on one line)
Reads the file as bytes with the standard library only, so that the programs
are checked where they cannot run.
  pe_resources.py PROGRAM"""

import struct
import sys

RT_ICON_GROUP, RT_VERSION, RT_MANIFEST = 14, 16, 24


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size
    found = []
    for i in range(count):
        _, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
        found.append((rva, max(vsize, raw_size), raw))
    return resource_rva, found


def to_offset(rva, found):
    for start, size, raw in found:
        if start <= rva < start + size:
            return rva - start + raw
    raise ValueError("address %#x lies in no section" % rva)


def leaves(data, base, offset=0, path=()):
    """(type, name, language) and (rva, size) of every resource."""
    named, numbered = struct.unpack_from("<12xHH", data, base + offset)
    for i in range(named + numbered):
        name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
        key = path + (name if not name & 0x80000000 else "named",)
        if target & 0x80000000:
            yield from leaves(data, base, target & 0x7FFFFFFF, key)
        else:
            yield key, struct.unpack_from("<II", data, base + target)


def version_node(block, at):
    """One node of a version resource: its key, its value and where its
    children begin and it ends."""
    length, value_length, kind = struct.unpack_from("<HHH", block, at)
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    value_at = (key_end + 2 + 3) & ~3
    value = block[value_at:value_at + value_length * (2 if kind == 1 else 1)]
    return block[at + 6:key_end].decode("utf-16-le"), value, (value_at + len(value) + 3) & ~3, at + length


def version_children(block, node):
    at, end = node[2], node[3]
    while at + 6 <= end:
        child = version_node(block, at)
        yield child
        at = (child[3] + 3) & ~3


def version_strings(block):
    """The StringFileInfo strings of a VS_VERSIONINFO block."""
    strings = {}
    for info in version_children(block, version_node(block, 0)):
        if info[0] != "StringFileInfo":
            continue
        for table in version_children(block, info):
            for string in version_children(block, table):
                strings[string[0]] = string[1].decode("utf-16-le").rstrip("\0")
    return strings


def describe(path):
    data = open(path, "rb").read()
    resource_rva, found = sections(data)
    if not resource_rva:
        return
    base = to_offset(resource_rva, found)
    icon_groups = 0
    for (kind, name, _), (rva, size) in leaves(data, base):
        body = data[to_offset(rva, found):to_offset(rva, found) + size]
        if kind == RT_ICON_GROUP:
            icon_groups += 1
        elif kind == RT_VERSION:
            fixed = body.find(struct.pack("<I", 0xFEEF04BD))
            file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", body, fixed + 8)
            file_type = struct.unpack_from("<I", body, fixed + 36)[0]
            number = lambda ms, ls: "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            print("version", number(file_ms, file_ls), number(product_ms, product_ls),
                  {1: "app", 2: "dll"}.get(file_type, file_type))
            for key, value in version_strings(body).items():
                print("string %s=%s" % (key, value))
        elif kind == RT_MANIFEST:
            print("manifest", name, " ".join(body.decode("utf-8").split()))
    print("icons", icon_groups)


if __name__ == "__main__":
    describe(sys.argv[1])
