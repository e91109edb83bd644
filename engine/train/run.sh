#!/bin/sh
# The whole training pipeline, resumable: every step skips what is done.
#
#   engine/train/run.sh [DATA_DIR] [MINUTES] [UTTERANCES]
#
# DATA_DIR (default /work/train-data) holds audio, features and checkpoints;
# MINUTES (default 60) is the training time of this run: four fifths for the
# acoustic model, then the rest for the vocoder, fine-tuned on the acoustic
# model's own mels beside the recorded ones; UTTERANCES (default 3500)
# is how many training sentences each teacher reads (the female teacher the
# even lines of train.txt, the male the odd ones). Both networks start from
# their checkpoints in DATA_DIR/ckpt, else from the committed weights in
# engine/models/dev. Run from the repository root after `make build`, with
# the machine to itself: torch takes all 8 cores. Ends with an int8 export
# in DATA_DIR/model, the engine check and the held-out figures.
set -e
D=${1:-/work/train-data}
MIN=${2:-60}
N=${3:-3500}
R=$(pwd)
B=$R/build
PY=/usr/bin/python3
T=$R/engine/train
# torch's own threads only: OpenBLAS threads on top of them stall each step.
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=8
mkdir -p "$D"
scripts/setup-train
[ -f "$D/test-everyday.txt" ] || cp "$T/texts/train.txt" "$T/texts/test.txt" "$T/texts/test-everyday.txt" "$D/"
$PY "$T/synth_festival.py" "$D/train.txt" "$D/slt" --every 2 --offset 0 --first "$N" --jobs 8
$PY "$T/synth_flite.py" "$D/train.txt" "$D/rms" --every 2 --offset 1 --first "$N" --jobs 8
for s in t e; do
  case $s in t) txt=$D/test.txt ;; e) txt=$D/test-everyday.txt ;; esac
  $PY "$T/synth_festival.py" "$txt" "$D/slt" --prefix $s --jobs 8
  $PY "$T/synth_flite.py" "$txt" "$D/rms" --prefix $s --jobs 8
done
[ -f "$D/feats.pt" ] || $PY "$T/prep_corpus.py" "$D" "$B" "$B/engine/models/dev"
(cd "$D" && $PY "$T/train_acoustic.py" . --minutes "$(($MIN * 4 / 5))" --init "$R/engine/models/dev")
$PY "$T/predict_mels.py" "$D"
(cd "$D" && $PY "$T/train_vocoder.py" . --minutes "$(($MIN - $MIN * 4 / 5))" --init "$R/engine/models/dev" --pred)
$PY "$T/export.py" "$D" "$D/model" --quant int8
rm -rf "$D/model/native" && cp -r "$B/engine/models/dev/native" "$D/model/"
$PY "$T/check_nets.py" "$B" "$D/model"
sh "$T/eval_voice.sh" "$D/model" "$D"
$PY "$T/check_controls.py" "$B" "$D/model" || true
