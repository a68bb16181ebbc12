#!/usr/bin/env bash
# Writes small real AVIs (one per codec the reader meets, and with and without audio) with
# the ffmpeg program, then replays them and mutated copies through every fuzz target.
#
#   avi_seeds.sh REPLAY_DRIVER SEED_DIR
set -euo pipefail
replay=$1
seeds=$2
rm -rf "$seeds"
mkdir -p "$seeds"
if ! command -v ffmpeg >/dev/null; then
  echo "ffmpeg is not installed: no AVI seeds"
  exit 0
fi
# One ffmpeg run writes every video seed (an encoder this ffmpeg lacks fails the run, so
# the rarer ones come in a second run that may fail alone).
src=(-f lavfi -i testsrc=size=32x24:rate=10 -frames:v 3)
ffmpeg -nostdin -v error -y "${src[@]}" \
  -map 0 -frames:v 3 -c:v rawvideo -pix_fmt bgr24 "$seeds/raw24.avi" \
  -map 0 -frames:v 3 -c:v rawvideo -pix_fmt pal8 "$seeds/pal8.avi" \
  -map 0 -frames:v 3 -c:v rawvideo -pix_fmt rgb555le "$seeds/rgb555.avi" \
  -map 0 -frames:v 3 -c:v mjpeg "$seeds/mjpeg.avi" \
  -map 0 -frames:v 3 -c:v msvideo1 "$seeds/msvideo1.avi" \
  -map 0 -frames:v 3 -c:v cinepak "$seeds/cinepak.avi" \
  -map 0 -frames:v 3 -c:v huffyuv "$seeds/huffyuv.avi" \
  -map 0 -frames:v 3 -c:v ffv1 "$seeds/ffv1.avi" \
  -map 0 -frames:v 3 -c:v mpeg4 -g 2 "$seeds/mpeg4.avi" || echo "some video seeds are missing"
ffmpeg -nostdin -v error -y "${src[@]}" -c:v libx264 -preset ultrafast -pix_fmt yuv420p \
  "$seeds/h264.avi" || echo "no H.264 seed"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=32x24:rate=10 -f lavfi -i sine=duration=0.3 \
  -map 0:v -map 1:a -frames:v 3 -c:v mjpeg -c:a pcm_s16le -shortest "$seeds/with_audio.avi" \
  -map 1 -c:a pcm_s16le "$seeds/audio_only.avi" || echo "no seeds with audio"
"$replay" --mutate "$seeds"
