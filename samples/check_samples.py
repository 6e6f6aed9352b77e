#!/usr/bin/python3
"""Checks the bundled sample documents with independent readers.

- regenerates both files into a scratch folder and compares the bytes with
  the committed ones (the generator is deterministic and the files are fresh);
- psd-tools, low level: record order, section types, channel ids and
  compressions, rectangles, mask, hidden flag, unicode names, "Lr16";
- psd-tools, high level: layer tree, groups, visibility, mask, and the stored
  merged image against psd-tools' own composition of the layers;
- the 16-bit file against the 8-bit one, pixel for pixel;
- ImageMagick: `identify` lists every pixel layer with its geometry, and
  `convert FILE[0]` gives the stored merged image.

Run:  /usr/bin/python3 samples/check_samples.py      (exit status 0 = pass)
"""

import filecmp
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

from psd_tools import PSDImage
from psd_tools.constants import Tag
from psd_tools.psd import PSD

HERE = os.path.dirname(os.path.abspath(__file__))
FILES = (('landscape.psd', 8), ('landscape_16bit.psd', 16))
# ImageMagick's own convert; a wrapper earlier on the PATH may alter output
CONVERT = '/usr/bin/convert' if os.path.exists('/usr/bin/convert') \
    else 'convert'

# Stored order (bottom-most first): name, unicode name, section type,
# channel ids, compression codes per depth, hidden.
E_GROUP = ['</Layer group>', '</Layer group>', 3, [-1, 0, 1, 2],
           {8: [0] * 4, 16: [0] * 4}, False]
EXPECTED = [
    ['sky', 'sky', 0, [0, 1, 2], {8: [2] * 3, 16: [3] * 3}, False],
    ['far hills', 'far hills', 0, [-1, 0, 1, 2],
     {8: [1] * 4, 16: [3] * 4}, False],
    E_GROUP,
    ['near trees', 'near trees', 0, [-1, 0, 1, 2],
     {8: [1] * 4, 16: [2] * 4}, False],
    ['woods', 'woods \u00b7 for\u00eat', 1, [-1, 0, 1, 2],
     {8: [0] * 4, 16: [0] * 4}, False],
    ['figure', 'figure \u2014 randonn\u00e9e', 0, [-1, 0, 1, 2, -2],
     {8: [1, 1, 1, 1, 2], 16: [1, 1, 1, 1, 2]}, False],
    ['rain', 'rain', 0, [-1, 0, 1, 2], {8: [1] * 4, 16: [2] * 4}, True],
]
MASK = (300, 410, 352, 500, 255)  # top, left, bottom, right, default colour

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print('  FAIL: ' + what)
    return ok


def records(path):
    with open(path, 'rb') as f:
        psd = PSD.read(f)
    return psd, list(psd._iter_layers())


def low_level(path, depth):
    psd, layers = records(path)
    lmi = psd.layer_and_mask_information
    check(psd.header.depth == depth and psd.header.channels == 3
          and (psd.header.width, psd.header.height) == (640, 360),
          'header of %s' % path)
    in_lr16 = lmi.tagged_blocks is not None and Tag.LAYER_16 in \
        lmi.tagged_blocks
    check(in_lr16 == (depth == 16), '"Lr16" block only in the 16-bit file')
    if depth == 16:
        check(lmi.layer_info.layer_count == 0,
              'ordinary layer list empty beside "Lr16"')
    check(len(layers) == len(EXPECTED), 'record count %d' % len(layers))
    print('  %-3s %-15s %-4s %-22s %-20s %-28s %s' % (
        'idx', 'name', 'sect', 'channels', 'rect t,l,b,r', 'mask',
        'hidden'))
    for i, ((rec, chans), exp) in enumerate(zip(layers, EXPECTED)):
        name, uname, section, ids, comps, hidden = exp
        sect = rec.tagged_blocks.get_data(Tag.SECTION_DIVIDER_SETTING)
        sect = int(sect.kind) if sect is not None else 0
        got_ids = [int(c.id) for c in rec.channel_info]
        got_comps = [int(c.compression) for c in chans]
        mask = rec.mask_data
        mask_s = ('(%d,%d,%d,%d) default %d' % (
            mask.top, mask.left, mask.bottom, mask.right,
            mask.background_color) if mask else '-')
        print('  %-3d %-15s %-4d %-22s %-20s %-28s %s' % (
            i, rec.name, sect,
            ','.join('%d:c%d' % ic for ic in zip(got_ids, got_comps)),
            '%d,%d,%d,%d' % (rec.top, rec.left, rec.bottom, rec.right),
            mask_s, 'yes' if not rec.flags.visible else 'no'))
        check(rec.name == name, 'name of record %d' % i)
        check(rec.tagged_blocks.get_data(Tag.UNICODE_LAYER_NAME) == uname,
              'unicode name of record %d' % i)
        check(sect == section, 'section type of record %d' % i)
        check(got_ids == ids, 'channel ids of record %d' % i)
        check(got_comps == comps[depth], 'compressions of record %d' % i)
        check(rec.flags.visible != hidden, 'visibility of record %d' % i)
        if section == 0:
            check(rec.bottom > rec.top and rec.right > rec.left,
                  'pixel layer %d has a rectangle' % i)
        if name == 'figure':
            check(mask is not None and (mask.top, mask.left, mask.bottom,
                                        mask.right, mask.background_color)
                  == MASK, 'figure mask rectangle and default colour')
        else:
            check(mask is None, 'no mask on record %d' % i)
    return psd, layers


