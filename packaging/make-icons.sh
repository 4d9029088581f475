#!/bin/sh
# Draws the desktop icon of the installed program at the sizes desktops ask
# for, from the very drawing of the program's own icon in
# resources/make-images.sh, so that the two never drift apart. Run it after
# changing that drawing; the results are committed so that a build needs
# neither tool.
#   needs: rsvg-convert (librsvg2-bin), convert (ImageMagick)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out="$here/icons/hicolor"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sed -n '/^cat > "$work\/ferulan.svg"/,/^SVG$/p' "$here/../resources/make-images.sh" | sed '1d;$d' > "$work/ferulan.svg"
grep -q '<svg' "$work/ferulan.svg" || { echo "make-icons.sh: the icon's drawing was not found" >&2; exit 1; }

mkdir -p "$out/scalable/apps"
cp "$work/ferulan.svg" "$out/scalable/apps/ferulan.svg"
for size in 16 32 48 64 128 256; do
    mkdir -p "$out/${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" -o "$work/ferulan-$size.png" "$work/ferulan.svg"
    # Metadata and timestamps stripped, so a re-run gives the same bytes.
    convert "$work/ferulan-$size.png" -strip -define png:exclude-chunks=date,time \
        "$out/${size}x${size}/apps/ferulan.png"
done
