#!/usr/bin/python3
"""Golden vectors for the engine's seeded normal noise.

An independent reference of the PyTorch CPU generator's float32
standard-normal draw after a manual seed, written from the published
algorithms:
  - MT19937 (Matsumoto and Nishimura): seeding, regeneration, tempering;
  - uniform float (w & 0xFFFFFF) 2^-24 and uniform double
    ((a & 0x1FFFFF) 2^32 + b) 2^-53;
  - below 16 values the double-precision Box-Muller pair (cosine, then sine);
  - from 16 values the 16-value block transform in float with the Cephes
    single-precision log, sine and cosine as an 8-lane FMA kernel computes
    them, then a last block redrawn over the final 16 values.
Fused multiply-adds are evaluated exactly (rational arithmetic) and rounded
once to float32, so nothing depends on the machine running the script.

    make-randn.py OUT.txt

Each output line is "seed n" followed by the n values as 8-digit hex bit
patterns of the floats.
"""
import math
import struct
import sys
from fractions import Fraction

import numpy as np

f32 = np.float32

# ---------------------------------------------------------------------------
# MT19937


class MT:
    def __init__(self, seed):
        s = [seed & 0xFFFFFFFF]
        for i in range(1, 624):
            p = s[-1]
            s.append((1812433253 * (p ^ (p >> 30)) + i) & 0xFFFFFFFF)
        self.s, self.pos = s, 624

    def next(self):
        if self.pos >= 624:
            s = self.s
            for i in range(624):
                y = (s[i] & 0x80000000) | (s[(i + 1) % 624] & 0x7FFFFFFF)
                s[i] = s[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
            self.pos = 0
        y = self.s[self.pos]
        self.pos += 1
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        y ^= y >> 18
        return y

    def ufloat(self):
        return f32((self.next() & 0xFFFFFF) * 2.0 ** -24)

    def udouble(self):
        a = self.next()
        b = self.next()
        return (((a & 0x1FFFFF) << 32) | b) * 2.0 ** -53


# ---------------------------------------------------------------------------
# float32 helpers


def bits(x):
    return struct.unpack("<I", struct.pack("<f", float(x)))[0]


def from_bits(u):
    return f32(struct.unpack("<f", struct.pack("<I", u & 0xFFFFFFFF))[0])


def round_f32(q):
    """Nearest float32 (ties to even) of a nonzero rational q."""
    neg = q < 0
    a = -q if neg else q
    e = a.numerator.bit_length() - a.denominator.bit_length()
    if Fraction(2) ** e > a:
        e -= 1
    # now 2^e <= a < 2^(e+1)
    e = max(e, -126)
    scaled = a * Fraction(2) ** (23 - e)
    m = scaled.numerator // scaled.denominator
    rest = scaled - m
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and m % 2 == 1):
        m += 1
    v = f32(m * 2.0 ** (e - 23))
    return -v if neg else v


def fma(a, b, c):
    a, b, c = f32(a), f32(b), f32(c)
    exact = Fraction(float(a)) * Fraction(float(b)) + Fraction(float(c))
    if exact == 0:
        # Signed zero as IEEE 754 gives it: -0 only when both parts are -0.
        prod_neg = (math.copysign(1.0, float(a)) * math.copysign(1.0, float(b))) < 0
        if float(a) * float(b) == 0 and float(c) == 0 and prod_neg and math.copysign(1.0, float(c)) < 0:
            return f32(-0.0)
        return f32(0.0)
    return round_f32(exact)


# ---------------------------------------------------------------------------
# the block transform


def cephes_log(x):
    x = max(x, f32(1.1754944e-38))
    u = bits(x)
    e = f32((u >> 23) - 0x7F) + f32(1.0)
    m = from_bits((u & ~0x7F800000) | 0x3F000000)
    if m < f32(0.70710677):
        e = e - f32(1.0)
        m = (m - f32(1.0)) + m
    else:
        m = m - f32(1.0)
    p = f32(0.070376836)
    for c in (-0.1151461, 0.116769984, -0.12420141, 0.14249323, -0.16668057, 0.20000714, -0.24999994,
              0.3333333):
        p = fma(p, m, f32(c))
    z = m * m
    y = fma(p * m, z, e * f32(-2.12194440e-4))
    y = fma(z, f32(-0.5), y)
    x = y + m
    return fma(e, f32(0.693359375), x)


def cephes_sincos(theta):
    j = int(theta * f32(1.2732395))  # theta >= 0: truncation
    j = (j + 1) & ~1
    y = f32(j)
    x = fma(y, f32(-0.78515625), theta)
    x = fma(y, f32(-2.4187565e-4), x)
    x = fma(y, f32(-3.774895e-8), x)
    z = x * x
    c = fma(fma(z, f32(2.4433157e-5), f32(-1.3887316e-3)), z, f32(4.1666646e-2))
    c = fma(c * z, z, z * f32(-0.5)) + f32(1.0)
    t = fma(fma(z, f32(-1.9515296e-4), f32(8.332161e-3)), z, f32(-1.6666655e-1))
    t = fma(t * z, x, x)
    # Masked select: the chosen value plus +0.
    if j & 2 == 0:
        cos, sin = c + f32(0.0), t + f32(0.0)
    else:
        cos, sin = t + f32(0.0), c + f32(0.0)
    if j & 4:
        sin = -sin
    if j % 8 in (2, 4):
        cos = -cos
    return sin, cos


def block16(d):
    for j in range(8):
        u1 = f32(1.0) - d[j]
        u2 = d[j + 8]
        radius = np.sqrt(f32(-2.0) * cephes_log(u1))
        theta = f32(6.2831855) * u2
        s, c = cephes_sincos(theta)
        # times the deviation 1, plus the mean 0, in one fused step
        d[j] = fma(radius * c, f32(1.0), f32(0.0))
        d[j + 8] = fma(radius * s, f32(1.0), f32(0.0))


def randn(seed, n):
    mt = MT(seed)
    if n == 0:
        return []
    if n < 16:
        out = []
        while len(out) < n:
            u1 = mt.udouble()
            u2 = mt.udouble()
            r = math.sqrt(-2.0 * math.log1p(-u2))
            theta = 2.0 * math.pi * u1
            out.append(f32(r * math.cos(theta) * 1.0 + 0.0))
            out.append(f32(r * math.sin(theta) * 1.0 + 0.0))
        return out[:n]
    d = [mt.ufloat() for _ in range(n)]
    for i in range(0, n - 15, 16):
        blk = d[i:i + 16]
        block16(blk)
        d[i:i + 16] = blk
    if n % 16:
        blk = [mt.ufloat() for _ in range(16)]
        block16(blk)
        d[n - 16:] = blk
    return d


SEEDS = [0, 1, 42, 20240607, 0xFFFFFFFF]
LENGTHS = [1, 2, 3, 7, 15, 16, 17, 18, 31, 32, 33, 47, 64, 100, 257]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "w") as f:
        for seed in SEEDS:
            for n in LENGTHS:
                vals = randn(seed, n)
                f.write("%d %d %s\n" % (seed, n, " ".join("%08x" % bits(v) for v in vals)))


if __name__ == "__main__":
    main()
