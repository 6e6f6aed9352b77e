#!/usr/bin/env python3
"""Merged images for the merged image reader's tests: documents written by
psd-tools with their image data in every compression at 8, 16 and 32 bits, and
psd-tools' decode of the merged image of each readable corpus file.

usage: psdtools_merged.py OUTDIR [CORPUS_DIR]
Writes OUTDIR/<name>.psd (generated documents), OUTDIR/<name>.ch<k> (psd-tools'
planes in native byte order) and OUTDIR/index.json with, per document, its path,
size, depth and channel count. Exits 77 when psd-tools or numpy is missing.
"""
import io
import json
import logging
import os
import sys
import warnings

logging.disable(logging.CRITICAL)
warnings.simplefilter('ignore')

try:
    import numpy as np
    from psd_tools.constants import Compression
    from psd_tools.psd import PSD
    from psd_tools.psd.header import FileHeader
    from psd_tools.psd.image_data import ImageData
except ImportError:
    sys.exit(77)


def native(big_endian_bytes, depth):
    if depth == 8:
        return big_endian_bytes
    kind = {16: '>u2', 32: '>u4'}[depth]
    values = np.frombuffer(big_endian_bytes, dtype=kind)
    return values.astype(values.dtype.newbyteorder('<')).tobytes()


def write_planes(out, name, psd, entry):
    header = psd.header
    planes = psd.image_data.get_data(header)
    for k, plane in enumerate(planes):
        with open(os.path.join(out, '%s.ch%d' % (name, k)), 'wb') as f:
            f.write(native(plane, header.depth))
    entry.update({'name': name, 'width': header.width, 'height': header.height,
                  'depth': header.depth, 'channels': header.channels,
                  'compression': int(psd.image_data.compression)})
    return entry


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rng = np.random.default_rng(9)
    index = []
    width, height, channels = 37, 6, 3
    y, x = np.mgrid[0:height * channels, 0:width]
    smooth = np.clip((np.sin(x / 4.0 + y / 2.0) + 1) / 2 + rng.normal(0, 0.02, x.shape), 0, 1)
    for depth in (8, 16, 32):
        kind = {8: '>u1', 16: '>u2', 32: '>f4'}[depth]
        scale = {8: 255, 16: 65535, 32: 1}[depth]
        samples = (smooth * scale).astype(kind).tobytes()
        plane = len(samples) // channels
        for code in (0, 1, 2, 3):
            header = FileHeader(channels=channels, height=height, width=width, depth=depth)
            image_data = ImageData(compression=Compression(code))
            image_data.set_data([samples[k * plane:(k + 1) * plane] for k in range(channels)], header)
            psd = PSD(header=header, image_data=image_data)
            name = 'merged_c%d_d%d' % (code, depth)
            path = os.path.join(out, name + '.psd')
            with open(path, 'wb') as f:
                psd.write(f)
            index.append(write_planes(out, name, psd, {'path': path}))
    if len(sys.argv) > 2:
        corpus = sys.argv[2]
        for file in sorted(os.listdir(corpus)):
            if not file.endswith('.psd'):
                continue
            path = os.path.join(corpus, file)
            try:
                with open(path, 'rb') as f:
                    psd = PSD.read(io.BytesIO(f.read()))
                if psd.header.version != 1 or psd.header.depth not in (8, 16, 32):
                    continue
                index.append(write_planes(out, 'corpus_' + file[:-4], psd, {'path': path}))
            except Exception:  # noqa: BLE001 - files psd-tools cannot read have no reference
                continue
    with open(os.path.join(out, 'index.json'), 'w') as f:
        json.dump(index, f, indent=1)


if __name__ == '__main__':
    main()
