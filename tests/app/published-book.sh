#!/usr/bin/env bash
# A book as a publisher makes it, end to end: leafpack.exe (under Wine) builds
# it from a folder with the book's own icon, version details and window
# options; osslsigncode signs it with a throw-away certificate made here.
# Then: osslsigncode and leafpack verify the signed book, an independent PE
# reader (python3-pefile) finds its icon and version details, and the Windows
# side (PublishedBookTest in app_tests) reads them back through Windows and
# plays the book.
#   published-book.sh <windows-build> <source-tree>
# Exits 77 (skipped) where this machine cannot run the build's programs.
set -euo pipefail
build=$1 root=$2
out=$build/published
run() { "$root/scripts/wine-run.sh" "$build/wineprefix" "$@"; }
# Wine's Z: drive is the Unix root; leafpack gets Windows paths, as on Windows.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
# Non-ASCII arguments reach Wine's programs as Unicode from a UTF-8 locale.
export LC_ALL=C.UTF-8
# Debian's python3-pefile serves the system's python, whatever else is on PATH.

# The texts PublishedBookTest expects.
company="Éditions Été"
copyright="© 2026 Éditions Été"
caption="Herbier illustré"

rm -rf "$out"
mkdir -p "$out/book"
cp -r "$root/demo/book/pages" "$root/demo/book/config" "$out/book/"
cp "$build/miniplayer/miniplayer.ocx" "$out/book/flash.ocx"
run "$build/tools/swfwriter/swfwriter.exe" book -o "$(windows_path "$out/book/book.swf")" \
  --pages 4 --pattern "./pages/%d.png" --first "pages/1.png"

# Two icon images, 32 and 48 pixels square, as PNG.
/usr/bin/python3 - "$out" <<'PYTHON'
import struct, sys, zlib
def png(path, size, rgb):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(rgb + (255,)) * size for _ in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows))
                + chunk(b"IEND", b""))
png(sys.argv[1] + "/icon-32.png", 32, (40, 140, 60))
png(sys.argv[1] + "/icon-48.png", 48, (40, 140, 60))
PYTHON

echo "== leafpack.exe build"
run "$build/tools/leafpack/leafpack.exe" build "$(windows_path "$out/book")" \
  --viewer "$(windows_path "$build/app/leafbook.exe")" -o "$(windows_path "$out/book.exe")" \
  --icon "$(windows_path "$out/icon-32.png")" --icon "$(windows_path "$out/icon-48.png")" \
  --product-name Herbier --company "$company" --description "Un herbier en images" \
  --copyright "$copyright" --file-version 2.1.0.7 --product-version 2.1 \
  --caption "$caption" --open-mode size --width 900 --height 700

echo "== sign"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$out/key.pem" -out "$out/cert.pem" -days 2 \
  -subj "/CN=Leafbook test publisher" 2>/dev/null
osslsigncode sign -certs "$out/cert.pem" -key "$out/key.pem" -n Herbier \
  -in "$out/book.exe" -out "$out/signed.exe" >/dev/null
osslsigncode verify -CAfile "$out/cert.pem" "$out/signed.exe" | grep -q "Signature verification: ok"

echo "== leafpack.exe verify and list"
verified=$(run "$build/tools/leafpack/leafpack.exe" verify "$(windows_path "$out/signed.exe")")
echo "$verified"
case $verified in *"not signed"*) exit 1 ;; *signed*) ;; *) exit 1 ;; esac
run "$build/tools/leafpack/leafpack.exe" list "$(windows_path "$out/signed.exe")" | tee "$out/list.txt"
grep -q "ExeConfig.xml" "$out/list.txt"

echo "== pefile"
/usr/bin/python3 - "$out/signed.exe" "$company" "$copyright" <<'PYTHON'
import sys, pefile
path, company, copyright = sys.argv[1:4]
pe = pefile.PE(path)
strings = {}
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
expected = {"CompanyName": company, "LegalCopyright": copyright, "ProductName": "Herbier",
            "FileDescription": "Un herbier en images"}
for key, value in expected.items():
    assert strings.get(key) == value, (key, strings.get(key), value)
fixed = pe.VS_FIXEDFILEINFO[0]
assert (fixed.FileVersionMS, fixed.FileVersionLS) == (2 << 16 | 1, 7), "file version"
groups = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries
          if e.id == pefile.RESOURCE_TYPE["RT_GROUP_ICON"]]
assert groups, "no group icon"
leaf = groups[0].directory.entries[0].directory.entries[0].data.struct
group = pe.get_data(leaf.OffsetToData, leaf.Size)
images = int.from_bytes(group[4:6], "little")
assert images == 2, "icon images: %d" % images
assert pe.verify_checksum(), "PE checksum"
print("pefile: version details, two icon images and the checksum as expected")
PYTHON

echo "== played and read back under Wine"
LEAFBOOK_PUBLISHED_BOOK=$(windows_path "$out/signed.exe") \
  run "$build/tests/app/app_tests.exe" --gtest_filter='PublishedBookTest.*'
