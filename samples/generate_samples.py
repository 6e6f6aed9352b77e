#!/usr/bin/python3
"""Writes the bundled sample documents: samples/landscape.psd (8 bits per
channel) and samples/landscape_16bit.psd (the same scene at 16 bits).

Everything is drawn procedurally with fixed seeds, so a rerun gives the same
bytes. The files are assembled from psd-tools' low-level records and written
by its own writer, so their layout does not depend on our reader's view of
the format.

Run:  /usr/bin/python3 samples/generate_samples.py [OUTPUT_FOLDER]
"""

import os
import sys

import numpy as np

from psd_tools.constants import (
    BlendMode, ChannelID, ColorMode, Compression, SectionDivider, Tag)
from psd_tools.psd import PSD, FileHeader
from psd_tools.psd.image_data import ImageData
from psd_tools.psd.layer_and_mask import (
    ChannelData, ChannelDataList, ChannelImageData, ChannelInfo,
    GlobalLayerMaskInfo, LayerAndMaskInformation, LayerFlags, LayerInfo,
    LayerRecord, LayerRecords, MaskData, MaskFlags)
from psd_tools.psd.tagged_blocks import TaggedBlocks

W, H = 640, 360
SS = 3  # supersampling factor: shapes get antialiased edges
HERE = os.path.dirname(os.path.abspath(__file__))

# A sample below half a step of 8 bits counts as transparent, so both
# variants agree on which pixels are empty and get the same layer rectangles.
EMPTY = 0.5 / 255


# --------------------------------------------------------------- drawing ---

class Canvas:
    """A supersampled straight-alpha RGBA layer painted with flat shapes."""

    def __init__(self):
        ys, xs = np.mgrid[0:H * SS, 0:W * SS].astype(np.float32)
        self.x = (xs + 0.5) / SS
        self.y = (ys + 0.5) / SS
        self.rgb = np.zeros((H * SS, W * SS, 3), np.float32)
        self.a = np.zeros((H * SS, W * SS), np.float32)

    def paint(self, inside, color, alpha=1.0):
        """Paints colour over the canvas where `inside` holds (a bool mask)."""
        color = np.asarray(color, np.float32)
        src_a = inside.astype(np.float32) * alpha
        out_a = src_a + self.a * (1 - src_a)
        safe = np.where(out_a > 0, out_a, 1)
        for c in range(3):
            src = color[..., c] if color.ndim > 1 else color[c]
            self.rgb[..., c] = ((src * src_a + self.rgb[..., c] * self.a
                                 * (1 - src_a)) / safe)
        self.a = out_a

    def resolve(self):
        """Box-filters down to document size (premultiplied, so edges keep
        their colour) and returns float rgb (H, W, 3) and alpha (H, W)."""
        pre = self.rgb * self.a[..., None]
        pre = pre.reshape(H, SS, W, SS, 3).mean(axis=(1, 3))
        a = self.a.reshape(H, SS, W, SS).mean(axis=(1, 3))
        rgb = pre / np.where(a > 0, a, 1)[..., None]
        a = np.where(a < EMPTY, 0, a)
        return bleed(np.clip(rgb, 0, 1), a), a


def bleed(rgb, a):
    """Gives transparent pixels the colour of the nearest painted pixel on
    their row (or the nearest painted row), so colour planes do not turn
    black at silhouette edges when a viewer filters the texture."""
    h, w = a.shape
    painted = a > 0
    if not painted.any():
        return rgb
    cols = np.arange(w)[None, :].repeat(h, 0)
    left = np.where(painted, cols, -1)
    left = np.maximum.accumulate(left, axis=1)
    right = np.where(painted, cols, w)
    right = np.minimum.accumulate(right[:, ::-1], axis=1)[:, ::-1]
    use_left = (left >= 0) & ((right >= w) | (cols - left <= right - cols))
    src = np.where(use_left, left, np.where(right < w, right, cols))
    out = np.take_along_axis(rgb, src[..., None].repeat(3, 2), axis=1)
    rows_any = painted.any(axis=1)
    idx = np.arange(h)
    near = np.where(rows_any, idx, -1)
    up = np.maximum.accumulate(near)
    down = np.where(rows_any, idx, h)
    down = np.minimum.accumulate(down[::-1])[::-1]
    pick = np.where((up >= 0) & ((down >= h) | (idx - up <= down - idx)),
                    up, down)
    return out[pick]


