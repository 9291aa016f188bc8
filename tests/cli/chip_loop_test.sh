#!/bin/bash
# The chip-by-chip loop on a simulated chip taken out and put in through its ".out" file, ended by
# SIGTERM with its totals; then three simulated programmers at once, the second with no chip.
source "$(dirname "$0")/cli_test_env.sh"
trap 'kill $loop 2>/dev/null || true; rm -rf "$work"' EXIT
serial=(--chip AT89S52 --serial 0x1FF0:le16:1000 --serial-file "$work/next" --log "$work/run.jsonl")
# Waits (at most 60 s) until the loop's output holds the text N times.
await() {
    for _ in $(seq 600); do
        [ "$(grep -c "$1" "$work/out" || true)" -ge "$2" ] && return 0
        sleep 0.1
    done
    echo "timed out waiting for '$1' x$2" >&2
    cat "$work/out" >&2
    return 1
}
touch "$work/chip.bin.out"
"$cli" --simulate --sim-image "$work/chip.bin" "${serial[@]}" --repeat auto "$image" \
    > "$work/out" 2>/dev/null &
loop=$!
await '请放入器件.' 1
rm "$work/chip.bin.out"
await '本片合格,合格1片,不合格0片.' 1
await '请放入器件.' 1
# The chip just programmed stays in: it is not programmed again.
touch "$work/chip.bin.out"
await '请放入器件.' 2
rm "$work/chip.bin.out"
await '本片合格,合格2片,不合格0片.' 1
kill -TERM $loop
status=0
wait $loop || status=$?
[ "$status" = 143 ]
grep -q '共合格2片,不合格0片.' "$work/out"
[ "$(grep -c '"result":"success"' "$work/run.jsonl")" = 2 ]
# Three at once, the second without a chip: the others pass and its number goes to the next one.
touch "$work/b.bin.out"
status=0
timeout 120 "$cli" --simulate -q --sim-image "$work/a.bin" --sim-image "$work/b.bin" \
    --sim-image "$work/c.bin" "${serial[@]}" auto "$image" 2>/dev/null || status=$?
[ "$status" = 1 ]
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
numbers = sorted(open(f"{work}/{n}.bin", "rb").read()[0x1FF0] for n in "ac")
assert numbers == [1002 & 0xFF, 1003 & 0xFF], numbers
records = [json.loads(line) for line in open(f"{work}/run.jsonl").read().splitlines()[2:]]
assert sorted(r["result"] for r in records) == ["failed", "success", "success"], records
assert open(f"{work}/next").read() == "1004\n"
PY
