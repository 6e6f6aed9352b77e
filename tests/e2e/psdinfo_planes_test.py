#!/usr/bin/env python3
"""psdinfo --planes on every corpus file writes planes whose SHA-256 equal the
corpus manifest's references.
usage: psdinfo_planes_test.py EMULATOR PSDINFO CORPUS_DIR SCRATCH_DIR
(EMULATOR is empty for native programs.)"""
import hashlib
import json
import os
import shutil
import subprocess
import sys


def main():
    emulator, psdinfo, corpus, scratch = sys.argv[1:5]
    with open(os.path.join(corpus, 'manifest.json')) as f:
        manifest = json.load(f)
    shutil.rmtree(scratch, ignore_errors=True)
    compared, failures = 0, []
    for entry in manifest['files']:
        expected = []
        for layer in entry.get('layers') or []:
            ids = [c['id'] for c in layer['channels']]
            for c in layer['channels']:
                if c['sha256'] is None or ids.count(c['id']) > 1:
                    continue
                if c['plane_rect'] == 'layer':
                    name = 'layer%d_ch%d.raw' % (layer['index'], c['id'])
                elif c['plane_rect'] == 'layer_mask' and -2 in ids and -3 in ids:
                    continue  # both mask channels go to the layer mask: only the last stays
                else:
                    name = 'layer%d_mask%d.raw' % (layer['index'], c['id'])
                expected.append((name, c['sha256']))
        if not expected:
            continue
        folder = os.path.join(scratch, entry['file'])
        command = ([emulator] if emulator else []) + [psdinfo, '--planes', folder,
                                                      os.path.join(corpus, entry['file'])]
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            with open(os.path.join(folder, 'index.json')) as f:
                listed = {p['file']: p for p in json.load(f)['planes']}
        except OSError:
            failures.append('%s: no index.json' % entry['file'])
            continue
        for name, sha in expected:
            path = os.path.join(folder, name)
            if name not in listed or not os.path.exists(path):
                failures.append('%s: %s missing' % (entry['file'], name))
                continue
            with open(path, 'rb') as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            if digest != sha:
                failures.append('%s: %s has SHA-256 %s, the manifest %s' % (entry['file'], name, digest, sha))
            compared += 1
    for failure in failures:
        print(failure)
    print('%d planes compared, %d failures' % (compared, len(failures)))
    return 1 if failures or compared == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
