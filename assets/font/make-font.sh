#!/bin/sh
# Regenerates show-serif.ttf, the face baked into the glyph atlas, from Tinos
# Regular 1.33 as shipped by Debian 12's fonts-croscore 20201225-1 (source
# package fonts-noto; SIL Open Font License 1.1, see OFL.txt).
#
# The build embeds the committed show-serif.ttf and never runs this script;
# run it only to remake the file:
#   apt-get install fonts-croscore fonttools
#   sh assets/font/make-font.sh [source.ttf] [output.ttf]
#
# What it does:
#  - keeps codes 32..126 only, plus glyph 0 with its missing-glyph box (the
#    atlas bakes code 127 from it);
#  - drops hinting, layout tables and glyph names: stb_truetype reads none of
#    them and the file gets much smaller;
#  - keeps TrueType glyf outlines, the format 4 Unicode cmap, hhea/hmtx
#    (ascender 1825, descender -443, 2048 units per em) unchanged;
#  - renames the face "Show Serif": a modified version must not present itself
#    under the original's name, and "Tinos" is Google's trademark.
# With the source below the output is byte-for-byte reproducible.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
src=${1:-/usr/share/fonts/truetype/croscore/Tinos-Regular.ttf}
out=${2:-$here/show-serif.ttf}
expected_src_sha256=cf264a22292950ca1679b2ade07e9e6ecb26c649ab70975d0e113f979efa827a
python=/usr/bin/python3

if [ ! -r "$src" ]; then
    echo "make-font.sh: cannot read $src (install the Debian package fonts-croscore)" >&2
    exit 1
fi
if ! command -v pyftsubset >/dev/null 2>&1 || ! "$python" -c 'import fontTools' 2>/dev/null; then
    echo "make-font.sh: pyftsubset or fontTools missing (install the Debian package fonttools)" >&2
    exit 1
fi
actual=$(sha256sum "$src" | cut -d' ' -f1)
if [ "$actual" != "$expected_src_sha256" ]; then
    echo "make-font.sh: warning: $src is not Tinos-Regular.ttf of fonts-croscore 20201225-1;" >&2
    echo "make-font.sh: warning: the result will differ from the committed show-serif.ttf" >&2
fi

tmp=$(mktemp --suffix=.ttf)
checked=$(mktemp --suffix=.ttf)
trap 'rm -f "$tmp" "$checked"' EXIT

pyftsubset "$src" \
    --unicodes=U+0020-007E \
    --notdef-outline \
    --no-hinting \
    --layout-features= \
    --drop-tables+=GSUB,GPOS,GDEF,DSIG,kern \
    --no-glyph-names \
    --name-IDs='*' \
    --name-languages=0x0409 \
    --output-file="$tmp"

# The result goes to a scratch file first and replaces $out only once it has
# passed the checks below.
"$python" - "$tmp" "$checked" <<'EOF'
import sys
from fontTools.ttLib import TTFont

src, dst = sys.argv[1], sys.argv[2]
# Keep head.modified as in the source so that reruns give identical bytes.
font = TTFont(src, recalcTimestamp=False)
name = font["name"]

# Every record that names the face or carries the original name goes; the
# copyright (0), manufacturer (8), designer (9), URLs (11, 12) and licence
# (13, 14) stay as the licence asks.
for name_id in (1, 2, 3, 4, 5, 6, 7, 10, 16, 17, 18, 19, 20, 21, 22, 25):
    name.removeNames(nameID=name_id)
records = {
    1: "Show Serif",
    2: "Regular",
    3: "1.33;SHOW;ShowSerif-Regular",
    4: "Show Serif Regular",
    5: "Version 1.33; printable ASCII subset, unhinted",
    6: "ShowSerif-Regular",
    10: "Printable ASCII subset of Tinos Regular 1.33, designed by Steve "
        "Matteson; outlines and metrics unchanged, hinting removed, renamed.",
}
for name_id, text in records.items():
    name.setName(text, name_id, 3, 1, 0x409)

font.save(dst)

# Check what the glyph atlas relies on, so a different source or fontTools
# version cannot slip a broken file in silently.
check = TTFont(dst)
if "glyf" not in check:
    sys.exit("make-font.sh: the source has no TrueType glyf outlines")
problems = []
cmap = check["cmap"].getcmap(3, 1)
if cmap is None or cmap.format != 4:
    problems.append("no format 4 Windows Unicode cmap")
else:
    missing = [c for c in range(32, 127) if c not in cmap.cmap]
    if missing:
        problems.append("unmapped codes: %s" % missing)
    if 127 in cmap.cmap:
        problems.append("code 127 is mapped; it must fall back to glyph 0")
notdef = check["glyf"][check.getGlyphOrder()[0]]
if notdef.numberOfContours <= 0:
    problems.append("glyph 0 has no outline")
if check["head"].unitsPerEm != 2048:
    problems.append("units per em is %d, not 2048" % check["head"].unitsPerEm)
for rec in check["name"].names:
    if rec.nameID in (1, 3, 4, 6) and "Tinos" in rec.toUnicode():
        problems.append("name %d still says Tinos" % rec.nameID)
if problems:
    sys.exit("make-font.sh: " + "; ".join(problems))
hhea = check["hhea"]
print("glyphs %d, ascender %d, descender %d, space advance %d"
      % (check["maxp"].numGlyphs, hhea.ascent, hhea.descent,
         check["hmtx"][cmap.cmap[32]][0]))
EOF
chmod 644 "$checked"
mv "$checked" "$out"

echo "wrote $out ($(stat -c %s "$out") bytes, sha256 $(sha256sum "$out" | cut -d' ' -f1))"
