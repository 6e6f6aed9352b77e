#!/usr/bin/env python3
"""Writes channel data encoded by psd-tools, in every compression at 8, 16 and
32 bits, with the plane psd-tools decodes from it, for the channel reader tests.

usage: psdtools_channels.py OUTDIR
Writes OUTDIR/c<code>_d<depth>.bin (the 2-byte code, then the encoded data),
OUTDIR/c<code>_d<depth>.plane (psd-tools' decode in native byte order) and
OUTDIR/index.json. Exits 77 when psd-tools or numpy is missing.
"""
import json
import os
import sys

try:
    import numpy as np
    from psd_tools.constants import Compression
    from psd_tools.psd.layer_and_mask import ChannelData
except ImportError:
    sys.exit(77)

WIDTH, HEIGHT = 45, 7  # odd sizes: vector blocks and their tails


def samples(depth, rng):
    """Smooth strokes with noise and flat runs, as painted channels look."""
    y, x = np.mgrid[0:HEIGHT, 0:WIDTH]
    base = (np.sin(x / 5.0 + y / 3.0) + 1) / 2
    base[:, 30:38] = 0.25  # a flat stretch for runs
    base = np.clip(base + rng.normal(0, 0.02, base.shape), 0, 1)
    if depth == 8:
        return (base * 255).astype('>u1')
    if depth == 16:
        return (base * 65535).astype('>u2')
    return base.astype('>f4')


def native(big_endian_bytes, depth):
    if depth == 8:
        return big_endian_bytes
    kind = {16: '>u2', 32: '>u4'}[depth]
    values = np.frombuffer(big_endian_bytes, dtype=kind)
    return values.astype(values.dtype.newbyteorder('<')).tobytes()


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(5)
    index = []
    for depth in (8, 16, 32):
        data = samples(depth, rng).tobytes()
        for code in (0, 1, 2, 3):
            channel = ChannelData(Compression(code))
            channel.set_data(data, WIDTH, HEIGHT, depth)
            decoded = channel.get_data(WIDTH, HEIGHT, depth)
            name = 'c%d_d%d' % (code, depth)
            with open(os.path.join(out, name + '.bin'), 'wb') as f:
                f.write(code.to_bytes(2, 'big') + channel.data)
            with open(os.path.join(out, name + '.plane'), 'wb') as f:
                f.write(native(decoded, depth))
            index.append({'name': name, 'code': code, 'depth': depth, 'width': WIDTH, 'height': HEIGHT})
    with open(os.path.join(out, 'index.json'), 'w') as f:
        json.dump(index, f)


if __name__ == '__main__':
    main()
