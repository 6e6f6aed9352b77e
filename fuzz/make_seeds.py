#!/usr/bin/env python3
"""Writes the harnesses' own seeds: a few small PSD documents (every channel
compression at 8 and 16 bits, transparency and a layer mask, a group) and a few
decoder inputs. Run from anywhere; writes beside this script."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def packbits(data):
    out = bytearray()
    i = 0
    while i < len(data):
        run = 1
        while i + run < len(data) and run < 128 and data[i + run] == data[i]:
            run += 1
        if run > 1:
            out += bytes([257 - run, data[i]])
            i += run
        else:
            j = i
            while j < len(data) and j - i < 128 and (j + 1 >= len(data) or data[j + 1] != data[j]):
                j += 1
            j = max(j, i + 1)
            out += bytes([j - i - 1]) + data[i:j]
            i = j
    return bytes(out)


def delta(rows, width, sample):
    out = bytearray()
    for row in rows:
        values = [int.from_bytes(row[k * sample:(k + 1) * sample], 'big') for k in range(width)]
        prev = 0
        for v in values:
            out += ((v - prev) % (1 << (8 * sample))).to_bytes(sample, 'big')
            prev = v
    return bytes(out)


def channel_data(plane, width, height, sample, code):
    rows = [plane[r * width * sample:(r + 1) * width * sample] for r in range(height)]
    if code == 0:
        return struct.pack('>H', 0) + plane
    if code == 1:
        packed = [packbits(r) for r in rows]
        return struct.pack('>H', 1) + b''.join(struct.pack('>H', len(p)) for p in packed) + b''.join(packed)
    if code == 2:
        return struct.pack('>H', 2) + zlib.compress(plane)
    return struct.pack('>H', 3) + zlib.compress(delta(rows, width, sample))


def pascal(name, pad):
    raw = bytes([len(name)]) + name
    while len(raw) % pad:
        raw += b'\0'
    return raw


def layer(name, rect, channels, extra=b'', mask=None):
    top, left, bottom, right = rect
    rec = struct.pack('>iiiiH', top, left, bottom, right, len(channels))
    for cid, data in channels:
        rec += struct.pack('>hI', cid, len(data))
    rec += b'8BIMnorm' + bytes([255, 0, 0, 0])
    body = b''
    if mask is not None:
        body += struct.pack('>I', 20) + struct.pack('>iiii', *mask) + bytes([0, 0, 0, 0])
    else:
        body += struct.pack('>I', 0)
    body += struct.pack('>I', 0)  # blending ranges
    body += pascal(name, 4) + extra
    rec += struct.pack('>I', len(body)) + body
    return rec, b''.join(d for _, d in channels)


def document(width, height, depth, layers, merged_code=0):
    sample = depth // 8
    header = b'8BPS' + struct.pack('>H', 1) + b'\0' * 6 + struct.pack('>HIIHH', 3, height, width, depth, 3)
    xmp = b'<x:xmpmeta/>'
    resources = b'8BIM' + struct.pack('>HH', 1060, 0) + struct.pack('>I', len(xmp)) + xmp
    records = b''.join(r for r, _ in layers)
    data = b''.join(d for _, d in layers)
    info = struct.pack('>h', -len(layers)) + records + data
    if len(info) % 2:
        info += b'\0'
    section = struct.pack('>I', len(info)) + info + struct.pack('>I', 0)
    merged_plane = bytes((i * 37) % 256 for i in range(width * height * sample))
    merged = struct.pack('>H', 0) + merged_plane * 3
    return (header + struct.pack('>I', 0) + struct.pack('>I', len(resources)) + resources +
            struct.pack('>I', len(section)) + section + merged)


def plane(width, height, sample, seed):
    return bytes((seed + i * 7 + (i // width) * 3) % 256 for i in range(width * height * sample))


def lsct(kind):
    return b'8BIMlsct' + struct.pack('>II', 4, kind)


def write(name, data):
    with open(os.path.join(HERE, 'seeds', name), 'wb') as f:
        f.write(data)


def main():
    for depth in (8, 16):
        sample = depth // 8
        w, h = 9, 5
        layers = []
        for code in range(4):
            chans = [(cid, channel_data(plane(w, h, sample, cid * 11 + code), w, h, sample, code))
                     for cid in (-1, 0, 1, 2)]
            layers.append(layer(b'layer %d' % code, (code, code, code + h, code + w), chans))
        mw, mh = 3, 2
        chans = [(cid, channel_data(plane(w, h, sample, cid), w, h, sample, 1)) for cid in (0, 1, 2)]
        chans.append((-2, channel_data(plane(mw, mh, sample, 99), mw, mh, sample, 0)))
        layers.append(layer(b'masked', (0, 0, h, w), chans, mask=(1, 1, 1 + mh, 1 + mw)))
        layers.append(layer(b'</Layer group>', (0, 0, 0, 0), [(cid, b'\0\0') for cid in (-1, 0, 1, 2)], lsct(3)))
        layers.append(layer(b'group', (0, 0, 0, 0), [(cid, b'\0\0') for cid in (-1, 0, 1, 2)], lsct(1)))
        write('psd/layers_%dbit.psd' % depth, document(12, 10, depth, layers))
    write('psd/no_layers.psd', document(4, 3, 8, []))

    rows = b'\x05' * 40 + bytes(range(30))
    write('decoders/rle.bin', b'\x00\x00\x00' + bytes([len(rows)]) + packbits(rows))
    write('decoders/rle_short.bin', b'\x00\x00\x01\x00' + b'\xfe\x07\x02abc')
    write('decoders/zip.bin', b'\x01\x00\x00\x40' + zlib.compress(bytes(range(64))))
    write('decoders/zip_longer.bin', b'\x01\x00\x00\x10' + zlib.compress(bytes(range(64))))
    write('decoders/zip_stored.bin', b'\x01\x00\x00\x08' + zlib.compress(b'abcdefgh', 0))


if __name__ == '__main__':
    main()
