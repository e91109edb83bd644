#!/bin/sh
# Intelligibility of a model directory by the recogniser round trip.
#
#   engine/train/eval_voice.sh MODEL_DIR [DATA_DIR] [N] [OUT_DIR]
#
# For the first N (default 200) sentences of each held-out set — everyday
# ("e", DATA_DIR/test-everyday.txt) and technical ("t", DATA_DIR/test.txt) —
# the engine reads them with its default female and male voices
# (tovantts_synthesize through tovan-saylines), and wer.py scores them next
# to the two teachers (their held-out renders in DATA_DIR/slt and
# DATA_DIR/rms) and espeak-ng, all against the words Festival spoke.
# Figures go to OUT_DIR/wer.txt (default DATA_DIR/eval), one line per
# system and set, and the everyday set's split by the sentences' sources to
# OUT_DIR/wer-sources.txt. Run from the repository root after `make build`.
set -e
M=$1
D=${2:-/work/train-data}
N=${3:-200}
O=${4:-$D/eval}
R=$(pwd)
B=$R/build
PY=/usr/bin/python3
T=$R/engine/train
export OPENBLAS_NUM_THREADS=1
mkdir -p "$O"
: > "$O/speed.txt"
jobs=""
score() { # label wav-dir set: one recogniser run in the background
  $PY "$T/wer.py" "$D/slt" "$1" "$2" --prefix "$3" --first "$N" --out "$O" > "$O/$1.line" &
  jobs="$jobs $1"
}
for set in e t; do
  case $set in e) txt=$D/test-everyday.txt ;; t) txt=$D/test.txt ;; esac
  lines=$O/$set.tsv
  head -"$N" "$txt" | nl -v0 -nrz -w5 | sed "s/^/$set/" > "$lines"
  if [ ! -d "$D/espeak-$set" ]; then
    mkdir -p "$D/espeak-$set"
    while IFS="$(printf '\t')" read -r u t; do espeak-ng -w "$D/espeak-$set/$u.wav" "$t"; done < "$lines"
  fi
  for v in voice_1688:female voice_2500:male; do
    name=${v%%:*}
    g=${v##*:}
    rm -rf "$O/engine-$g-$set" && mkdir -p "$O/engine-$g-$set"
    "$B/bin/tovan-saylines" --threads 4 --voice "$name" "$M" "$O/engine-$g-$set" < "$lines" | tail -1 |
      sed "s/^/engine $g $set: /" >> "$O/speed.txt"
  done
done
for set in e t; do
  score "engine-female-$set" "$O/engine-female-$set" $set
  score "engine-male-$set" "$O/engine-male-$set" $set
  score "festival-slt-$set" "$D/slt/wav24" $set
  score "flite-rms-$set" "$D/rms/wav24" $set
  score "espeak-$set" "$D/espeak-$set" $set
done
wait
for j in $jobs; do cat "$O/$j.line"; done > "$O/wer.txt"
$PY "$T/wer_sources.py" "$O" "$D/test-everyday.txt" > "$O/wer-sources.txt"
cat "$O/speed.txt" "$O/wer.txt" "$O/wer-sources.txt"
