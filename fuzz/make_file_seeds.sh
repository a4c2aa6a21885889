#!/usr/bin/env bash
# Writes the seeds of fuzz_decode_input into fuzz/corpus/fuzz_decode_input/: one GPS block (and
# one with a PTU block before it) synthesized by nimbra-synth, converted by sox into the formats
# and rates recorders produce, each behind the target's 8-byte header (fuzz/fuzz_decode_input.cpp).
#   bash fuzz/make_file_seeds.sh BUILD_DIR     (BUILD_DIR/bin holds nimbra-synth)
set -euo pipefail
cd "$(dirname "$0")/.."
synth=${1:?usage: make_file_seeds.sh BUILD_DIR}/bin/nimbra-synth
out=fuzz/corpus/fuzz_decode_input
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

"$synth" --duration 1 --satellites 2 --lowpass 7000 "$tmp/ptu_gps.wav" >/dev/null
"$synth" --duration 1 --satellites 2 --no-ptu "$tmp/full.wav" >/dev/null
sox "$tmp/full.wav" "$tmp/gps.wav" trim 0.72           # the GPS block and little idle
sox "$tmp/gps.wav" -r 44100 -c 2 "$tmp/stereo_44k1_left.wav" remix 1 0
sox "$tmp/gps.wav" -r 44100 -c 2 "$tmp/stereo_44k1_right.wav" remix 0 1
sox "$tmp/gps.wav" -e floating-point -b 32 "$tmp/float32.wav"
sox "$tmp/gps.wav" "$tmp/gps.flac"
sox "$tmp/gps.wav" "$tmp/gps.aiff"
sox "$tmp/gps.wav" -b 24 "$tmp/pcm24.wav"
sox "$tmp/gps.wav" -b 8 -e unsigned "$tmp/u8.wav"
sox "$tmp/gps.wav" -r 22050 "$tmp/rate_22k05.wav"

# header: flags, channel byte, raw channel count byte, raw rate (4 bytes LE), unused
seed() {  # name flags channel file
  { printf "\\x$(printf %02x "$2")\\x$(printf %02x "$3")\\x00\\x00\\x00\\x00\\x00\\x00"; cat "$4"; } >"$out/$1"
}
seed wav16_48k_gps 0 0 "$tmp/gps.wav"
seed wav16_48k_ptu_gps_psu 64 0 "$tmp/ptu_gps.wav"
seed wav16_48k_level 2 0 "$tmp/gps.wav"
seed wav16_48k_pattern_filter 12 0 "$tmp/gps.wav"
seed wav16_48k_start_time 128 0 "$tmp/gps.wav"
seed stereo_44k1_left 0 0 "$tmp/stereo_44k1_left.wav"
seed stereo_44k1_right 0 1 "$tmp/stereo_44k1_right.wav"
seed float32 0 0 "$tmp/float32.wav"
seed flac 0 0 "$tmp/gps.flac"
seed aiff 0 0 "$tmp/gps.aiff"
seed pcm24 0 0 "$tmp/pcm24.wav"
seed u8 0 0 "$tmp/u8.wav"
seed rate_22k05 0 0 "$tmp/rate_22k05.wav"
seed raw_wav_bytes 1 0 "$tmp/gps.wav"
ls -l "$out"
