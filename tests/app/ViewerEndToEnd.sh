#!/bin/sh
# The real zoviewer under Xvfb: with a 4-camera recording the screen shows
# four lit cells, without one the cells are dark; a polite close (SIGTERM,
# as a session ending sends) writes the profile.
# usage: ViewerEndToEnd.sh ZOVIEWER ZRF
set -eu
viewer=$1
zrf=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/cfg" SDL_AUDIODRIVER=dummy XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=xcb
"$zrf" gen --channels 4 --seconds 12 --audio "$work/four.ZRF" >/dev/null

# Runs the viewer on an X server of its own, photographs the screen after a
# few seconds and asks it to close.
cat >"$work/run.sh" <<'INNER'
#!/bin/sh
"$1" $3 &
pid=$!
sleep 5
import -window root "$2"
kill -TERM $pid
wait $pid
INNER
chmod +x "$work/run.sh"

# The mean brightness of each of the four cells of a 640 x 448 video area in
# a window centred on a 1024 x 768 screen.
cells() {
  for geometry in 300x200+201+165 300x200+521+165 300x200+201+389 300x200+521+389; do
    convert "$1" -crop "$geometry" -format '%[fx:mean] ' info:
  done
}

xvfb-run -a -s "-screen 0 1024x768x24" "$work/run.sh" "$viewer" "$work/shot.png" "$work/four.ZRF"
xvfb-run -a -s "-screen 0 1024x768x24" "$work/run.sh" "$viewer" "$work/empty.png" ""
lit=$(cells "$work/shot.png")
dark=$(cells "$work/empty.png")
echo "cells with the recording: $lit; without: $dark"
for m in $lit; do
  awk -v m="$m" 'BEGIN { exit !(m > 0.2) }' || { echo "a camera cell is dark"; exit 1; }
done
for m in $dark; do
  awk -v m="$m" 'BEGIN { exit !(m < 0.05) }' || { echo "an empty cell is lit"; exit 1; }
done
profile="$work/cfg/zoviewer/zoviewer.ini"
grep -q '^\[Zo7R Viewer\]$' "$profile"
grep -q '^Video Width=640$' "$profile"
grep -q '^DvrName=DVR000$' "$profile"
grep -q '^Exact Steps=1$' "$profile"
[ "$(grep -c '=' "$profile")" -eq 20 ] || { echo "the profile does not hold every key"; exit 1; }
echo "ok"
