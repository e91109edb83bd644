#!/usr/bin/python3
"""Checks randn.txt against the generator it reproduces, Debian's python3-torch.

    /usr/bin/python3 check-randn-torch.py randn.txt

Prints the number of vectors compared and exits 1 on any differing bit.
"""
import struct
import sys

import torch

bad = lines = 0
for line in open(sys.argv[1]):
    f = line.split()
    if not f or f[0].startswith('#'):
        continue
    seed, n, want = int(f[0]), int(f[1]), [v.lower() for v in f[2:]]
    torch.manual_seed(seed)
    got = [struct.pack('>f', x).hex() for x in torch.randn(n, dtype=torch.float32).tolist()]
    lines += 1
    if got != want:
        bad += 1
        print(f"seed {seed} n {n}: {sum(a != b for a, b in zip(got, want))} values differ")
print(f"torch {torch.__version__}: {lines} vectors, {bad} differing")
sys.exit(1 if bad else 0)
