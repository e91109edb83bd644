#!/usr/bin/python3
"""Checks that the torch networks compute what the engine computes.

    check_nets.py BUILD_DIR [MODEL_DIR]

1. Reference: a seeded default-size model written by tovan-mkmodel is loaded
   into the torch networks and run beside the float64 numpy reference of the
   golden tests (engine/tests/data/reference/make-golden.py) on the same
   symbols and mel: durations must agree exactly, mel and samples closely.
2. Export: the torch networks of MODEL_DIR (default: that seeded model) are
   exported again with export_model, the engine runs the export through
   BUILD_DIR/bin/tovan-netrun, and its mel, durations and samples are
   compared with torch's.
Prints the largest differences and exits non-zero when one is too large.
"""
import importlib.util
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
import torch

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import tovan_nets as tn  # noqa: E402

IDS = [1, 54, 19, 1, 2, 62, 31, 50, 44, 1, 3]  # "<sp> HH AH1 <sp> , ..."


def reference_module():
    path = os.path.join(HERE, "..", "tests", "data", "reference", "make-golden.py")
    spec = importlib.util.spec_from_file_location("make_golden", path)
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


def worst(a, b):
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    if a.shape != b.shape:
        return float("inf")
    return float(np.abs(a - b).max()) if a.size else 0.0


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    torch.set_num_threads(2)
    ok = True
    with tempfile.TemporaryDirectory() as tmp:
        seeded = os.path.join(tmp, "seeded")
        subprocess.run([os.path.join(build, "bin", "tovan-mkmodel"), "--size", "default", seeded], check=True)
        model_dir = sys.argv[2] if len(sys.argv) > 2 else seeded
        rng = np.random.default_rng(3)
        mel_in = (rng.standard_normal((40, 100)) - 4.0).astype(np.float32)

        # 1. torch against the numpy reference, on the seeded weights
        ref = reference_module()
        ac, voc = tn.load_model_dir(seeded)
        with torch.no_grad():
            mel_t, r_t = ac.infer(IDS)
            g_t = ac.condition(1)[0].numpy()
            audio_t = voc(torch.tensor(mel_in)[None])[0].numpy()
        cfg = json.load(open(os.path.join(seeded, "config.json")))
        A = ref.read_safetensors(os.path.join(seeded, "acoustic.safetensors"))
        V = ref.read_safetensors(os.path.join(seeded, "vocoder.safetensors"))
        voices = ref.read_safetensors(os.path.join(seeded, "voices.safetensors"))["s"]
        rac = ref.Acoustic(A, cfg["acoustic"]["arch"])
        g_r = rac.condition(voices[0], 0, np.zeros(12), np.zeros(12))
        ids = np.array(IDS, dtype=np.int32)
        mel_r, r_r = rac.infer(ids, -np.ones(len(ids), dtype=np.int32), g_r.astype(np.float32).astype(np.float64),
                               None, np.zeros((0, 3)), 1.0, 1.0)
        audio_r = ref.vocoder(V, cfg["vocoder"], mel_in.astype(np.float64))
        e = (worst(g_t, g_r), worst(mel_t, mel_r), worst(audio_t, audio_r))
        same_d = list(r_t.numpy()) == list(r_r)
        print("torch vs reference: durations %s, g %.2e, mel %.2e, audio %.2e" % (
            "equal" if same_d else "DIFFER", *e))
        ok = ok and same_d and e[0] < 1e-4 and e[1] < 1e-2 and e[2] < 1e-3

        # 2. export, the engine on the export, torch on the same weights
        ac, voc = tn.load_model_dir(model_dir)
        out_dir = os.path.join(tmp, "export")
        for quant in ("fp32", "int8"):
            tn.export_model(ac, voc, out_dir, quant)
            ac_q, voc_q = tn.load_model_dir(out_dir)  # torch with the exported (dequantised) values
            with torch.no_grad():
                mel_t, r_t = ac_q.infer(IDS)
                audio_t = voc_q(torch.tensor(mel_in)[None])[0].numpy()
            inp, outp = os.path.join(tmp, "in.safetensors"), os.path.join(tmp, "out.safetensors")
            tn._write(inp, [("ids", np.array(IDS, dtype=np.float32)), ("mel", mel_in)], None)
            subprocess.run([os.path.join(build, "bin", "tovan-netrun"), out_dir, inp, outp], check=True)
            got = tn.load_safetensors(outp)
            same_d = list(got["durs"].astype(int)) == list(r_t.numpy())
            e = (worst(got["mel"], mel_t) if same_d else float("inf"), worst(got["audio"], audio_t))
            print("engine vs torch (%s export): durations %s, mel %.2e, audio %.2e" % (
                quant, "equal" if same_d else "DIFFER", *e))
            ok = ok and same_d and e[0] < 1e-2 and e[1] < 1e-3
    print("OK" if ok else "MISMATCH")
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
