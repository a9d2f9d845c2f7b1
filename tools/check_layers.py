#!/usr/bin/env python3
"""Checks that every folder includes only folders below it.

Reads the #include "..." lines of the tracked C and C++ files and fails on an
include from one top-level folder into another that is not below it in

    interface < dsp < acoustics < hostlink < analysis < ui < plugin

The headless stand-in (platform/) includes only interface/. The hosts and the
tests (host/, fuzz/, python/, tests/) may include anything. A folder that has
no place here is an error too: say where a new folder belongs before using it.

Usage: tools/check_layers.py [--root REPO]   (exit status 1 on a violation)
"""
import argparse
import os
import re
import subprocess
import sys

ORDER = ['interface', 'dsp', 'acoustics', 'hostlink', 'analysis', 'ui', 'plugin']
ALLOWED = {folder: set(ORDER[:i]) for i, folder in enumerate(ORDER)}
ALLOWED['platform'] = {'interface'}
TOP = {'host', 'fuzz', 'python', 'tests'}
SOURCE = re.compile(r'\.(c|cc|cpp|h|hpp)$')
INCLUDE = re.compile(r'\s*#\s*include\s+"([^"]+)"')


def folder(path):
    return path.split('/')[0] if '/' in path else '.'


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--root', default='.', help='the repository (default: the current directory)')
    root = parser.parse_args().root
    listing = subprocess.run(['git', '-C', root, 'ls-files'], capture_output=True, text=True)
    if listing.returncode != 0:
        sys.exit(f'check_layers: git ls-files failed in {root}: {listing.stderr.strip()}')
    tracked = set(listing.stdout.split())

    crossings, problems = 0, []
    for path in sorted(p for p in tracked if SOURCE.search(p)):
        source = folder(path)
        if source in TOP:
            continue
        with open(os.path.join(root, path), errors='replace') as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                name = match.group(1)
                target = name if name in tracked else os.path.normpath(os.path.join(os.path.dirname(path), name))
                if target not in tracked or folder(target) == source:
                    continue
                crossings += 1
                where = f'{path}:{number}: {source}/ includes {target}'
                if source not in ALLOWED:
                    problems.append(f'{where}, but {source}/ has no place in the include order')
                elif folder(target) not in ALLOWED[source]:
                    problems.append(f'{where}, which is not below it')

    for problem in problems:
        print(problem)
    print(f'{crossings} includes between folders, {len(problems)} against the order')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
