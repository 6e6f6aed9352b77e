#!/usr/bin/env python3
"""kavri-import end to end: the bundled samples with every import type and
every release (exit code, per-layer report, image files and their sizes, a
glTF file the validator accepts), then an import of every corpus file (exit
code by header, one report line per layer record, never a crash).

usage: kavri_import_e2e_test.py EMULATOR PROGRAM SAMPLES CORPUS SCRATCH VALIDATOR
EMULATOR is empty natively, or the program that runs the Windows build.
Every file is copied into SCRATCH first: images are written beside it.
"""
import json
import os
import re
import shutil
import subprocess
import sys

from PIL import Image

emulator, program, samples, corpus, scratch, validator = sys.argv[1:7]
RELEASES = ['2015', '2020', '11.6']
TYPES = ['Sphere', 'Flat', 'DenseMesh']

# The bundled scene's records (samples/README.md): how the report shows the
# layer (its name, and its unicode name where that differs), the outcome, the
# colour image's size or None when skipped, and whether it has an alpha image.
SAMPLE_LAYERS = [
    ('"sky"', 'imported', (640, 360), False),
    ('"far hills"', 'imported', (640, 169), True),
    ('"</Layer group>"', 'skipped (group end marker)', None, False),
    ('"near trees"', 'imported', (640, 173), True),
    ('"woods" (woods · forêt)', 'skipped (group record)', None, False),
    ('"figure" (figure — randonnée)', 'skipped (more than four channels)', None, False),
    ('"rain"', 'imported', (640, 360), True),
]

failures = []


def fail(message):
    failures.append(message)
    print('FAIL: ' + message)


def run(arguments):
    command = ([emulator] if emulator else []) + [program] + arguments
    for attempt in range(2):
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        out = done.stdout.decode('utf-8', 'replace').replace('\r', '')
        err = done.stderr.decode('utf-8', 'replace').replace('\r', '')
        # kavri-import always ends with its result line: a run without a word
        # is the emulator failing to start it, seen rarely on a loaded machine.
        if err or not emulator:
            break
        print('note: %s printed nothing (exit %d); running it again' % (' '.join(command), done.returncode))
    return done.returncode, out, err


def fresh_folder(name):
    folder = os.path.join(scratch, name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def layer_lines(err):
    return [line for line in err.splitlines() if re.match(r'kavri-import: layer \d+ ', line)]


def check_sample(sample, release, kind):
    label = '%s --release %s --type %s' % (sample, release, kind)
    folder = fresh_folder('%s_%s_%s' % (os.path.splitext(sample)[0], release, kind))
    psd = os.path.join(folder, sample)
    shutil.copy(os.path.join(samples, sample), psd)
    glb = os.path.join(folder, 'scene.glb')
    code, _, err = run(['--release', release, '--type', kind, '--gltf', glb, psd])
    if code != 0:
        fail('%s exited %d\n%s' % (label, code, err))
        return None
    base = os.path.splitext(sample)[0]
    expected = {}
    for shown, outcome, size, alpha in SAMPLE_LAYERS:
        name = shown.split('"')[1]
        if size is not None:
            expected['%s_%s.tga' % (base, name)] = size
            if alpha:
                expected['%s_A_%s.tga' % (base, name)] = size
    written = sorted(set(os.listdir(folder)) - {sample, 'scene.glb'})
    if written != sorted(expected):
        fail('%s wrote %s, expected %s' % (label, written, sorted(expected)))
    for name in set(written) & set(expected):
        with Image.open(os.path.join(folder, name)) as image:
            if image.size != expected[name]:
                fail('%s: %s is %s, expected %s' % (label, name, image.size, expected[name]))
    lines = layer_lines(err)
    wanted = ['kavri-import: layer %d %s: %s' % (i, shown, outcome) for i, (shown, outcome, _, _) in enumerate(SAMPLE_LAYERS)]
    if len(lines) != len(wanted) or any(not line.startswith(w) for line, w in zip(lines, wanted)):
        fail('%s reported\n  %s\nexpected lines starting\n  %s' % (label, '\n  '.join(lines), '\n  '.join(wanted)))
    for summary in ['kavri-import: 4 imported, 3 skipped',
                    'kavri-import: images: %d files written to %s' % (len(expected), folder + os.sep),
                    'kavri-import: glTF: wrote ' + glb]:
        if summary not in err.splitlines():
            fail('%s: standard error lacks "%s"\n%s' % (label, summary, err))
    return glb


def check_samples():
    glbs = []
    for sample in ('landscape.psd', 'landscape_16bit.psd'):
        for release in RELEASES:
            for kind in TYPES:
                glb = check_sample(sample, release, kind)
                if glb is not None and os.path.exists(glb):
                    glbs.append(glb)
    for glb in glbs:
        done = subprocess.run(['node', validator, glb], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if done.returncode != 0:
            fail('%s does not validate:\n%s' % (glb, done.stdout.decode('utf-8', 'replace')))
    print('samples: %d imports, %d glTF files validated' % (2 * len(RELEASES) * len(TYPES), len(glbs)))


def check_corpus():
    manifest = {entry['file']: entry for entry in json.load(open(os.path.join(corpus, 'manifest.json')))['files']}
    folder = fresh_folder('corpus')
    names = sorted(name for name in os.listdir(corpus) if name.lower().endswith(('.psd', '.psb')))
    for number, name in enumerate(names):
        entry = manifest.get(name, {})
        header = entry.get('header', {})
        truncated = any('file ends' in hazard for hazard in entry.get('hazards', []))
        readable = header.get('signature') == '8BPS' and header.get('version') == 1 and name.lower().endswith('.psd')
        allowed = {0, 1} if truncated else {0} if readable else {1}
        kind = TYPES[number % len(TYPES)]  # every builder meets the corpus
        copy = os.path.join(folder, name)
        shutil.copy(os.path.join(corpus, name), copy)
        code, out, err = run(['--type', kind, copy])
        os.remove(copy)
        if code not in allowed:
            fail('%s (--type %s) exited %d, expected %s\n%s%s' % (name, kind, code, sorted(allowed), out[-1000:],
                                                               err[-2000:]))
            continue
        if code != 0:
            continue
        lines = layer_lines(err)
        records = entry.get('layer_count')
        expected = records if records else 1  # no records: the merged image as one layer
        if records is not None and not truncated and len(lines) != expected:
            fail('%s: %d layer lines for %d records\n%s' % (name, len(lines), expected, err))
        if not records and records is not None and not truncated and '(merged image)' not in ''.join(lines):
            fail('%s: no merged image line\n%s' % (name, err))
    for leftover in os.listdir(folder):
        os.remove(os.path.join(folder, leftover))
    print('corpus: %d files imported' % len(names))


check_samples()
check_corpus()
sys.exit(1 if failures else 0)
