#!/usr/bin/env python3
"""Runs every benchmark and prints the tables with their ratios.

1. Decode kernels (kavri_bench_kernels, Google Benchmark) beside their limits:
   a plain PackBits decoder, zlib's and libdeflate's one-shot inflate of the
   same streams, memcpy of the same bytes.
2. Whole-file decode of every layer channel of painted-looking documents
   (made by make_documents.py, kept outside the repository) by our reader,
   beside the limit measured in the same run (one read of the file plus the
   plain decode of its streams) and the peers psd-tools and ImageMagick, with
   each process's peak memory.
3. Whole import of the RLE document through the reference host
   (kavri_bench_import), once per import type with the default savers, with
   the host's breakdown by phase and the peak memory, beside psd-tools
   exporting the same layers to PNG files.

usage: bench/run_bench.py [--build build/bench] [--documents build/bench/documents]
                          [--size 2048] [--layers 16] [--repeats 3] [--no-peers]
                          [--kernels-only] [--import-only]
Build first: cmake --preset bench && cmake --build --preset bench
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = '/usr/bin/python3'  # the interpreter Debian's psd-tools is installed for


# The C heap of a long-running host keeps the memory that freed planes leave;
# glibc's default gives every layer's planes back to the system and takes them
# again as new pages, whose first touch is costly on virtual machines.
KEPT_HEAP = dict(os.environ,
                 GLIBC_TUNABLES='glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=1073741824')


def run_measured(command, env=None):
    """Runs command; returns (stdout, wall seconds, peak resident MB)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    output = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    seconds = time.perf_counter() - start
    if process.returncode != 0:
        raise RuntimeError('%s failed with %d' % (' '.join(command), process.returncode))
    return output.decode(), seconds, usage.ru_maxrss / 1024.0


KERNEL_PAIRS = [
    ('ours/rle8', 'limit/packbits8', 'PackBits decode'),
    ('ours/zip8', 'limit/libdeflate8', 'ZIP inflate (vs libdeflate)'),
    ('ours/zip8', 'limit/zlib8', 'ZIP inflate (vs zlib)'),
    ('ours/zippred8', 'limit/inflate+delta8', 'ZIP + prediction, 8-bit'),
]
STEP_PAIRS = [('swap16', 2), ('swap32', 4), ('delta8', 1), ('delta16', 2), ('delta32', 4),
              ('interleave3', 4), ('interleave4', 4)]


def kernels(build):
    program = os.path.join(build, 'bin', 'kavri_bench_kernels')
    output, _, _ = run_measured([program, '--benchmark_format=json', '--benchmark_min_time=0.5'])
    speed = {}
    for b in json.loads(output)['benchmarks']:
        if 'bytes_per_second' in b:
            speed[b['name']] = b['bytes_per_second'] / 1e6
    print('## Decode kernels (MB/s of output; ratio = limit speed / our speed, lower is better)\n')
    print('| kernel | ours MB/s | limit | limit MB/s | ratio |')
    print('|-|-|-|-|-|')
    for ours, limit, label in KERNEL_PAIRS:
        if ours in speed and limit in speed:
            print('| %s | %.0f | %s | %.0f | %.2f |' % (label, speed[ours], limit, speed[limit],
                                                       speed[limit] / speed[ours]))
    for step, bytes_per_sample in STEP_PAIRS:
        for side in (2048, 8192):
            ours = 'ours/%s/%d' % (step, side)
            limit = 'limit/memcpy/%d/%d' % (side, bytes_per_sample)
            if ours in speed and limit in speed:
                ratio = speed[limit] / speed[ours]
                print('| %s %dx%d | %.0f | memcpy | %.0f | %.2f %s |' % (
                    step, side, side, speed[ours], speed[limit], ratio, 'ok' if ratio <= 2 else 'OVER 2x'))
    print()


def imagemagick_environment(folder):
    """A policy that lets ImageMagick keep large documents in memory."""
    policy = os.path.join(folder, 'policy.xml')
    with open(policy, 'w') as f:
        f.write('<policymap>\n'
                '  <policy domain="resource" name="memory" value="16GiB"/>\n'
                '  <policy domain="resource" name="map" value="16GiB"/>\n'
                '  <policy domain="resource" name="area" value="4GP"/>\n'
                '  <policy domain="resource" name="disk" value="16GiB"/>\n'
                '  <policy domain="resource" name="width" value="64KP"/>\n'
                '  <policy domain="resource" name="height" value="64KP"/>\n'
                '</policymap>\n')
    env = dict(os.environ)
    env['MAGICK_CONFIGURE_PATH'] = folder
    return env


