#!/bin/sh
# Runs the player headless on an applet with the window dumped at the end,
# then checks pixels of the dump with ImageMagick: windowpixels.sh PLAYER
# APPLET DUMP X,Y=RRGGBB...
set -e
player=$1 applet=$2 dump=$3
shift 3
rm -f "$dump"
SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy VK_WINDOW_DUMP="$dump" "$player" "$applet" -QUIET
status=0
for check in "$@"; do
  at=${check%%=*} want=${check#*=}
  got=$(convert "$dump" -format "%[hex:p{$at}]" info:)
  if [ "$got" != "$want" ]; then
    echo "pixel $at: $got, expected $want"
    status=1
  fi
done
exit $status
