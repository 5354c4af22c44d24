#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times tavirel-batch on a fresh copy of a generated tree of 20,000 sources (c, cpp, h, asm,
# dt, inc; 1 to 64 KiB; comments of every kind) against `cp -r` of the same tree, the floor at
# which every byte is read and written once. Reports wall time and peak memory of each.
#
#   [TMPDIR=FOLDER] bench/batch_bench.sh [build/app/tavirel-batch [OPTION...]]
#
# The options go to tavirel-batch (-w, say). Its standard error, several hundred megabytes of
# warnings on this tree, goes to a file, of which the summary is shown.
set -euo pipefail
batch=$(realpath "${1:-build/app/tavirel-batch}")
shift || true
work=$(mktemp -d "${TMPDIR:-/tmp}/tavirel-batch-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(5)
c_lines = [
    "int counter = 0; // how many times\r\n",
    "/* a block comment\r\n   over two lines */\r\n",
    "static void step(int *p) { *p += 1; } /* inline */\r\n",
    "    printf(\"see http://example/x\\n\");\r\n",
    "#include <stdio.h>\r\n",
    "\r\n",
    "    for (i = 0; i < n; ++i) total += v[i];\r\n",
]
asm_lines = [
    "        mov  a, #0x10      ; load the counter\r\n",
    "loop:   djnz r0, loop      ; spin\r\n",
    "        db   \"text;with\", 0\r\n",
    "/* generated table */\r\n",
    "        nop\r\n",
]
exts = ["c", "cpp", "h", "asm", "dt", "inc"]
for i in range(20000):
    folder = os.path.join(root, "m%02d" % (i % 40), "p%03d" % (i % 500))
    os.makedirs(folder, exist_ok=True)
    ext = exts[i % 6]
    lines = c_lines if ext in ("c", "cpp", "h") else asm_lines
    size = rng.randint(1024, 65536)
    out = []
    total = 0
    while total < size:
        line = rng.choice(lines)
        out.append(line)
        total += len(line)
    with open(os.path.join(folder, "f%05d.%s" % (i, ext)), "w", newline="") as f:
        f.write("".join(out)[:size])
PY

du -sh "$work/src" | sed 's/^/tree: /'
sync
measure() {  # label, command...
    local label=$1
    shift
    /usr/bin/time -o "$work/time" -f "$label: %e s wall, %M KiB peak" "$@" >/dev/null 2>"$work/stderr"
    cat "$work/time"
}
cp -r "$work/src" "$work/for-batch"
measure "cp -r        " cp -r "$work/src" "$work/copy"
measure "tavirel-batch" "$batch" "$@" "$work/for-batch"
tail -n 1 "$work/stderr"
