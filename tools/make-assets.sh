#!/usr/bin/env bash
# Regenerates the program's pictures and sound in assets/ (the results are
# committed, so a build needs none of these tools). Needs ImageMagick and python3.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/assets"
mkdir -p "$out/sounds"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
font_regular=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf

# The emblem at 256 px: a blue rounded tile, a white browser window with a
# title bar, and a red "no" sign over it.
emblem() {
  convert -size 256x256 xc:none \
    -fill '#1f5fa8' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill '#2f7fd0' -draw 'roundrectangle 8,8 247,140 44,44' \
    -fill white -draw 'roundrectangle 44,60 212,196 10,10' \
    -fill '#cfe0f4' -draw 'rectangle 44,60 212,88' \
    -fill '#1f5fa8' -draw 'rectangle 56,100 150,112' -draw 'rectangle 56,122 190,132' -draw 'rectangle 56,142 170,152' \
    -stroke '#d22a2a' -strokewidth 22 -fill none -draw 'circle 168,168 168,112' \
    -draw 'line 130,130 206,206' \
    "$1"
}
emblem "$tmp/emblem.png"
for s in 16 20 24 32 48 64 256; do
  convert "$tmp/emblem.png" -resize ${s}x${s} "$tmp/e$s.png"
done
# The program's icon: the exe, the main window and the tray.
convert "$tmp/e16.png" "$tmp/e24.png" "$tmp/e32.png" "$tmp/e48.png" "$tmp/e64.png" "$tmp/e256.png" "$out/quellix.ico"
# The browser toolbar button: grey when idle, in colour under the pointer.
convert "$tmp/e16.png" "$tmp/e20.png" "$tmp/e32.png" "$out/hoticon.ico"
for s in 16 20 32; do convert "$tmp/e$s.png" -colorspace Gray "$tmp/g$s.png"; done
convert "$tmp/g16.png" "$tmp/g20.png" "$tmp/g32.png" "$out/icon.ico"

# The splash picture, 476 x 316, and the About window's header, both in 256
# colours (a third of the exe's size in true colour; the pictures hold a
# gradient, an emblem and text, which 256 colours render alike), run-length
# compressed: the undithered gradient's bands pack to a tenth, losslessly.
convert -size 476x316 gradient:'#2f7fd0-#123d70' \
  \( "$tmp/emblem.png" -resize 120x120 \) -geometry +40+60 -composite \
  -font "$font" -fill white -pointsize 34 -annotate +180+110 'Quellix' \
  -pointsize 26 -annotate +180+148 'Pop-Up Blocker' \
  -font "$font_regular" -pointsize 14 -fill '#d8e6f6' -annotate +180+180 'Quiet browsing, one window at a time.' \
  -pointsize 12 -annotate +40+290 'Version 1.0    Orlavent' \
  -dither None -colors 256 -type Palette -compress RLE BMP3:"$out/splash.bmp"
# The header is as large as the window shows it (7515 x 1035 twips at 96
# DPI), in one flat colour: the window writes the program's name on it in a
# label of that colour, so the picture carries only the emblem, at its right.
convert -size 501x69 xc:'#2a6fbd' \
  \( "$tmp/emblem.png" -resize 52x52 \) -geometry +437+8 -composite \
  -dither None -colors 256 -type Palette -compress RLE BMP3:"$out/about_header.bmp"

# The built-in browser's buttons: back, forward, stop and refresh at 24 x 24,
# "go" at 46 x 16, drawn on the button face colour.
face='#f0f0f0'
convert -size 24x24 xc:"$face" -fill '#1f5fa8' -draw 'polygon 4,12 13,4 13,9 20,9 20,15 13,15 13,20' \
  -type TrueColor BMP3:"$out/nav_back.bmp"
convert -size 24x24 xc:"$face" -fill '#1f5fa8' -draw 'polygon 20,12 11,4 11,9 4,9 4,15 11,15 11,20' \
  -type TrueColor BMP3:"$out/nav_forward.bmp"
convert -size 24x24 xc:"$face" -fill '#d22a2a' -draw 'polygon 8,3 16,3 21,8 21,16 16,21 8,21 3,16 3,8' \
  -fill white -draw 'rectangle 7,10 17,14' -type TrueColor BMP3:"$out/nav_stop.bmp"
convert -size 24x24 xc:"$face" -stroke '#2a8a3a' -strokewidth 3 -fill none -draw 'arc 4,4 20,20 -60,240' \
  -stroke none -fill '#2a8a3a' -draw 'polygon 14,2 21,7 14,10' -type TrueColor BMP3:"$out/nav_refresh.bmp"
convert -size 46x16 xc:"$face" -fill '#1f5fa8' -draw 'roundrectangle 1,1 44,14 4,4' \
  -font "$font" -fill white -pointsize 10 -annotate +8+12 'Go' \
  -fill white -draw 'polygon 32,4 40,8 32,12' -type TrueColor BMP3:"$out/nav_go.bmp"

# The block sound: a short, quiet "pop" (a falling tone with a fast decay).
python3 - "$out/sounds/pop.wav" <<'PY'
import math, struct, sys, wave
rate, length = 22050, 0.09
frames = bytearray()
for i in range(int(rate * length)):
    t = i / rate
    freq = 900 * math.exp(-t * 30) + 180
    env = min(1.0, t / 0.002) * math.exp(-t * 55)
    sample = 0.35 * env * math.sin(2 * math.pi * freq * t)
    frames += struct.pack('<h', int(sample * 32767))
with wave.open(sys.argv[1], 'wb') as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate); w.writeframes(bytes(frames))
PY
ls -l "$out" "$out/sounds"