def whole_file(build, documents, size, layers, repeats, peers):
    subprocess.run([PYTHON, os.path.join(HERE, 'make_documents.py'), documents, '--size', str(size),
                    '--layers', str(layers)], check=True)
    program = os.path.join(build, 'bin', 'kavri_bench_file')
    scratch = tempfile.mkdtemp(prefix='kavri_bench_')
    magick_env = imagemagick_environment(scratch)
    rows = []
    for kind in ('rle', 'zip', 'zippred'):
        path = os.path.join(documents, 'painted_%d_%d_%s.psd' % (size, layers, kind))
        reader = json.loads(run_measured([program, 'reader', path, str(repeats)])[0])
        _, _, reader_mb = run_measured([program, 'reader', path, '1'])
        kept = json.loads(run_measured([program, 'reader', path, str(repeats)], env=KEPT_HEAP)[0])
        limit = json.loads(run_measured([program, 'limit', path, str(repeats)])[0])
        row = {'kind': kind, 'file_mb': os.path.getsize(path) / 1e6, 'planes': reader['planes'],
               'plane_mb': reader['plane_bytes'] / 1e6, 'ours': reader['seconds'], 'ours_mb': reader_mb,
               'kept': kept['seconds'], 'limit': limit['seconds']}
        if peers:
            try:
                out, _, mb = run_measured([PYTHON, os.path.join(HERE, 'peer_psdtools.py'), path])
                row['psdtools'], row['psdtools_mb'] = json.loads(out)['seconds'], mb
            except RuntimeError:
                pass
            try:
                _, seconds, mb = run_measured(['/usr/bin/convert', path, 'null:'], env=magick_env)
                row['magick'], row['magick_mb'] = seconds, mb
            except (RuntimeError, FileNotFoundError):
                pass
        rows.append(row)
        print('measured %s' % kind, file=sys.stderr)

    print('## Whole-file decode of every layer channel (%dx%d, %d RGBA layers, 8-bit)\n' % (size, size, layers))
    print('Times are the best of %d runs. "ours" is the reader as shipped (MallocAllocator on the default C heap);' % repeats)
    print('"kept heap" is the same reader in a process whose heap keeps freed memory. Peer ratios use "ours".\n')
    print('| file | MB | planes (MB) | ours s | kept heap s | limit s | ours/limit | kept/limit (<=1.3) '
          '| psd-tools s | psd-tools/ours (>=3) | ImageMagick s | ImageMagick/ours (>=5) |')
    print('|-|-|-|-|-|-|-|-|-|-|-|-|')
    for r in rows:
        cells = ['%s' % r['kind'], '%.0f' % r['file_mb'], '%d (%.0f)' % (r['planes'], r['plane_mb']),
                 '%.3f' % r['ours'], '%.3f' % r['kept'], '%.3f' % r['limit'], '%.2f' % (r['ours'] / r['limit']),
                 '%.2f' % (r['kept'] / r['limit'])]
        for peer in ('psdtools', 'magick'):
            if peer in r:
                cells += ['%.2f' % r[peer], '%.1f' % (r[peer] / r['ours'])]
            else:
                cells += ['-', '-']
        print('| ' + ' | '.join(cells) + ' |')
    print('\n## Peak memory of the same decodes (resident MB)\n')
    print('| file | ours | psd-tools | ours/psd-tools (<1) | ImageMagick | ours/ImageMagick (<0.5) |')
    print('|-|-|-|-|-|-|')
    for r in rows:
        cells = [r['kind'], '%.0f' % r['ours_mb']]
        for peer in ('psdtools', 'magick'):
            key = peer + '_mb'
            cells += ['%.0f' % r[key], '%.2f' % (r['ours_mb'] / r[key])] if key in r else ['-', '-']
        print('| ' + ' | '.join(cells) + ' |')


IMPORT_TYPES = ('Sphere', 'Flat', 'DenseMesh')
PHASES = ('decode', 'composition', 'saving', 'loading back', 'geometry', 'other')