def high_level(path):
    psd = PSDImage.open(path)
    tree = [(l.name, l.kind, l.visible, l.has_mask(),
             None if l.parent is psd else l.parent.name)
            for l in psd.descendants()]
    want = [
        ('sky', 'pixel', True, False, None),
        ('far hills', 'pixel', True, False, None),
        ('woods \u00b7 for\u00eat', 'group', True, False, None),
        ('near trees', 'pixel', True, False, 'woods \u00b7 for\u00eat'),
        ('figure \u2014 randonn\u00e9e', 'pixel', True, True, None),
        ('rain', 'pixel', False, False, None),
    ]
    check(tree == want, 'psd-tools layer tree: %r' % (tree,))
    stored = psd.numpy()
    composed = np.asarray(psd.composite(ignore_preview=True),
                          np.float64)[..., :3] / 255
    diff = np.abs(stored - composed).max() * 255
    check(diff <= 2.0, 'merged image vs psd-tools composition: max %.2f '
          'of 255' % diff)
    return psd, tree, diff


def same_scene(path8, path16):
    """Every stored plane of the 16-bit file, brought to 8 bits, is within
    one step of the 8-bit file's plane."""
    worst = 0
    psd8, l8 = records(path8)
    psd16, l16 = records(path16)
    for (r8, c8), (r16, c16) in zip(l8, l16):
        for _, d8, d16, size in zip(r8.channel_info, c8, c16,
                                    r8.channel_sizes):
            w, h = size
            if w * h == 0:
                continue
            a = np.frombuffer(d8.get_data(w, h, 8), np.uint8)
            b = np.frombuffer(d16.get_data(w, h, 16), '>u2')
            worst = max(worst, int(np.abs(
                np.rint(b / 257.0) - a).max()))
    m8 = np.frombuffer(psd8.image_data.get_data(psd8.header, False),
                       np.uint8)
    m16 = np.frombuffer(psd16.image_data.get_data(psd16.header, False),
                        '>u2')
    worst = max(worst, int(np.abs(np.rint(m16 / 257.0) - m8).max()))
    check(worst <= 1, '16-bit planes vs 8-bit planes: max %d' % worst)
    return worst


def magick(path, depth, low_layers, tmp):
    out = subprocess.run(['identify', path], capture_output=True,
                         text=True)
    lines = out.stdout.split('\n')
    lines = [x for x in lines if x.strip()]
    check(out.returncode == 0 and not out.stderr.strip(),
          'identify ran cleanly: %s' % out.stderr.strip())
    geoms = [x.split()[3] for x in lines]
    want = ['640x360+0+0'] + [
        '%dx%d+%d+%d' % (r.right - r.left, r.bottom - r.top, r.left, r.top)
        for r, _ in low_layers
        if r.tagged_blocks.get_data(Tag.SECTION_DIVIDER_SETTING) is None]
    check(geoms == want, 'identify geometries %r' % geoms)
    png = os.path.join(tmp, 'merged%d.png' % depth)
    res = subprocess.run([CONVERT, path + '[0]', png], capture_output=True,
                         text=True)
    check(res.returncode == 0 and not res.stderr.strip(),
          'convert %s[0] ran cleanly: %s' % (path, res.stderr.strip()))
    check(Image.open(png).size == (640, 360), 'size of %s' % png)
    # PNG readers here drop 16-bit RGB to 8 bits, so compare raw samples
    raw = subprocess.run([CONVERT, path + '[0]', '-depth', str(depth),
                          '-endian', 'MSB', 'rgb:-'], capture_output=True)
    got = np.frombuffer(raw.stdout, np.uint8 if depth == 8 else '>u2')
    psd, _ = records(path)
    planes = np.frombuffer(psd.image_data.get_data(psd.header, False),
                           got.dtype).reshape(3, 360, 640)
    diff = np.abs(got.reshape(360, 640, 3).astype(np.int64)
                  - planes.transpose(1, 2, 0)).max() \
        if got.size == planes.size else -1
    check(diff == 0, 'convert %s[0] equals the stored merged samples: '
          'max diff %d' % (os.path.basename(path), diff))
    return len(lines), diff, magick_layers(path, depth, low_layers)


