#!/usr/bin/env python3
"""The psd-tools peer of the whole-file benchmark: opens a PSD and decodes
every channel of every layer with psd-tools. Prints one line of JSON with the
seconds from opening the file to the last decoded plane.
usage: peer_psdtools.py FILE"""
import json
import logging
import sys
import time
import warnings

logging.disable(logging.CRITICAL)
warnings.simplefilter('ignore')

from psd_tools.psd import PSD  # noqa: E402


def main():
    start = time.perf_counter()
    with open(sys.argv[1], 'rb') as f:
        psd = PSD.read(f)
    depth = psd.header.depth
    info = psd.layer_and_mask_information.layer_info
    planes = 0
    for record, channels in zip(info.layer_records, info.channel_image_data):
        width, height = record.width, record.height
        for channel in channels:
            if width * height and channel.data:
                channel.get_data(width, height, depth)
                planes += 1
    print(json.dumps({'seconds': time.perf_counter() - start, 'planes': planes}))


if __name__ == '__main__':
    main()
