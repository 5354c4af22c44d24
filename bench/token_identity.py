#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Judges a stripped copy of a tree by clang's own lexer: for every c, cpp and h file, whether the
# preprocessing tokens (comments and whitespace left out) are those of the original, and whether
# each stays on its line. Needs clang.
#
#   cp -a TREE COPY && tavirel-batch --syntax -q COPY && bench/token_identity.py TREE COPY
import os, re, subprocess, sys
from concurrent.futures import ThreadPoolExecutor
orig, new = sys.argv[1], sys.argv[2]
loc = re.compile(rb"\tLoc=<[^>\n]*:([0-9]+):[0-9]+>\n")
def tokens(path, cpp):
    r = subprocess.run(["clang", "-cc1", "-dump-raw-tokens", "-x", "c++" if cpp else "c", path],
                       stderr=subprocess.PIPE, stdout=subprocess.DEVNULL)
    text = r.stderr
    out, start = [], 0
    for m in loc.finditer(text):
        rec = text[start:m.start()]; start = m.end()
        q = rec.find(b"'"); c = rec.find(b"'\t", q + 1)
        if q < 0 or c < 0: continue
        kind, sp = rec[:q-1], rec[q+1:c]
        if kind == b"comment": continue
        if kind == b"unknown" and sp.strip() == b"": continue
        out.append((kind, sp, int(m.group(1))))
    return out
files = []
for root, _, names in os.walk(orig):
    for n in names:
        if n.lower().rsplit(".", 1)[-1] in ("c", "cpp", "h") and "." in n:
            p = os.path.join(root, n)
            if os.path.isfile(p) and not os.path.islink(p): files.append(os.path.relpath(p, orig))
def check(rel):
    cpp = rel.lower().endswith(".cpp")
    a, b = tokens(os.path.join(orig, rel), cpp), tokens(os.path.join(new, rel), cpp)
    same_tokens = [(k, s) for k, s, _ in a] == [(k, s) for k, s, _ in b]
    return rel, same_tokens, same_tokens and a == b
with ThreadPoolExecutor(os.cpu_count() or 2) as ex:
    results = list(ex.map(check, files))
changed = [r for r, t, _ in results if not t]
moved = [r for r, t, l in results if t and not l]
print(f"{len(files)} files; tokens changed in {len(changed)}; tokens kept but lines moved in {len(moved)}; identical with lines in {len(files)-len(changed)-len(moved)}")
for r in changed[:10]: print("  changed:", r)
for r in moved[:5]: print("  moved:", r)
