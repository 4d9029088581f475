#!/bin/sh
# Draws the program's pictures from the SVG below and writes the PNGs that
# resources.qrc compiles in. Run it from anywhere after changing a drawing;
# the PNGs are committed so that a build needs neither tool.
#   needs: rsvg-convert (librsvg), convert (ImageMagick)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out="$here/images"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# render NAME WIDTH HEIGHT: $work/NAME.svg -> $out/NAME.png
render() {
    rsvg-convert -w "$2" -h "$3" -o "$work/$1.png" "$work/$1.svg"
    # Metadata and timestamps stripped, so a re-run gives the same bytes.
    convert "$work/$1.png" -strip -define png:exclude-chunks=date,time "$out/$1.png"
}

# The logo and its animation: a flask boiling on an open book. The frames
# differ by the bubbles and the vapour; frame 1 is also the logo. They are
# opaque and reduced to 256 colours, like the bitmaps they stand for.
logo_frame() { # NAME BUBBLES VAPOUR
    cat > "$work/$1.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="73" height="79" viewBox="0 0 73 79">
  <defs>
    <linearGradient id="bg" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#fbf8ee"/><stop offset="1" stop-color="#e6dcc2"/>
    </linearGradient>
    <linearGradient id="liquid" x1="0" y1="0" x2="1" y2="0">
      <stop offset="0" stop-color="#1f9a6b"/><stop offset="0.5" stop-color="#43c98f"/>
      <stop offset="1" stop-color="#17805a"/>
    </linearGradient>
    <clipPath id="inside">
      <path d="M32,12 L32,29 L16.5,54 Q15,58.5 19.5,58.5 L53.5,58.5 Q58,58.5 56.5,54 L41,29 L41,12 Z"/>
    </clipPath>
  </defs>
  <rect x="1" y="1" width="71" height="77" rx="7" fill="url(#bg)" stroke="#1c2f6b" stroke-width="2"/>
  <!-- open book -->
  <path d="M36.5,63 Q22,57 5,61 L5,73 Q22,69.5 36.5,75.5 Q51,69.5 68,73 L68,61 Q51,57 36.5,63 Z" fill="#8e1b1b"/>
  <path d="M36.5,61.5 Q22,55.5 7.5,59 L7.5,70.5 Q22,67 36.5,73 Z" fill="#ffffff" stroke="#1c2f6b" stroke-width="0.8"/>
  <path d="M36.5,61.5 Q51,55.5 65.5,59 L65.5,70.5 Q51,67 36.5,73 Z" fill="#ffffff" stroke="#1c2f6b" stroke-width="0.8"/>
  <path d="M11,62 Q20,60 31,63.5 M11,65 Q20,63 31,66.5 M42,63.5 Q53,60 62,62 M42,66.5 Q53,63 62,65"
        stroke="#7c8db8" stroke-width="0.8" fill="none"/>
  <!-- flask -->
  <g clip-path="url(#inside)">
    <rect x="0" y="0" width="73" height="79" fill="#eef6fb"/>
    <rect x="0" y="39" width="73" height="40" fill="url(#liquid)"/>
    <path d="M0,39 Q9,37 18,39 T36,39 T54,39 T73,39" stroke="#9ff0c8" stroke-width="1.2" fill="none"/>
    $2
  </g>
  <path d="M32,12 L32,29 L16.5,54 Q15,58.5 19.5,58.5 L53.5,58.5 Q58,58.5 56.5,54 L41,29 L41,12 Z"
        fill="none" stroke="#1c2f6b" stroke-width="1.8" stroke-linejoin="round"/>
  <rect x="29.5" y="8.5" width="14" height="4" rx="1.5" fill="#c9d6ea" stroke="#1c2f6b" stroke-width="1.4"/>
  <path d="M35,31 L35,16" stroke="#ffffff" stroke-width="1.6" stroke-linecap="round" opacity="0.8"/>
  <path d="M24,50 L31.5,37" stroke="#ffffff" stroke-width="1.6" stroke-linecap="round" opacity="0.6"/>
  $3
</svg>
SVG
    render "$1" 73 79
    convert "$out/$1.png" -background "#e6dcc2" -alpha remove -colors 256 -strip \
        -define png:exclude-chunks=date,time PNG8:"$out/$1.png"
}

bubble() { printf '<circle cx="%s" cy="%s" r="%s" fill="#d9fff0" stroke="#0f6b49" stroke-width="0.7"/>' "$1" "$2" "$3"; }
puff() { printf '<circle cx="%s" cy="%s" r="%s" fill="#c2cbdc" opacity="0.85"/>' "$1" "$2" "$3"; }

logo_frame logo1 "$(bubble 29 53 2.2)$(bubble 41 50 1.6)$(bubble 47 55 1.2)" ""
logo_frame logo2 "$(bubble 30 46 2.4)$(bubble 42 43 1.8)$(bubble 36 54 1.4)$(bubble 46 51 1.2)" \
    "$(puff 37 5 2.2)"