def mix(c0, c1, t):
    t = np.clip(t, 0, 1)[..., None]
    c0, c1 = np.asarray(c0, np.float32), np.asarray(c1, np.float32)
    return c0 * (1 - t) + c1 * t


def waves(x, rng, base, parts):
    """A ridge line: base plus a few seeded sine waves (amplitude, period)."""
    y = np.full_like(x, base)
    for amp, period in parts:
        y += amp * np.sin(x / period + rng.uniform(0, 2 * np.pi))
    return y


def draw_sky():
    """Full-frame gradient with a low sun and a few flat clouds; opaque."""
    cv = Canvas()
    t = cv.y / H
    top, mid, low = (0.16, 0.27, 0.54), (0.52, 0.60, 0.80), (0.98, 0.80, 0.62)
    col = np.where((t < 0.5)[..., None], mix(top, mid, t / 0.5),
                   mix(mid, low, (t - 0.5) / 0.3))
    d = np.hypot(cv.x - 215, cv.y - 172)
    glow = np.exp(-(d / 60.0) ** 2)[..., None] * 0.22
    col = np.clip(col + glow * np.array([1.0, 0.75, 0.45], np.float32), 0, 1)
    cv.paint(np.ones_like(cv.a, bool), col)
    cv.paint(d < 22, (1.0, 0.94, 0.78))
    rng = np.random.default_rng(11)
    for _ in range(5):
        cx, cy = rng.uniform(40, 600), rng.uniform(40, 130)
        rx, ry = rng.uniform(50, 110), rng.uniform(7, 13)
        for k in range(3):
            ox = (k - 1) * rx * 0.45
            oy = -ry * 0.5 if k == 1 else 0.0
            inside = (((cv.x - cx - ox) / (rx * 0.6)) ** 2
                      + ((cv.y - cy - oy) / ry) ** 2) < 1
            cv.paint(inside, (0.96, 0.86, 0.84), 0.85)
        cv.paint(((cv.x - cx) / rx) ** 2 + ((cv.y - cy - ry * 0.6)
                                             / (ry * 0.45)) ** 2 < 1,
                 (0.82, 0.70, 0.76), 0.8)
    return cv.resolve()


def draw_far_hills():
    """Two hazy ridges; everything above them is transparent."""
    cv = Canvas()
    rng = np.random.default_rng(22)
    ridge1 = waves(cv.x, rng, 182, [(24, 97), (11, 41), (5, 17)])
    ridge2 = waves(cv.x, rng, 226, [(16, 73), (8, 29), (3, 11)])
    body = (cv.y > ridge1) & (cv.y < 318)
    cv.paint(body, mix((0.58, 0.60, 0.76), (0.46, 0.50, 0.68),
                       (cv.y - 160) / 120))
    cv.paint((cv.y > ridge2) & (cv.y < 318),
             mix((0.45, 0.50, 0.66), (0.36, 0.42, 0.58), (cv.y - 200) / 100))
    return cv.resolve()


def draw_near_trees():
    """A dark meadow strip with a row of conifers standing on it."""
    cv = Canvas()
    rng = np.random.default_rng(33)
    ground = waves(cv.x, rng, 304, [(5, 60), (2, 23)])
    cv.paint(cv.y > ground, (0.17, 0.31, 0.19))
    cv.paint((cv.y > ground) & (cv.y < ground + 3), (0.30, 0.45, 0.24))
    greens = [(0.10, 0.25, 0.17), (0.13, 0.30, 0.19), (0.08, 0.21, 0.16),
              (0.16, 0.33, 0.20)]
    xs = np.sort(rng.uniform(-10, 650, 17))
    for tx in xs:
        base = 304 + 5 * np.sin(tx / 60) + rng.uniform(2, 8)
        h = rng.uniform(60, 125)
        half = h * rng.uniform(0.22, 0.3)
        color = greens[rng.integers(len(greens))]
        trunk = ((np.abs(cv.x - tx) < max(2.0, half * 0.12))
                 & (cv.y > base - h * 0.2) & (cv.y < base))
        cv.paint(trunk, (0.25, 0.17, 0.11))
        for k in range(3):  # three stacked tiers
            tier_top = base - h + k * h * 0.25
            tier_bot = base - h * 0.15 - (2 - k) * h * 0.22
            w = half * (0.55 + 0.225 * k)
            frac = (cv.y - tier_top) / max(tier_bot - tier_top, 1)
            cv.paint((frac >= 0) & (frac <= 1)
                     & (np.abs(cv.x - tx) < w * frac), color)
    return cv.resolve()


