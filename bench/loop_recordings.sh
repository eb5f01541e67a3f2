#!/usr/bin/env bash
# Recordings made from songs, as a recording of a game's music sounds: the
# song, then 60 % of the stretch from 40 % of its length on, again. For each
# one: the first loop candidate of `loops`, the loop `loop` chose, and
# whether the pieces chain: the intro and the loop as often as needed, joined by `save` and
# rendered, against the recording's render, on every frame of the
# recording.
#   bench/loop_recordings.sh CLI OUTDIR SONG.psg...
# MIN_SECONDS=S looks for loops of S seconds or more (default 5).
set -euo pipefail
cli=$1 out=$2 min=${MIN_SECONDS:-5}
shift 2
mkdir -p "$out"
frames() { "$cli" info "$1" | sed -n 's/^frames: //p'; }
for song in "$@"; do
    name=$(basename "$song" .psg)
    n=$(frames "$song" 2>/dev/null)
    from=$((n * 40 / 100))
    to=$((from + (n - from) * 60 / 100))
    "$cli" trim "$song" --no-state --from "$from" --to "$to" -o "$out/$name.again" >/dev/null 2>&1
    "$cli" save "$song" "$out/$name.again.psg" -o "$out/$name.rec" >/dev/null 2>&1
    rec=$out/$name.rec.psg
    total=$(frames "$rec")
    first=$("$cli" loops "$rec" --min-seconds "$min" --json | python3 -c 'import json,sys; c=json.load(sys.stdin); print(c[0]["start"], c[0]["period"]) if c else print("none")' || true)
    if ! chosen=$("$cli" loop "$rec" --min-seconds "$min" -o "$out/$name" --json 2>"$out/$name.err"); then
        printf '%-24s %6d frames  loops: %-10s  loop: %s\n' "$name" "$total" "$first" "$(cat "$out/$name.err")"
        continue
    fi
    read -r start period < <(python3 -c 'import json,sys; c=json.loads(sys.argv[1]); print(c["start"], c["period"])' "$chosen")
    # Where the chosen loop's repetition ends.
    end=$("$cli" loops "$rec" --min-seconds "$min" --json | python3 -c '
import json, sys
s, p = int(sys.argv[1]), int(sys.argv[2])
for c in json.load(sys.stdin):
    n = round(c["seconds"] * 50)
    if c["period"] == p and c["start"] <= s < c["start"] + n:
        print(c["start"] + p + n); break' "$start" "$period")
    passes=()
    for ((k = 0; k <= (end - start) / period; k++)); do passes+=("$out/$name.loop.psg"); done
    "$cli" save "$out/$name.intro.psg" "${passes[@]}" -o "$out/$name.chain" >/dev/null
    "$cli" render "$rec" --to "$end" -o "$out/$name.rec.wav"
    "$cli" render "$out/$name.chain.psg" --to "$end" -o "$out/$name.chain.wav"
    if cmp -s "$out/$name.rec.wav" "$out/$name.chain.wav"; then same=yes; else same=NO; fi
    printf '%-24s %6d frames  loops: %-10s  loop: start %d period %d (start moved %d)  second pass in the recording %d frames  chain = recording to frame %d: %s\n' \
        "$name" "$total" "$first" "$start" "$period" "$((start - ${first%% *}))" "$((end - start - period))" "$end" "$same"
done
