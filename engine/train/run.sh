#!/bin/sh
# The whole training pipeline, resumable: every step skips what is done.
#
#   engine/train/run.sh [DATA_DIR] [MINUTES]
#
# DATA_DIR (default /work/train-data) holds audio, features and checkpoints;
# MINUTES (default 60) is the training time of this run: four fifths for the
# acoustic model, then the rest for the vocoder, one after the other on 3
# threads (the vocoder on true mels is already close to Festival's own
# intelligibility; the acoustic model is what needs the time). Run from the
# repository root after `make build`. Ends with an int8 export in
# DATA_DIR/model, the engine check, and the held-out WER of the engine next
# to Festival's and espeak-ng's.
set -e
D=${1:-/work/train-data}
MIN=${2:-60}
R=$(pwd)
B=$R/build
PY=/usr/bin/python3
T=$R/engine/train
# torch's own threads only: OpenBLAS threads on top of them stall each
# step on a loaded machine.
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=3
NICE="nice -n 10"
mkdir -p "$D"
scripts/setup-train
[ -f "$D/train.txt" ] || cp "$T/texts/train.txt" "$T/texts/test.txt" "$D/"
(cd "$D" && $NICE $PY "$T/synth_festival.py" train.txt . --first 1600)
(cd "$D" && $NICE $PY "$T/synth_festival.py" test.txt . --prefix t)
if [ ! -f "$D/feats.pt" ]; then
  (cd "$D" && $NICE $PY "$T/prep_data.py" .)
  $NICE $PY "$T/align_front.py" "$D" "$B" "$B/engine/models/dev"
fi
if [ ! -f "$D/feats-test.pt" ]; then
  (cd "$D" && $NICE $PY "$T/prep_data.py" . --prefix t --out feats-test.pt)
  $NICE $PY "$T/align_front.py" "$D" "$B" "$B/engine/models/dev" --feats feats-test.pt --texts test.txt
fi
(cd "$D" && $NICE $PY "$T/train_acoustic.py" . --minutes "$(($MIN * 4 / 5))" --threads 3)
(cd "$D" && $NICE $PY "$T/train_vocoder.py" . --minutes "$(($MIN - $MIN * 4 / 5))" --threads 3)
$NICE $PY "$T/export.py" "$D" "$D/model" --quant int8
rm -rf "$D/model/native" && cp -r "$B/engine/models/dev/native" "$D/model/"
$NICE $PY "$T/check_nets.py" "$B" "$D/model"
if [ ! -d "$D/espeak" ]; then
  mkdir -p "$D/espeak"
  head -100 "$D/test.txt" | nl -v0 -nrz -w5 | while IFS="$(printf '\t')" read -r i t; do
    espeak-ng -w "$D/espeak/t$i.wav" "$t"
  done
fi
rm -rf "$D/engine" && mkdir -p "$D/engine"
head -100 "$D/test.txt" | nl -v0 -nrz -w5 | sed 's/^/t/' | $NICE "$B/bin/tovan-saylines" --threads 4 "$D/model" "$D/engine" | tail -1
for s in engine festival espeak; do
  case $s in engine) w=$D/engine ;; festival) w=$D/wav24 ;; espeak) w=$D/espeak ;; esac
  $NICE $PY "$T/wer.py" "$D" $s "$w" --first 100
done
