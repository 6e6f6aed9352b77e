#!/usr/bin/env python3
"""The psd-tools peer of the whole-import benchmark: what importers built on
psd-tools do first, exporting every pixel layer of a PSD to a PNG file.
Prints one line of JSON with the seconds from opening the file to the last
file written.
usage: peer_psdtools_export.py FILE OUTDIR"""
import json
import logging
import os
import sys
import time
import warnings

logging.disable(logging.CRITICAL)
warnings.simplefilter('ignore')

from psd_tools import PSDImage  # noqa: E402


def main():
    path, folder = sys.argv[1], sys.argv[2]
    start = time.perf_counter()
    psd = PSDImage.open(path)
    files = 0
    for index, layer in enumerate(psd.descendants()):
        if layer.kind != 'pixel':
            continue
        image = layer.topil()
        if image is None:
            continue
        image.save(os.path.join(folder, 'layer%d.png' % index))
        files += 1
    print(json.dumps({'seconds': time.perf_counter() - start, 'files': files}))


if __name__ == '__main__':
    main()