def draw_figure():
    """A cloaked walker with a staff, lower right of the frame."""
    cv = Canvas()
    cx, feet = 452.0, 344.0
    x, y = cv.x, cv.y
    legs = ((np.abs(x - cx + 6) < 3.2) | (np.abs(x - cx - 6) < 3.2)) \
        & (y > 318) & (y < feet)
    cv.paint(legs, (0.18, 0.15, 0.14))
    shoulder, hem = 238.0, 326.0
    frac = (y - shoulder) / (hem - shoulder)
    half = 13 + 17 * frac
    cloak = (frac >= 0) & (frac <= 1) & (np.abs(x - cx) < half)
    cv.paint(cloak, (0.66, 0.17, 0.12))
    cv.paint(cloak & (x < cx - half * 0.35), (0.52, 0.12, 0.10))
    cv.paint(np.hypot(x - cx, y - 227) < 10.5, (0.87, 0.70, 0.56))
    brim = (np.abs(y - 219) < 2.2) & (np.abs(x - cx) < 17)
    crown = (y > 200) & (y < 219) & (np.abs(x - cx) < 3 + (y - 200) * 0.45)
    cv.paint(brim | crown, (0.22, 0.17, 0.14))
    # staff: a slanted line about three pixels wide
    x0, y0, x1, y1 = cx + 25, 214.0, cx + 33, feet + 1
    t = np.clip(((x - x0) * (x1 - x0) + (y - y0) * (y1 - y0))
                / ((x1 - x0) ** 2 + (y1 - y0) ** 2), 0, 1)
    dist = np.hypot(x - x0 - t * (x1 - x0), y - y0 - t * (y1 - y0))
    cv.paint(dist < 1.6, (0.42, 0.28, 0.15))
    return cv.resolve()


def figure_mask():
    """Mist over the walker's feet: a layer mask whose rectangle covers only
    the lower part of the figure (outside it the default colour 255 shows
    everything), fading from 255 at its top to about 64 at its bottom."""
    top, left, bottom, right = 300, 410, 352, 500
    ramp = np.linspace(1.0, 0.25, bottom - top, dtype=np.float32)
    # a gentle wave so the mist edge is not a ruler-straight line
    xs = np.arange(left, right, dtype=np.float32)
    wave = 0.06 * np.sin(xs / 9.0)[None, :]
    m = np.clip(ramp[:, None] + wave, 0, 1)
    return (top, left, bottom, right), m


def draw_rain():
    """Thin slanted streaks over the whole frame (kept hidden)."""
    cv = Canvas()
    rng = np.random.default_rng(44)
    dx, dy = -0.28, 1.0
    n = np.hypot(dx, dy)
    dx, dy = dx / n, dy / n
    for _ in range(160):
        sx, sy = rng.uniform(0, W + 40), rng.uniform(-20, H)
        length = rng.uniform(12, 26)
        ex, ey = sx + dx * length, sy + dy * length
        x0 = int(max(min(sx, ex) - 2, 0) * SS)
        x1 = int(min(max(sx, ex) + 2, W) * SS)
        y0 = int(max(min(sy, ey) - 2, 0) * SS)
        y1 = int(min(max(sy, ey) + 2, H) * SS)
        if x1 <= x0 or y1 <= y0:
            continue
        px, py = cv.x[y0:y1, x0:x1], cv.y[y0:y1, x0:x1]
        t = np.clip((px - sx) * dx + (py - sy) * dy, 0, length)
        near = np.hypot(px - sx - t * dx, py - sy - t * dy) < 0.6
        full = np.zeros_like(cv.a, bool)
        full[y0:y1, x0:x1] = near
        cv.paint(full, (0.80, 0.85, 0.95), 0.6)
    return cv.resolve()


