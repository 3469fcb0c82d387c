#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Synthesises the alarm sound resources/reveille.mp3: a short bugle call on the
# natural notes of a bugle in C (G4 C5 E5 G5 C6), each note a stack of harmonics
# with a slower attack on the upper ones, as brass has.
#
# Needs sox and lame (Debian 12: apt-get install --no-install-recommends sox lame).
# Installs nothing; the result is committed, so building Tepora needs neither.
#
#   resources/make-reveille.sh [output.mp3]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/reveille.mp3}
for tool in sox lame; do
  command -v "$tool" >/dev/null || { echo "make-reveille.sh: needs $tool (Debian package $tool)" >&2; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

rate=44100
beat=0.125 # one eighth note, in seconds
# -R: repeatable output; -D: no random dither, so the same script gives the same file.
SOX=(sox -R -D)

# Strength of harmonics 1..8: strong low partials, a bright but falling top;
# they add up to 0.9 so the mix cannot clip.
levels=(0.262 0.197 0.144 0.110 0.079 0.052 0.034 0.022)

count=0
piece() { # add a file to the sequence
  count=$((count + 1))
  mv "$1" "$tmp/part-$(printf %03d $count).wav"
}

note() { # frequency in Hz, length in eighths
  local freq=$1 len
  len=$(awk -v b="$beat" -v n="$2" 'BEGIN { printf "%.4f", b * n }')
  # Tongued notes: a short break before the next one.
  local sound
  sound=$(awk -v l="$len" 'BEGIN { printf "%.4f", l - 0.03 }')
  local inputs=()
  for k in 1 2 3 4 5 6 7 8; do
    local f attack
    f=$(awk -v f="$freq" -v k="$k" 'BEGIN { printf "%.2f", f * k }')
    attack=$(awk -v k="$k" 'BEGIN { printf "%.3f", 0.008 + 0.004 * k }')
    "${SOX[@]}" -n -r $rate -c 1 -b 16 "$tmp/h$k.wav" synth "$sound" sine "$f" fade q "$attack" 0 0.03
    inputs+=(-v "${levels[$((k - 1))]}" "$tmp/h$k.wav")
  done
  "${SOX[@]}" -m "${inputs[@]}" -b 16 "$tmp/mix.wav"
  # A little swell after the attack and a soft end, then the break.
  "${SOX[@]}" "$tmp/mix.wav" "$tmp/note.wav" fade h 0.02 0 0.05 pad 0 0.03
  piece "$tmp/note.wav"
}

rest() { # length in eighths
  local len
  len=$(awk -v b="$beat" -v n="$1" 'BEGIN { printf "%.4f", b * n }')
  "${SOX[@]}" -n -r $rate -c 1 -b 16 "$tmp/rest.wav" trim 0 "$len"
  piece "$tmp/rest.wav"
}

G4=392.00 C5=523.25 E5=659.26 G5=783.99 C6=1046.50

note $G4 1; note $C5 1; note $E5 2; note $C5 1; note $E5 1; note $G5 4; rest 1
note $E5 1; note $E5 1; note $G5 2; note $E5 1; note $C5 1; note $G4 4; rest 1
note $G4 1; note $C5 1; note $E5 1; note $G5 1; note $C6 2; note $G5 1; note $E5 1; note $C5 5

# A small room so it does not sound dry, then a safe level.
"${SOX[@]}" "$tmp"/part-*.wav -b 16 "$tmp/call.wav" gain -6 reverb 25 50 40 pad 0 0.25 norm -1
lame --quiet -m m -b 64 --resample 44.1 "$tmp/call.wav" "$out"
echo "wrote $out"