logo_frame logo3 "$(bubble 33 41 2.0)$(bubble 39 48 2.2)$(bubble 28 54 1.3)$(bubble 44 45 1.5)" \
    "$(puff 34 4.5 2.6)$(puff 40 3.5 1.8)"
cp "$out/logo1.png" "$out/logo.png"

# The program's icon: the same flask, alone, on a transparent ground.
cat > "$work/ferulan.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <clipPath id="inside"><path d="M12.5,4 L12.5,12 L4.5,25.5 Q3.5,29 7,29 L25,29 Q28.5,29 27.5,25.5 L19.5,12 L19.5,4 Z"/></clipPath>
  <g clip-path="url(#inside)">
    <rect width="32" height="32" fill="#eef6fb"/>
    <rect y="18" width="32" height="14" fill="#2fb07c"/>
    <circle cx="13" cy="25" r="1.6" fill="#d9fff0"/><circle cx="19" cy="22" r="1.2" fill="#d9fff0"/>
  </g>
  <path d="M12.5,4 L12.5,12 L4.5,25.5 Q3.5,29 7,29 L25,29 Q28.5,29 27.5,25.5 L19.5,12 L19.5,4 Z"
        fill="none" stroke="#1c2f6b" stroke-width="1.8" stroke-linejoin="round"/>
  <rect x="10.5" y="2" width="11" height="3" rx="1" fill="#c9d6ea" stroke="#1c2f6b" stroke-width="1.2"/>
  <rect x="7" y="29.5" width="18" height="2" rx="0.8" fill="#8e1b1b"/>
</svg>
SVG
render ferulan 32 32

# The search dialog's icon: a magnifying glass over a line of text.
cat > "$work/search.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <rect x="2.5" y="4.5" width="21" height="23" fill="#ffffff" stroke="#1c2f6b"/>
  <path d="M5,9 H20 M5,13 H14 M5,17 H11 M5,21 H13 M5,25 H20" stroke="#7c8db8" stroke-width="1.3"/>
  <circle cx="18" cy="16" r="6.5" fill="#d9f2ff" fill-opacity="0.75" stroke="#1c2f6b" stroke-width="2"/>
  <path d="M22.8,20.8 L29,27" stroke="#8e1b1b" stroke-width="3.2" stroke-linecap="round"/>
</svg>
SVG
render search 32 32

# View switch: the grid, and the single-record form.
cat > "$work/list.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">
  <rect x="1.5" y="1.5" width="13" height="13" fill="#ffffff" stroke="#1c2f6b"/>
  <rect x="2" y="2" width="12" height="3" fill="#7c8db8"/>
  <path d="M2,8.5 H14 M2,11.5 H14 M5.5,5 V14" stroke="#1c2f6b" stroke-width="1"/>
</svg>
SVG
render list 16 16
cat > "$work/form.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">
  <rect x="2.5" y="1.5" width="11" height="13" fill="#ffffff" stroke="#1c2f6b"/>
  <path d="M4,4.5 H7 M4,8 H7 M4,11.5 H7" stroke="#1c2f6b" stroke-width="1"/>
  <rect x="8" y="3.5" width="4" height="2" fill="#7c8db8"/>
  <rect x="8" y="7" width="4" height="2" fill="#7c8db8"/>
  <rect x="8" y="10.5" width="4" height="2" fill="#7c8db8"/>
</svg>
SVG
render form 16 16

# The link pointer: a hand whose index finger points up-left; its tip, the
# hot spot, is at (9, 1).
cat > "$work/link.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <path d="M9,1.5 Q7.3,1.5 7.3,3.5 L7.3,17 L5.5,15.2 Q3.8,13.6 2.6,15 Q1.6,16.2 2.8,17.8 L8.5,25.5
           Q10.5,28.5 14,28.5 L20.5,28.5 Q25,28.5 25,23.5 L25,15 Q25,13.3 23.4,13.3 Q21.8,13.3 21.8,15
           L21.8,14 Q21.8,12.1 20.1,12.1 Q18.4,12.1 18.4,14 L18.4,13 Q18.4,11.2 16.7,11.2 Q15,11.2 15,13
           L15,12 Q15,10.3 13.3,10.3 Q11.6,10.3 11.6,12 L10.7,12 L10.7,3.5 Q10.7,1.5 9,1.5 Z"
        fill="#ffffff" stroke="#000000" stroke-width="1.1" stroke-linejoin="round"/>
  <path d="M11.6,12 L11.6,17 M15,13 L15,17 M18.4,14 L18.4,17 M21.8,15 L21.8,17"
        stroke="#000000" stroke-width="0.9" stroke-linecap="round"/>
</svg>
SVG
render link 32 32