# ----------------------------------------------------------- the scene ---

# Channel compression per layer, by depth. 8 bits: RLE for most, ZIP for the
# sky and the mask. 16 bits: PackBits finds few runs in two-byte samples, so
# most layers use ZIP with or without prediction, as deep documents usually
# do; the figure keeps RLE so 16-bit RLE is covered too.
RLE, ZIP, ZIP_PRED = Compression.RLE, Compression.ZIP, \
    Compression.ZIP_WITH_PREDICTION
COMPRESSION = {
    'sky': {8: ZIP, 16: ZIP_PRED},
    'far hills': {8: RLE, 16: ZIP_PRED},
    'near trees': {8: RLE, 16: ZIP},
    'figure': {8: RLE, 16: RLE},
    'figure mask': {8: ZIP, 16: ZIP},
    'rain': {8: RLE, 16: ZIP},
}


def scene():
    """The layer stack, bottom-most first, as it is stored in the file."""
    mask_rect, mask = figure_mask()
    layers = [
        dict(name='sky', uname='sky', art=draw_sky(), alpha=False),
        dict(name='far hills', uname='far hills', art=draw_far_hills()),
        dict(name='</Layer group>', uname='</Layer group>',
             section=SectionDivider.BOUNDING_SECTION_DIVIDER),
        dict(name='near trees', uname='near trees', art=draw_near_trees()),
        dict(name='woods', uname='woods \u00b7 for\u00eat',
             section=SectionDivider.OPEN_FOLDER),
        dict(name='figure', uname='figure \u2014 randonn\u00e9e',
             art=draw_figure(), mask=(mask_rect, mask),
             mask_comp=COMPRESSION['figure mask']),
        dict(name='rain', uname='rain', art=draw_rain(), hidden=True),
    ]
    for layer in layers:
        if 'art' in layer:
            layer['comp'] = COMPRESSION[layer['name']]
    return layers


def quantize(f, depth):
    top = (1 << depth) - 1
    dtype = np.uint8 if depth == 8 else np.dtype('>u2')
    return np.rint(np.clip(f, 0, 1) * top).astype(dtype)


def bbox(a):
    rows = np.flatnonzero(a.any(axis=1))
    cols = np.flatnonzero(a.any(axis=0))
    return rows[0], cols[0], rows[-1] + 1, cols[-1] + 1


def channel(plane, comp, depth):
    h, w = plane.shape
    data = ChannelData(compression=comp)
    data.set_data(plane.tobytes(), w, h, depth)
    return data


