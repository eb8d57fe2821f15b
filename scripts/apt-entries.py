#!/usr/bin/env python3
"""Writes an APT entry derived from the machine's own Debian entries, so
that a machine that uses a mirror (and its key) keeps using it.

  apt-entries.py sources OUT            deb-src entries of every deb entry
                                        with main (security suites keep no
                                        sources)
  apt-entries.py backports OUT CODENAME the CODENAME-backports suite at the
                                        address of the CODENAME entry
"""
import glob
import re
import sys


def entries():
    """(uris, suites, components, signed-by) of every enabled deb entry."""
    found = []
    for path in sorted(glob.glob('/etc/apt/sources.list.d/*.sources')):
        for block in re.split(r'\n\s*\n', open(path).read()):
            fields = {}
            for line in block.splitlines():
                if line.startswith('#') or ':' not in line or line[0].isspace():
                    continue
                key, value = line.split(':', 1)
                fields[key.strip()] = value.strip()
            if 'deb' in fields.get('Types', '').split() and fields.get('Enabled', 'yes') != 'no':
                found.append((fields.get('URIs', ''), fields.get('Suites', ''),
                              fields.get('Components', ''), fields.get('Signed-By', '')))
    for path in ['/etc/apt/sources.list'] + sorted(glob.glob('/etc/apt/sources.list.d/*.list')):
        try:
            lines = open(path).read().splitlines()
        except OSError:
            continue
        for line in lines:
            m = re.match(r'^deb\s+(\[([^\]]*)\]\s+)?(\S+)\s+(\S+)\s+(.*)$', line.strip())
            if m:
                opts = dict(o.split('=', 1) for o in (m.group(2) or '').split() if '=' in o)
                found.append((m.group(3), m.group(4), m.group(5), opts.get('signed-by', '')))
    return found


def block(kind, uris, suites, signed):
    lines = ['Types: ' + kind, 'URIs: ' + uris, 'Suites: ' + suites, 'Components: main']
    if signed:
        lines.append('Signed-By: ' + signed)
    return '\n'.join(lines)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ('sources', 'backports'):
        sys.exit(__doc__)
    out = []
    for uris, suites, components, signed in entries():
        suites = [s for s in suites.split() if not s.endswith('-security')]
        if not uris or not suites or 'main' not in components.split():
            continue
        if sys.argv[1] == 'sources':
            out.append(block('deb-src', uris, ' '.join(suites), signed))
        elif sys.argv[3] in suites:
            out.append(block('deb', uris, sys.argv[3] + '-backports', signed))
            break
    if not out:
        sys.exit('setup: no Debian entry to derive the %s entry from' % sys.argv[1])
    open(sys.argv[2], 'w').write('\n\n'.join(out) + '\n')


if __name__ == '__main__':
    main()
