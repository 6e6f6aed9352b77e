#!/usr/bin/env python3
"""Writes channel data encoded by psd-tools, in every compression at 8, 16 and
32 bits, with the plane psd-tools decodes from it, for the channel reader tests.

usage: psdtools_channels.py OUTDIR
Writes OUTDIR/c<code>_d<depth>.bin (the 2-byte code, then the encoded data),
OUTDIR/c<code>_d<depth>.plane (psd-tools' decode in native byte order) and
OUTDIR/index.json; and one layered document per depth, OUTDIR/layers_d<depth>.psd,
whose layer k stores every channel (and, on the last layer, a layer mask) with
compression k, with psd-tools' planes as OUTDIR/layers_d<depth>_l<k>_c<i>.plane
listed in OUTDIR/layers.json. Exits 77 when psd-tools or numpy is missing.
"""
import json
import os
import sys

try:
    import numpy as np
    from psd_tools.constants import ChannelID, Compression
    from psd_tools.psd import PSD
    from psd_tools.psd.header import FileHeader
    from psd_tools.psd.layer_and_mask import (ChannelData, ChannelDataList, ChannelImageData, ChannelInfo,
                                              LayerAndMaskInformation, LayerInfo, LayerRecord, LayerRecords,
                                              MaskData)
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
    layered = []
    for depth in (8, 16, 32):
        layered += write_layered(out, depth, rng)
    with open(os.path.join(out, 'layers.json'), 'w') as f:
        json.dump(layered, f)


def write_layered(out, depth, rng):
    """Four layers, layer k with compression k; the last one has a layer mask."""
    name = 'layers_d%d' % depth
    records, data, planes = [], [], []
    for code in (0, 1, 2, 3):
        top, left = 3 * code, 5 * code - 4  # the first layer starts left of the canvas
        rect = (top, left, top + HEIGHT, left + WIDTH)
        ids = [ChannelID.TRANSPARENCY_MASK, ChannelID.CHANNEL_0, ChannelID.CHANNEL_1, ChannelID.CHANNEL_2]
        sizes = [(WIDTH, HEIGHT)] * 4
        mask = None
        if code == 3:
            ids.append(ChannelID.USER_LAYER_MASK)
            sizes.append((9, 5))
            mask = MaskData(top=1, left=2, bottom=6, right=11, background_color=255)
        channels = []
        for i, (w, h) in enumerate(sizes):
            samples_be = samples(depth, rng)[:h, :w].copy().tobytes()
            channel = ChannelData(Compression(code))
            channel.set_data(samples_be, w, h, depth)
            channels.append(channel)
            plane = '%s_l%d_c%d.plane' % (name, code, i)
            with open(os.path.join(out, plane), 'wb') as f:
                f.write(native(channel.get_data(w, h, depth), depth))
            planes.append({'document': name + '.psd', 'layer': code, 'channel': i, 'id': int(ids[i]),
                           'plane': plane})
        records.append(LayerRecord(top=rect[0], left=rect[1], bottom=rect[2], right=rect[3],
                                   name='compression %d' % code, mask_data=mask,
                                   channel_info=[ChannelInfo(id=i, length=0) for i in ids]))
        data.append(ChannelDataList(channels))
    header = FileHeader(channels=3, height=20, width=30, depth=depth)
    info = LayerInfo(layer_count=len(records), layer_records=LayerRecords(records),
                     channel_image_data=ChannelImageData(data))
    psd = PSD(header=header, layer_and_mask_information=LayerAndMaskInformation(layer_info=info))
    with open(os.path.join(out, name + '.psd'), 'wb') as f:
        psd.write(f)
    return planes


if __name__ == '__main__':
    main()
