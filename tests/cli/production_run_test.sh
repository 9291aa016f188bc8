#!/bin/bash
# A production run of 20 simulated chips, two programs at a time sharing one counter file and one
# run log: each chip's flash must hold its own number, the numbers 1000..1019 each once, and the
# log 20 whole JSON lines naming them. A flash file alone names the simulated AT89S52, whose size
# the number's place is checked against.
source "$(dirname "$0")/cli_test_env.sh"
run() {
    timeout 120 "$cli" --sim-image "$work/chip$1.bin" -q \
        --serial 0x1FF0:le16:1000 --serial-file "$work/next" --log "$work/run.jsonl" auto "$image"
}
for pair in $(seq 0 2 18); do
    run "$pair" &
    first=$!
    run $((pair + 1))
    wait "$first"
done
# A number on the image's bytes is a usage error; a failed run is logged and uses no number.
status=0
"$cli" --simulate -q --serial 0:le16:1 --serial-file "$work/next" auto "$image" 2>/dev/null || status=$?
[ "$status" = 2 ]
status=0
"$cli" --simulate --chip AT89S52 -q --serial 0x1FF0:le16:1000 --serial-file "$work/next" \
    --log "$work/failed.jsonl" auto "$work/missing.hex" 2>/dev/null || status=$?
[ "$status" = 1 ] && grep -q '"result":"failed"' "$work/failed.jsonl"
# A project file names it all; a changed image is refused while the project pins its SHA-256.
cp "$image" "$work/fw.hex"
cat > "$work/board.olp" <<OLP
# board.olp
[Project]
image = fw.hex
sha256 = $(sha256sum "$work/fw.hex" | cut -d' ' -f1)
chip = AT89S52
chain = detect erase write verify
serial = 0x1FF0:le16:1000
serial-file = next
log = project.jsonl
OLP
"$cli" --simulate --sim-image "$work/chip20.bin" -q --project "$work/board.olp"
grep -q "\"project\":{\"path\":\"$work/board.olp\"" "$work/project.jsonl"
echo >> "$work/fw.hex"
status=0
"$cli" --simulate --sim-image "$work/chip20.bin" -q --project "$work/board.olp" 2>/dev/null || status=$?
[ "$status" = 2 ]
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
numbers = []
for i in range(20):
    flash = open(f"{work}/chip{i}.bin", "rb").read()
    numbers.append(flash[0x1FF0] | flash[0x1FF1] << 8)
assert sorted(numbers) == list(range(1000, 1020)), numbers
lines = open(f"{work}/run.jsonl").read().splitlines()
assert len(lines) == 20, len(lines)
records = [json.loads(line) for line in lines]
assert sorted(r["serial"] for r in records) == sorted(numbers) and all(r["result"] == "success" for r in records)
assert all(r["differences"] == 0 for r in records)
assert open(f"{work}/next").read() == "1021\n"
print(f"20 chips passed, serial numbers {min(numbers)}..{max(numbers)}, 20 log lines")
PY