def empty_folder(folder):
    os.makedirs(folder, exist_ok=True)
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    return folder


def whole_import(build, documents, size, layers, repeats, peers):
    subprocess.run([PYTHON, os.path.join(HERE, 'make_documents.py'), documents, '--size', str(size),
                    '--layers', str(layers)], check=True)
    path = os.path.join(documents, 'painted_%d_%d_rle.psd' % (size, layers))
    program = os.path.join(build, 'bin', 'kavri_bench_import')
    module = os.path.join(build, 'bin', 'kavri_Quor_64_2020.so')
    scratch = tempfile.mkdtemp(prefix='kavri_bench_import_')
    images = os.path.join(scratch, 'images') + os.sep
    rows = []
    for kind in IMPORT_TYPES:
        best = None
        for _ in range(repeats):
            empty_folder(images)
            out, _, peak = run_measured([program, module, path, kind, images])
            result = json.loads(out)
            result['peak_mb'] = peak
            if best is None or result['seconds'] < best['seconds']:
                best = result
        rows.append((kind, best))
        print('measured import %s' % kind, file=sys.stderr)
    peer = None
    if peers:
        for _ in range(repeats):
            folder = empty_folder(os.path.join(scratch, 'psdtools'))
            out, _, peak = run_measured([PYTHON, os.path.join(HERE, 'peer_psdtools_export.py'), path, folder])
            result = json.loads(out)
            result['peak_mb'] = peak
            if peer is None or result['seconds'] < peer['seconds']:
                peer = result
        print('measured psd-tools export', file=sys.stderr)
    empty_folder(images)
    empty_folder(os.path.join(scratch, 'psdtools'))

    plane_mb = size * size * 4 / 1048576.0  # one RGBA layer's planes, 8 bits
    print('\n## Whole import through the reference host (%dx%d, %d RGBA layers, RLE, default savers)\n'
          % (size, size, layers))
    print('Seconds are the best of %d runs; the phases are the host\'s account of that run (its service calls and'
          % repeats)
    print('the plug-in\'s own time between them). The peer exports the same layers to PNG with psd-tools'
          + (' (%d files, %.2f s, peak %.0f MB).' % (peer['files'], peer['seconds'], peer['peak_mb']) if peer else '.'))
    print('Memory bound: 2 x (one layer\'s planes, %.0f MB, + the host\'s images: the image list it keeps and the'
          % plane_mb)
    print('largest layer\'s images before saving).\n')
    print('| import type | layers | points | s | ' + ' | '.join(PHASES) + ' | psd-tools/ours (>=5) '
          '| peak MB | bound MB | peak/bound (<=1) |')
    print('|-|-|-|-|' + '-|' * len(PHASES) + '-|-|-|-|')
    for kind, r in rows:
        bound = 2 * (plane_mb + r['list_image_mb'] + r['work_image_mb'])
        cells = [kind, '%d' % r['layers'], '%d' % r['points'], '%.2f' % r['seconds']]
        cells += ['%.2f' % r['phases'][phase] for phase in PHASES]
        cells.append('%.1f' % (peer['seconds'] / r['seconds']) if peer else '-')
        cells += ['%.0f' % r['peak_mb'], '%.0f' % bound, '%.2f' % (r['peak_mb'] / bound)]
        print('| ' + ' | '.join(cells) + ' |')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    root = os.path.dirname(HERE)
    parser.add_argument('--build', default=os.path.join(root, 'build', 'bench'))
    parser.add_argument('--documents', default=os.path.join(root, 'build', 'bench', 'documents'))
    parser.add_argument('--size', type=int, default=2048)
    parser.add_argument('--layers', type=int, default=16)
    parser.add_argument('--repeats', type=int, default=3)
    parser.add_argument('--no-peers', action='store_true')
    parser.add_argument('--kernels-only', action='store_true')
    parser.add_argument('--import-only', action='store_true', help='only the whole-import table')
    args = parser.parse_args()
    if not args.import_only:
        kernels(args.build)
    if not args.kernels_only and not args.import_only:
        whole_file(args.build, args.documents, args.size, args.layers, args.repeats, not args.no_peers)
    if not args.kernels_only:
        whole_import(args.build, args.documents, args.size, args.layers, args.repeats, not args.no_peers)


if __name__ == '__main__':
    main()
