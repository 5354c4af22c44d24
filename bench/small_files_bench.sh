#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Times tavirel-batch on a tree shaped like real sources (5,000 files of 1 byte to 64 KiB, median
# about 5 KiB, a tenth over 25 KiB, in folders 3 to 6 deep, LF and CR LF) against `cp -r` of the
# same tree and against the floor of a run (bench/rewrite_floor.cpp: every source file replaced
# atomically by its own bytes, on one thread, with no text work). Each round copies the tree
# afresh for every program and times them one after another with a warm cache; the report gives
# the median of the rounds and the peak memory.
#
#   [TMPDIR=FOLDER] [FLOOR=PROGRAM] [KEEP_TREES=1] bench/small_files_bench.sh [ROUNDS] [PROGRAM...]
#
# Defaults: 5 rounds, build/app/tavirel-batch, FLOOR=build/bench/rewrite_floor.
#
# Each round copies the tree for every program before it times any, and starts with the program
# after the one the round before started with.
#
# KEEP_TREES=1 keeps every tree until the end and starts the rounds a minute after the last
# deletion, for ext4 without a journal: its inode allocator passes over inodes freed in the last
# minute (six while their table is not yet written back), so each run would otherwise pay for
# the deletion of the tree before it, and the order of the programs would decide their times.
#
# A PROGRAM with options is a quoted command line: 'build/app/tavirel-batch --no-undo'.
# Several programs (an older build, say) are timed in the same rounds, so that the figures come
# from one sitting.
set -euo pipefail
rounds=${1:-5}
shift || true
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(build/app/tavirel-batch)
floor=${FLOOR:-build/bench/rewrite_floor}
[ -x "$floor" ] || { echo "no floor program $floor: build the benchmarks first" >&2; exit 2; }
programs=("$floor" "${programs[@]}")
for i in "${!programs[@]}"; do
    read -r first rest <<<"${programs[$i]}"
    programs[$i]="$(realpath "$first")${rest:+ $rest}"
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tavirel-small-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work/src" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
# Pieces of one or more lines, so that every block comment is whole, as in real sources.
c_lines = [
    "int counter = 0; // how many times",
    "/* a block comment\n   over two lines */",
    "/*\n * A documentation block above a function.\n * @param p the value\n */",
    "static void step(int *p) { *p += 1; } /* inline */",
    "    return value / 2;",
    "#include <stdio.h>",
    "",
    "    for (i = 0; i < n; ++i) total += v[i];",
    "    if (flags & MASK) { state = NEXT; }",
    "}",
]
asm_lines = [
    "        mov  a, #0x10      ; load the counter",
    "loop:   djnz r0, loop      ; spin",
    "        db   'text', 0",
    "/* generated table */",
    "        nop",
]
exts = ["c", "c", "c", "h", "h", "cpp", "asm", "inc", "dt"]
def size():
    # Median about 5 KiB, a tenth over 25 KiB, 1 byte to 64 KiB.
    if rng.random() < 0.1:
        return rng.randint(25 * 1024, 64 * 1024)
    return max(1, min(64 * 1024, int(rng.lognormvariate(8.3, 0.8))))
folders = []
for top in range(12):
    for sub in range(8):
        depth = rng.randint(3, 6)
        parts = ["mod%02d" % top, "part%d" % sub] + ["d%d" % k for k in range(depth - 2)]
        folders.append(os.path.join(root, *parts))
for i in range(5000):
    folder = folders[i % len(folders)]
    os.makedirs(folder, exist_ok=True)
    ext = exts[i % len(exts)]
    lines = c_lines if ext in ("c", "cpp", "h") else asm_lines
    end = "\r\n" if i % 4 == 0 else "\n"
    want = size()
    out, total = [], 0
    while True:
        piece = rng.choice(lines).replace("\n", end) + end
        if total + len(piece) > want:
            break
        out.append(piece)
        total += len(piece)
    text = "".join(out) if out else piece[:want]  # whole pieces, as a real file ends
    with open(os.path.join(folder, "f%05d.%s" % (i, ext)), "w", newline="") as f:
        f.write(text)
PY

sizes=$(find "$work/src" -type f -printf '%s\n' | sort -n)
count=$(wc -l <<<"$sizes")
echo "tree: $count files, $(du -sh "$work/src" | cut -f1), median $(sed -n "$((count / 2))p" <<<"$sizes") bytes," \
     "$(awk '$1 > 25600' <<<"$sizes" | wc -l) over 25 KiB"
sync

measure() {  # label, command...: prints "seconds kib"
    sync  # no writeback of the round before runs during the timing
    # The clock to the microsecond: time(1) gives hundredths, too coarse for a few per cent.
    local start end
    start=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo "$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", (b - a) / 1e9}') $(cat "$work/time")"
}
declare -A times memory
labels=("cp -r")
for p in "${programs[@]}"; do labels+=("$p"); done
keep=${KEEP_TREES:-}
if [ -n "$keep" ]; then
    sync
    sleep 61
fi
for round in $(seq "$rounds"); do
    # Where the trees are kept, each round has folders of its own.
    at=$work/round${keep:+-$round}
    rm -rf "$work"/round
    mkdir "$at"
    # The round's trees are all copied first and written back: no program is timed while the
    # copy made for it is still being written out.
    for i in "${!programs[@]}"; do cp -r "$work/src" "$at/run-$i"; done
    sync
    # Each round starts one program further on, so that no program always follows the same one.
    count=${#labels[@]}
    for k in $(seq 0 $((count - 1))); do
        i=$(((k + round) % count))
        label=${labels[$i]}
        if [ "$i" -eq 0 ]; then
            read -r t m < <(measure cp -r "$work/src" "$at/copy")
        else
            # A fresh tree and no journal of an earlier run: each run is a first run over its folder.
            read -r -a command <<<"$label"
            read -r t m < <(XDG_STATE_HOME="$at/state-$i" measure "${command[@]}" "$at/run-$((i - 1))")
        fi
        times["$label"]+="$t "
        memory["$label"]=$m
    done
done
median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
copy=$(median "${times["cp -r"]}")
least=$(median "${times[${programs[0]}]}")
for label in "${labels[@]}"; do
    m=$(median "${times[$label]}")
    printf '%-60s median %6.4f s (%s) = %5.2f times cp -r, %5.2f times the floor, %6d KiB peak\n' "$label" "$m" \
        "${times[$label]% }" "$(awk -v a="$m" -v b="$copy" 'BEGIN {print a / b}')" \
        "$(awk -v a="$m" -v b="$least" 'BEGIN {print a / b}')" "${memory[$label]}"
done
