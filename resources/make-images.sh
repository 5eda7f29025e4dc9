#!/bin/sh
# Draws the three images compiled into the program:
#   images/ico.png                PNG 267x267, the program's icon
#   images/weixin.jpg             JPEG 508x534, the picture of the tip page
#   images/loading/loading.gif    animated GIF 560x420, endless loop, the busy animation
#
# A tool for developers only: the results are committed, so building the
# program needs none of this. Needs ImageMagick 6 (convert) and the
# WenQuanYi Micro Hei font (fonts-wqy-microhei) for the Chinese caption.
#
# Everything is drawn at four times the final size and scaled down, which
# gives clean edges on curves and round ends.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out="$here/images"
mkdir -p "$out/loading"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

font=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei' 2>/dev/null || true)
case "$font" in
    *wqy-microhei*) ;;
    *) font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc ;;
esac
[ -f "$font" ] || { echo "make-images.sh: WenQuanYi Micro Hei not found (apt-get install fonts-wqy-microhei)" >&2; exit 1; }

# Brand colours: a teal-to-violet diagonal.
c1='#1fc8c9'
c2='#5a45e0'

# ---------------------------------------------------------------- icon
# A rounded-square badge with the diagonal gradient, a soft top light, and a
# white speech bubble that carries five sound bars in the badge's colours.
S=1068   # 267 * 4

convert -size ${S}x${S} -define gradient:angle=135 gradient:"$c1-$c2" "$tmp/grad.png"

convert -size ${S}x${S} xc:black -fill white \
    -draw "roundrectangle 28,28 1039,1039 232,232" "$tmp/badge-mask.png"

# Light from above: white fading out towards the middle, only inside the badge.
convert -size ${S}x${S} gradient:'rgba(255,255,255,0.22)-rgba(255,255,255,0)' "$tmp/light.png"

# The bubble: a rounded body and a tail to the lower left.
bubble_draw="roundrectangle 232,262 836,708 150,150 polygon 330,640 268,846 498,700"
convert -size ${S}x${S} xc:black -fill white -draw "$bubble_draw" "$tmp/bubble-mask.png"

# Its shadow: the same shape, blurred and moved down a little.
convert -size ${S}x${S} xc:black "$tmp/shadow-rgb.png"
convert "$tmp/bubble-mask.png" -blur 0x26 -roll +0+22 -evaluate multiply 0.30 "$tmp/shadow-alpha.png"
convert "$tmp/shadow-rgb.png" "$tmp/shadow-alpha.png" -alpha off -compose CopyOpacity -composite "$tmp/shadow.png"

convert -size ${S}x${S} xc:none -fill white -draw "$bubble_draw" "$tmp/bubble.png"

# Five round-ended bars, tallest in the middle: a voice's level meter.
bars=""
cx=534; cy=485; step=92; w=26
i=0
for h in 92 176 262 176 92; do
    x=$((cx + (i - 2) * step))
    bars="$bars roundrectangle $((x - w)),$((cy - h / 2)) $((x + w)),$((cy + h / 2)) $w,$w"
    i=$((i + 1))
done
convert -size ${S}x${S} xc:black -fill white -draw "$bars" "$tmp/bars-mask.png"
convert -size ${S}x${S} -define gradient:angle=135 gradient:"#19b5c0-#4b34cf" \
    "$tmp/bars-mask.png" -alpha off -compose CopyOpacity -composite "$tmp/bars.png"

convert "$tmp/grad.png" \
    "$tmp/light.png" -compose Over -composite \
    "$tmp/shadow.png" -compose Over -composite \
    "$tmp/bubble.png" -compose Over -composite \
    "$tmp/bars.png" -compose Over -composite \
    "$tmp/badge-mask.png" -alpha off -compose CopyOpacity -composite \
    -filter Lanczos -resize 267x267 \
    -depth 8 -define png:color-type=6 -strip "$out/ico.png"

# ---------------------------------------------------------------- tip card
# A warm card: a cup of coffee on a saucer with rising steam, and the caption.
# The tip page shows it 400 px wide and Qt scales rich-text images without
# smoothing, so the lettering is drawn a little heavy to survive that.
W=2032; H=2136   # 508 x 534, times four

convert -size ${W}x${H} gradient:'#fffaf3-#f6eadb' "$tmp/card.png"

