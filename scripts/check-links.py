#!/usr/bin/env python3
"""Checks the relative links of Markdown pages: every [text](target) and
![alt](target) must name a file or folder that exists, and a #anchor must
name a heading of the page it points into (GitHub's heading ids). Links to
web addresses are not followed.

  check-links.py [--skip DIR]... ROOT...
      every *.md below each ROOT (build/, .git/ and each DIR left out)

Prints one line per broken link, "PAGE:LINE: what", and exits 1 if there
is one; 0 otherwise."""
import os
import re
import sys

LINK = re.compile(r'!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
FENCE = re.compile(r'^\s*(```|~~~)')
SKIP_DIRS = {'build', '.git'}


def slug(heading):
    """GitHub's id for a heading: lower case, punctuation dropped, blanks to '-'."""
    text = re.sub(r'`|\*|_(?=\w)|(?<=\w)_', '', heading.strip())
    text = re.sub(r'\[([^\]]*)\]\([^)]*\)', r'\1', text)
    text = text.lower()
    text = re.sub(r'[^\w\- ]', '', text)
    return text.replace(' ', '-')


def anchors(path, cache={}):
    if path not in cache:
        ids, seen = set(), {}
        in_fence = False
        with open(path, encoding='utf-8') as f:
            for line in f:
                if FENCE.match(line):
                    in_fence = not in_fence
                    continue
                m = None if in_fence else re.match(r'^#{1,6}\s+(.*?)\s*#*\s*$', line)
                if m:
                    base = slug(m.group(1))
                    n = seen.get(base, 0)
                    seen[base] = n + 1
                    ids.add(base if n == 0 else f'{base}-{n}')
        cache[path] = ids
    return cache[path]


def check_page(page):
    problems = []
    in_fence = False
    with open(page, encoding='utf-8') as f:
        lines = f.readlines()
    for number, line in enumerate(lines, 1):
        if FENCE.match(line):
            in_fence = not in_fence
            continue
        if in_fence:
            continue
        # Code spans are text, not links.
        plain = re.sub(r'`[^`]*`', '', line)
        for m in LINK.finditer(plain):
            target = m.group(1)
            if re.match(r'^[a-z][a-z0-9+.-]*:', target, re.I):
                continue
            path, _, anchor = target.partition('#')
            dest = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(dest):
                problems.append(f'{page}:{number}: {target}: no such file')
                continue
            if anchor and dest.endswith('.md') and anchor not in anchors(dest):
                problems.append(f'{page}:{number}: {target}: no heading "#{anchor}" in {os.path.basename(dest)}')
    return problems


def main(args):
    skip, roots = set(), []
    while args:
        if args[0] == '--skip' and len(args) > 1:
            skip.add(os.path.normpath(args[1]))
            args = args[2:]
        else:
            roots.append(args[0])
            args = args[1:]
    if not roots:
        print(__doc__, file=sys.stderr)
        return 2
    problems, pages = [], 0
    for root in roots:
        for folder, dirs, files in os.walk(root):
            dirs[:] = sorted(d for d in dirs
                             if d not in SKIP_DIRS and os.path.normpath(os.path.join(folder, d)) not in skip)
            for name in sorted(files):
                if name.endswith('.md'):
                    pages += 1
                    problems += check_page(os.path.join(folder, name))
    for p in problems:
        print(p)
    sys.stdout.flush()
    print(f'check-links: {pages} pages, {len(problems)} broken links', file=sys.stderr)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
