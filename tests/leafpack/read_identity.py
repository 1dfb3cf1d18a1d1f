#!/usr/bin/env python3
# Reads a book's identity with pefile, a reader independent of leafpack: the
# version strings, the fixed versions, the first group icon's entries, the
# manifest's size and whether the stored checksum is right. One fact a line.
import struct
import sys

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


def resource(pe, type_id, name_id):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id != type_id:
            continue
        for name in entry.directory.entries:
            if name.id == name_id:
                data = name.directory.entries[0].data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def version(ms, ls):
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def main(path):
    pe = pefile.PE(path)
    out = []
    for info in getattr(pe, "FileInfo", [[]])[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                for key, value in sorted(table.entries.items()):
                    out.append("string %s=%s" % (key.decode(), value.decode("utf-8")))
    if hasattr(pe, "VS_FIXEDFILEINFO"):
        fixed = pe.VS_FIXEDFILEINFO[0]
        out.append("file version " + version(fixed.FileVersionMS, fixed.FileVersionLS))
        out.append("product version " + version(fixed.ProductVersionMS, fixed.ProductVersionLS))
    group = resource(pe, RT_GROUP_ICON, 1)
    if group is not None:
        count = struct.unpack_from("<H", group, 4)[0]
        for i in range(count):
            width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
            image = resource(pe, RT_ICON, icon_id)
            same = image is not None and len(image) == size
            out.append("icon %d %dx%d %d bits%s" % (icon_id, width or 256, height or 256, bits, "" if same else " missing"))
    manifest = resource(pe, RT_MANIFEST, 1)
    out.append("manifest %d bytes" % (len(manifest) if manifest is not None else -1))
    out.append("sections %d" % len(pe.sections))
    stored = pe.OPTIONAL_HEADER.CheckSum
    out.append("checksum " + ("right" if pe.generate_checksum() == stored else "wrong"))
    sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))


if __name__ == "__main__":
    main(sys.argv[1])