cup="
  fill '#e9dccb' ellipse 1016,1330 560,120 0,360
  fill '#f8f1e7' ellipse 1016,1310 520,100 0,360
  fill '#e4d3bf' ellipse 1016,1310 300,50 0,360
  fill none stroke '#e6d6c3' stroke-width 92 ellipse 1420,980 140,150 0,360
  stroke '#ffffff' stroke-width 64 ellipse 1420,980 140,150 0,360
  stroke '#e6d6c3' stroke-width 8
  fill '#ffffff' path 'M 596,780 L 1436,780 C 1436,1120 1300,1300 1016,1300 C 732,1300 596,1120 596,780 Z'
  stroke none
  fill '#f1e6d8' path 'M 1016,1296 C 1296,1296 1432,1120 1432,784 L 1390,784 C 1382,1070 1250,1270 1016,1296 Z'
  fill '#ffffff' stroke '#e6d6c3' stroke-width 8 ellipse 1016,780 420,86 0,360
  stroke none
  fill '#6b3f24' ellipse 1016,786 382,66 0,360
  fill '#8a5533' ellipse 1016,792 340,50 0,360
  fill '#f3e1c8' path 'M 1016,840 C 920,790 900,740 960,726 C 990,720 1010,736 1016,752 C 1022,736 1042,720 1072,726 C 1132,740 1112,790 1016,840 Z'
"
steam="
  fill none stroke '#dcc7ad' stroke-width 26 stroke-linecap round
  path 'M 890,650 C 850,590 930,540 890,470 C 860,420 880,380 900,350'
  path 'M 1016,620 C 976,550 1056,490 1016,410 C 986,350 1006,300 1026,270'
  path 'M 1142,650 C 1102,590 1182,540 1142,470 C 1112,420 1132,380 1152,350'
"
# The shadow of the saucer on the table.
convert -size ${W}x${H} xc:none -fill 'rgba(120,80,40,0.16)' \
    -draw "ellipse 1016,1380 600,110 0,360" -blur 0x30 "$tmp/card-shadow.png"

convert "$tmp/card.png" \
    "$tmp/card-shadow.png" -compose Over -composite \
    \( -size ${W}x${H} xc:none -draw "$steam" -blur 0x3 \) -compose Over -composite \
    -draw "$cup" \
    -font "$font" -gravity North \
    -fill '#6b3f24' -stroke '#6b3f24' -strokewidth 5 -pointsize 200 -annotate +0+1510 '感谢支持' \
    -fill '#8c6446' -stroke '#8c6446' -strokewidth 3 -pointsize 96 -annotate +0+1790 '一杯咖啡，是继续前行的动力' \
    -gravity NorthWest -fill none -stroke '#e7d6c2' -strokewidth 12 \
    -draw "roundrectangle 60,60 1972,2076 80,80" \
    -filter Lanczos -resize 508x534\! \
    -strip -quality 92 -sampling-factor 4:2:0 "$out/weixin.jpg"

# ---------------------------------------------------------------- busy spinner
# Twelve dots on a circle; the bright head moves one place per frame and the
# dots behind it fade and shrink, so the ring seems to turn. The page's overlay
# shows the top part of the picture above its message line, so the ring sits a
# little above the middle. White ground, like the overlay's box.
GW=1120; GH=840   # 560 x 420, times two
gcx=560; gcy=430; gr=230
n=12
frames=""
k=0
while [ $k -lt $n ]; do
    draw=$(awk -v k=$k -v n=$n -v cx=$gcx -v cy=$gcy -v r=$gr 'BEGIN {
        pi = atan2(0, -1)
        for (i = 0; i < n; i++) {
            age = (k - i + n) % n            # 0 = the head
            t = age / (n - 1)
            a = 1 - 0.88 * t
            rad = 40 - 18 * t
            # colour runs from violet at the head to teal in the tail
            cr = int(90 + (31 - 90) * t); cg = int(69 + (200 - 69) * t); cb = int(224 + (201 - 224) * t)
            # blend onto white so the GIF needs no transparency
            cr = int(255 - (255 - cr) * a); cg = int(255 - (255 - cg) * a); cb = int(255 - (255 - cb) * a)
            ang = 2 * pi * i / n - pi / 2
            x = cx + r * cos(ang); y = cy + r * sin(ang)
            printf "fill rgb(%d,%d,%d) circle %.1f,%.1f %.1f,%.1f ", cr, cg, cb, x, y, x + rad, y
        }
    }')
    f="$tmp/frame-$(printf %02d $k).png"
    convert -size ${GW}x${GH} xc:white -draw "$draw" -filter Lanczos -resize 560x420\! "$f"
    frames="$frames $f"
    k=$((k + 1))
done
# shellcheck disable=SC2086
convert -delay 7 -loop 0 $frames -dispose None +dither -colors 64 -layers Optimize "$out/loading/loading.gif"

echo "written: $out/ico.png $out/weixin.jpg $out/loading/loading.gif"