def build_records(layers, depth):
    records, channels = [], []
    for layer in layers:
        blocks = TaggedBlocks()
        section = layer.get('section')
        if section is not None:
            # folder records and their end markers carry no pixels
            kw = {}
            if section == SectionDivider.OPEN_FOLDER:
                kw = dict(signature=b'8BIM',
                          blend_mode=BlendMode.PASS_THROUGH)
            blocks.set_data(Tag.SECTION_DIVIDER_SETTING, section, **kw)
            blocks.set_data(Tag.UNICODE_LAYER_NAME, layer['uname'])
            ids = [ChannelID.TRANSPARENCY_MASK, ChannelID.CHANNEL_0,
                   ChannelID.CHANNEL_1, ChannelID.CHANNEL_2]
            records.append(LayerRecord(
                channel_info=[ChannelInfo(id=i) for i in ids],
                name=layer['name'], tagged_blocks=blocks))
            channels.append(ChannelDataList(
                [ChannelData(Compression.RAW, b'') for _ in ids]))
            continue

        rgb, a = layer['art']
        q_rgb, q_a = quantize(rgb, depth), quantize(a, depth)
        if layer.get('alpha', True):
            top, left, bottom, right = bbox(a > 0)
        else:
            top, left, bottom, right = 0, 0, H, W
        comp = layer['comp'][depth]
        ids, planes = [], []
        if layer.get('alpha', True):
            ids.append(ChannelID.TRANSPARENCY_MASK)
            planes.append(q_a[top:bottom, left:right])
        for c in range(3):
            ids.append(ChannelID(c))
            planes.append(q_rgb[top:bottom, left:right, c])
        datas = [channel(p, comp, depth) for p in planes]

        mask_data = None
        if 'mask' in layer:
            (mt, ml, mb, mr), m = layer['mask']
            mask_data = MaskData(top=mt, left=ml, bottom=mb, right=mr,
                                 background_color=255, flags=MaskFlags())
            ids.append(ChannelID.USER_LAYER_MASK)
            datas.append(channel(quantize(m, depth), layer['mask_comp'][depth],
                                 depth))

        blocks.set_data(Tag.UNICODE_LAYER_NAME, layer['uname'])
        records.append(LayerRecord(
            top=int(top), left=int(left), bottom=int(bottom),
            right=int(right),
            channel_info=[ChannelInfo(id=i) for i in ids],
            flags=LayerFlags(visible=not layer.get('hidden', False)),
            mask_data=mask_data, name=layer['name'], tagged_blocks=blocks))
        channels.append(ChannelDataList(datas))
    return LayerInfo(layer_count=len(records),
                     layer_records=LayerRecords(records),
                     channel_image_data=ChannelImageData(channels))


def composite(layers, depth):
    """Flattens the visible layers (normal blending, straight alpha, masks
    applied) from the quantized samples, as a viewer would."""
    top = float((1 << depth) - 1)
    out = np.zeros((H, W, 3), np.float64)
    for layer in layers:
        if 'art' not in layer or layer.get('hidden'):
            continue
        rgb, a = layer['art']
        rgb = quantize(rgb, depth).astype(np.float64) / top
        a = (quantize(a, depth).astype(np.float64) / top
             if layer.get('alpha', True) else np.ones((H, W)))
        if 'mask' in layer:
            (mt, ml, mb, mr), m = layer['mask']
            full = np.ones((H, W))
            full[mt:mb, ml:mr] = quantize(m, depth).astype(np.float64) / top
            a = a * full
        out = rgb * a[..., None] + out * (1 - a[..., None])
    return out


MERGED = {8: RLE, 16: RLE}


def write_psd(path, layers, depth):
    header = FileHeader(channels=3, height=H, width=W, depth=depth,
                        color_mode=ColorMode.RGB)
    info = build_records(layers, depth)
    if depth == 8:
        gmi = GlobalLayerMaskInfo(overlay_color=[0, 65535, 0, 0, 0],
                                  opacity=50)
        lmi = LayerAndMaskInformation(layer_info=info,
                                      global_layer_mask_info=gmi)
    else:
        # an empty global mask record, as deep documents usually carry:
        # some readers expect "Lr16" right after its length field
        gmi = GlobalLayerMaskInfo(overlay_color=None)
        # deeper documents keep their layers in a document-level "Lr16"
        # block and leave the ordinary layer list empty
        blocks = TaggedBlocks()
        blocks.set_data(Tag.LAYER_16, info.layer_count, info.layer_records,
                        info.channel_image_data)
        lmi = LayerAndMaskInformation(layer_info=LayerInfo(),
                                      global_layer_mask_info=gmi,
                                      tagged_blocks=blocks)
    merged = quantize(composite(layers, depth), depth)
    image = ImageData(compression=MERGED[depth])
    image.set_data([merged[..., c].tobytes() for c in range(3)], header)
    psd = PSD(header=header, layer_and_mask_information=lmi,
              image_data=image)
    with open(path, 'wb') as f:
        psd.write(f)
    return os.path.getsize(path)


def main(argv):
    out = argv[1] if len(argv) > 1 else HERE  # another folder, for checks
    layers = scene()
    for name, depth in (('landscape.psd', 8), ('landscape_16bit.psd', 16)):
        path = os.path.join(out, name)
        size = write_psd(path, layers, depth)
        print('wrote %s (%d bytes, %d-bit)' % (path, size, depth))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
