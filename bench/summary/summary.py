#!/usr/bin/env python3
"""Runs the port, serial, Arduino link, HEX and verify-listing benchmarks of a build and prints one table of
figure, budget and measured value, as Markdown.

Usage: bench/summary/summary.py [BUILD_DIR]   (default build/default, with the benchmarks built),
or build and run in one go: cmake --build --preset default --target bench_summary
Exits 1 when a benchmark cannot be run or a figure is over its budget.
"""

import json
import pathlib
import subprocess
import sys

SERIAL_BAUD = 57600


def run(binary, pattern):
    """Runs one benchmark program on the benchmarks matching pattern; their results by name."""
    out = subprocess.run(
        [str(binary), "--benchmark_format=json", f"--benchmark_filter={pattern}"],
        check=True, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    results = {}
    for entry in json.loads(out)["benchmarks"]:
        if entry.get("error_occurred"):
            raise RuntimeError(f"{entry['name']}: {entry.get('error_message', 'failed')}")
        results[entry["name"]] = entry
    return results


def one(results, prefix):
    for name, entry in results.items():
        if name.startswith(prefix):
            return entry
    raise RuntimeError(f"no result for {prefix}")


def ms(entry):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
    return entry["real_time"] * scale


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/default")
    bins = build / "bin"
    rows = []  # (figure, budget, measured, within)
    try:
        lpt = run(bins / "lpt_bench", "BM_Write4KiBAtSpeed2")
        write = one(lpt, "BM_Write4KiBAtSpeed2")
        per_byte = write["port_ops_per_byte"]
        rows.append(("Parallel port operations per byte, cable speed 2", "264",
                     f"{per_byte:.1f}", round(per_byte) <= 264))
        port_rate = write["port_ops_per_second"]
        rows.append(("Parallel write, simulated port operations per second", ">= 5,000,000",
                     f"{port_rate:,.0f}", port_rate >= 5e6))

        serial = one(run(bins / "serial_bench", f"BM_WriteAndVerify8K/{SERIAL_BAUD}/"),
                     f"BM_WriteAndVerify8K/{SERIAL_BAUD}/")
        ratio = serial["ratio_to_wire"]
        rows.append((f"Serial 8 KiB write + verify at {SERIAL_BAUD} baud, against wire time",
                     "<= +10 %",
                     f"{(ratio - 1) * 100:+.1f} % ({ms(serial) / 1000:.2f} s, wire "
                     f"{serial['wire_s']:.2f} s)", ratio <= 1.10))

        arduino = one(run(bins / "isp_bench", "BM_ArduinoWriteAndVerify8K/115200/10"),
                      "BM_ArduinoWriteAndVerify8K/115200/10")
        ratio = arduino["ratio_to_line"]
        rows.append(("Arduino link 8 KiB write + verify at 115200 baud, against line time",
                     "<= 1.15x", f"{ratio:.3f}x ({ms(arduino) / 1000:.2f} s, line "
                     f"{arduino['line_s']:.2f} s)", ratio <= 1.15))

        image = run(bins / "image_bench", ".")
        hex_ms = ms(one(image, "BM_ConvertHex64K"))
        rows.append(("Intel HEX conversion of 64 KiB", "< 100 ms", f"{hex_ms:.2f} ms",
                     hex_ms < 100))
        listing_ms = ms(one(image, "BM_VerifyListing65536"))
        rows.append(("Verify listing of 65,536 lines", "< 100 ms", f"{listing_ms:.2f} ms",
                     listing_ms < 100))
    except (OSError, subprocess.CalledProcessError, RuntimeError, KeyError,
            json.JSONDecodeError) as error:
        print(f"summary: {error}", file=sys.stderr)
        return 1

    print("| Figure | Budget | Measured | Within |")
    print("|---|---|---|---|")
    for figure, budget, measured, within in rows:
        print(f"| {figure} | {budget} | {measured} | {'yes' if within else 'NO'} |")
    return 0 if all(row[3] for row in rows) else 1


if __name__ == "__main__":
    sys.exit(main())
