#!/usr/bin/env python3
"""Writes the large painted-looking PSD documents the whole-file benchmark
decodes: SIZE × SIZE pixels, LAYERS RGBA layers covering the canvas, 8 bits,
one document per layer compression (RLE, ZIP, ZIP with prediction).

usage: make_documents.py OUTDIR [--size 2048] [--layers 16]
Writes OUTDIR/painted_<size>_<layers>_{rle,zip,zippred}.psd unless they exist.
The files are large and reproducible: keep them out of the repository.
Needs Debian's python3-psd-tools and python3-numpy (run with /usr/bin/python3).
"""
import argparse
import logging
import os
import sys
import time
import warnings
import zlib

import numpy as np
from psd_tools.constants import ChannelID, Compression
from psd_tools.psd import PSD
from psd_tools.psd.header import FileHeader
from psd_tools.psd.image_data import ImageData
from psd_tools.psd.layer_and_mask import (ChannelData, ChannelDataList, ChannelImageData, ChannelInfo,
                                          LayerAndMaskInformation, LayerInfo, LayerRecord, LayerRecords)

logging.disable(logging.CRITICAL)
warnings.simplefilter('ignore')


def smooth_field(rng, size, cells):
    """Low-frequency noise: a coarse random grid, bilinearly upsampled."""
    grid = rng.random((cells + 1, cells + 1))
    t = np.linspace(0, cells, size, endpoint=False)
    i = t.astype(int)
    f = t - i
    rows = grid[i] * (1 - f)[:, None] + grid[i + 1] * f[:, None]
    return rows[:, i] * (1 - f)[None, :] + rows[:, i + 1] * f[None, :]


def painted_layer(rng, size):
    """Four 8-bit planes (R, G, B, A) that look painted: soft colour fields,
    strokes of flat colour, brush grain, and an alpha of soft-edged blobs."""
    yy, xx = np.mgrid[0:size, 0:size].astype(np.float32) / size
    planes = []
    for _ in range(3):
        field = 0.6 * smooth_field(rng, size, 6) + 0.4 * smooth_field(rng, size, 24)
        planes.append(field)
    for _ in range(30):  # strokes: thick bands of one colour along a sine path
        cx, cy, r = rng.random(), rng.random(), 0.01 + 0.03 * rng.random()
        length, angle = 0.1 + 0.3 * rng.random(), rng.random() * np.pi
        ux, uy = np.cos(angle), np.sin(angle)
        along = (xx - cx) * ux + (yy - cy) * uy
        across = -(xx - cx) * uy + (yy - cy) * ux - 0.02 * np.sin(along * 40)
        mask = (np.abs(across) < r) & (np.abs(along) < length)
        colour = rng.random(3)
        for c in range(3):
            planes[c][mask] = colour[c]
    grain = rng.random((size, size)) < 0.3
    out = []
    for c in range(3):
        p = np.clip(planes[c] * 255 + grain * rng.integers(-2, 3, (size, size)), 0, 255)
        out.append(p.astype(np.uint8))
    alpha = np.zeros((size, size), np.float32)
    for _ in range(6):
        cx, cy, r = rng.random(), rng.random(), 0.1 + 0.25 * rng.random()
        d = np.sqrt((xx - cx) ** 2 + (yy - cy) ** 2) / r
        alpha = np.maximum(alpha, np.clip((1.2 - d) * 4, 0, 1))
    out.append((alpha * 255).astype(np.uint8))
    return out


def encode(plane, code, size):
    if code == Compression.ZIP_WITH_PREDICTION:
        # The delta step in numpy (psd-tools' own encoder loops per sample).
        delta = plane.copy()
        delta[:, 1:] = (plane[:, 1:].astype(np.int16) - plane[:, :-1]).astype(np.uint8)
        return ChannelData(code, zlib.compress(delta.tobytes()))
    channel = ChannelData(code)
    channel.set_data(plane.tobytes(), size, size, 8)
    return channel


def write_document(path, layers, code, size):
    records, data = [], []
    for index, planes in enumerate(layers):
        ids = [ChannelID.CHANNEL_0, ChannelID.CHANNEL_1, ChannelID.CHANNEL_2, ChannelID.TRANSPARENCY_MASK]
        channels = [encode(p, code, size) for p in planes]
        records.append(LayerRecord(top=0, left=0, bottom=size, right=size, name='Layer %d' % (index + 1),
                                   channel_info=[ChannelInfo(id=i, length=0) for i in ids]))
        data.append(ChannelDataList(channels))
    header = FileHeader(channels=3, height=size, width=size, depth=8)
    info = LayerInfo(layer_count=len(records), layer_records=LayerRecords(records),
                     channel_image_data=ChannelImageData(data))
    merged = ImageData(compression=Compression.RAW)  # every reader takes raw merged data
    merged.set_data([layers[-1][c].tobytes() for c in range(3)], header)
    psd = PSD(header=header, layer_and_mask_information=LayerAndMaskInformation(layer_info=info),
              image_data=merged)
    temporary = path + '.part'
    with open(temporary, 'wb') as f:
        psd.write(f)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('outdir')
    parser.add_argument('--size', type=int, default=2048)
    parser.add_argument('--layers', type=int, default=16)
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    kinds = [('rle', Compression.RLE), ('zip', Compression.ZIP), ('zippred', Compression.ZIP_WITH_PREDICTION)]
    paths = {k: os.path.join(args.outdir, 'painted_%d_%d_%s.psd' % (args.size, args.layers, k)) for k, _ in kinds}
    if all(os.path.exists(p) for p in paths.values()):
        return
    rng = np.random.default_rng(2048)
    start = time.time()
    layers = [painted_layer(rng, args.size) for _ in range(args.layers)]
    print('painted %d layers in %.1f s' % (args.layers, time.time() - start), file=sys.stderr)
    for kind, code in kinds:
        if os.path.exists(paths[kind]):
            continue
        start = time.time()
        write_document(paths[kind], layers, code, args.size)
        print('wrote %s in %.1f s' % (paths[kind], time.time() - start), file=sys.stderr)


if __name__ == '__main__':
    main()