def magick_layers(path, depth, low_layers):
    """ImageMagick's decoding of each pixel layer against psd-tools' planes:
    colour equal wherever alpha is not 0, and alpha equal."""
    dtype = np.uint8 if depth == 8 else np.dtype('>u2')
    top = (1 << depth) - 1
    worst = 0
    pixel = [(r, c) for r, c in low_layers
             if r.tagged_blocks.get_data(Tag.SECTION_DIVIDER_SETTING) is None]
    for i, (rec, chans) in enumerate(pixel, 1):
        w, h = rec.width, rec.height
        raw = subprocess.run([CONVERT, '%s[%d]' % (path, i), '-depth',
                              str(depth), '-endian', 'MSB', 'rgba:-'],
                             capture_output=True)
        got = np.frombuffer(raw.stdout, dtype).astype(np.int64)
        if not check(got.size == w * h * 4,
                     'ImageMagick size of layer %r' % rec.name):
            continue
        got = got.reshape(h, w, 4)
        planes = {int(ci.id): np.frombuffer(
            cd.get_data(cw, ch, depth), dtype).astype(np.int64).reshape(
                ch, cw)
            for ci, cd, (cw, ch) in zip(rec.channel_info, chans,
                                        rec.channel_sizes)}
        alpha = planes.get(-1, np.full((h, w), top))
        seen = alpha > 0
        cdiff = max(int(np.abs(got[..., k][seen] - planes[k][seen]).max())
                    for k in range(3))
        # ImageMagick folds a layer mask into alpha in its own way (it does
        # not show the default colour outside the mask's rectangle), so
        # alpha is compared on unmasked layers only.
        adiff = 0 if rec.mask_data is not None else \
            int(np.abs(got[..., 3] - alpha).max())
        check(cdiff == 0 and adiff == 0,
              'ImageMagick layer %r: colour diff %d, alpha diff %d'
              % (rec.name, cdiff, adiff))
        worst = max(worst, cdiff, adiff)
    return worst



def main():
    with tempfile.TemporaryDirectory() as tmp:
        print('regenerating into a scratch folder')
        subprocess.run([sys.executable,
                        os.path.join(HERE, 'generate_samples.py'), tmp],
                       check=True, stdout=subprocess.DEVNULL)
        for name, _ in FILES:
            check(filecmp.cmp(os.path.join(tmp, name),
                              os.path.join(HERE, name), shallow=False),
                  '%s regenerates to identical bytes' % name)
        for name, depth in FILES:
            path = os.path.join(HERE, name)
            print('%s (%d bytes)' % (name, os.path.getsize(path)))
            _, low = low_level(path, depth)
            _, tree, cdiff = high_level(path)
            n, mdiff, ldiff = magick(path, depth, low, tmp)
            print('  psd-tools: %d layers, %d group, %d hidden, %d with mask;'
                  ' merged vs its composition max diff %.2f/255' % (
                      len(tree), sum(t[1] == 'group' for t in tree),
                      sum(not t[2] for t in tree), sum(t[3] for t in tree),
                      cdiff))
            print('  ImageMagick: %d images (merged + pixel layers);'
                  ' convert [0] vs merged samples max diff %d; layers vs'
                  ' psd-tools planes max diff %d' % (n, mdiff, ldiff))
        worst = same_scene(os.path.join(HERE, FILES[0][0]),
                           os.path.join(HERE, FILES[1][0]))
        print('16-bit vs 8-bit planes: max difference %d step(s)' % worst)
    print('FAILED: %d check(s)' % len(failures) if failures else 'all checks'
          ' passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
