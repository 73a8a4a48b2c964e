#!/usr/bin/env bash
# Whole-process benchmark. Converts a 64 MiB VAG file (4,194,304 blocks, about 117 million
# samples) with the release build and sets the time beside two floors: writing the same number of
# bytes with dd in 1 MiB pieces, and the decoder's arithmetic chain alone over as many samples
# (the arithmetic_floor benchmark). Also times a 10-block file and reads the peak memory.
# Needs hyperfine, GNU time and python3 (Debian: hyperfine, time, python3).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
bin=build/bench
work=$PWD/build/bench-data
mkdir -p "$work/out"

# 16,384 blocks of tones encoded once and written 256 times over.
samples=$((4194304 * 28))
if [ ! -f "$work/big.vag" ]; then
    "$bin/make_vag" "$work/big.vag" --name big --rate 44100 --seconds 10.4025 --repeat 256
fi
"$bin/make_vag" "$work/small.vag" --name small --rate 44100 --seconds 0.0063
cat "$work/big.vag" "$work/small.vag" >/dev/null  # page-cached input
wav_bytes=$((4194304 * 56 + 44))

hyperfine --style basic --warmup 1 --runs 5 --export-json "$work/big.json" \
    --prepare "rm -f $work/out/big.wav $work/out/dd.bin; sync" \
    -n mirnod "$bin/mirnod $work/big.vag $work/out" \
    -n dd "dd if=/dev/zero of=$work/out/dd.bin bs=1M count=$wav_bytes iflag=count_bytes status=none"
hyperfine --style basic -N --warmup 5 --runs 200 --export-json "$work/small.json" \
    -n "mirnod, 10 blocks" "$bin/mirnod $work/small.vag $work/out"
rm -f "$work/out/big.wav"; sync
/usr/bin/time -v "$bin/mirnod" "$work/big.vag" "$work/out" 2>"$work/time.txt" >/dev/null
"$bin/bench/mirnod_bench" --benchmark_filter='decode_block_stream|arithmetic_floor|transcode_file' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$work/bench.json"

python3 - "$work" "$samples" <<'PY'
import json, re, sys
work, samples = sys.argv[1], int(sys.argv[2])
big = {r["command"]: r for r in json.load(open(f"{work}/big.json"))["results"]}
small = json.load(open(f"{work}/small.json"))["results"][0]
bench = {b["name"]: b for b in json.load(open(f"{work}/bench.json"))["benchmarks"]}
def median(name, counter):
    return bench[f"{name}_median"][counter]
floor_ns = median("arithmetic_floor", "ns_per_sample")
decode_ns = median("decode_block_stream", "ns_per_sample")
floor_s = floor_ns * samples * 1e-9
peak_kib = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", open(f"{work}/time.txt").read()).group(1))
mirnod, dd = big["mirnod"], big["dd"]
print()
print(f"| measure | value |")
print(f"|---|---|")
print(f"| arithmetic floor | {floor_ns:.3f} ns/sample |")
print(f"| decode_block | {decode_ns:.3f} ns/sample ({decode_ns / floor_ns:.2f} x floor, target 1.3) |")
print(f"| transcode_to_wav, page-cached input | {median('transcode_file', 'output_MB_per_s'):.0f} MB/s of output |")
print(f"| 64 MiB VAG, whole process (mean of 5) | {mirnod['mean']:.3f} s wall, {mirnod['user']:.3f} s user, {mirnod['system']:.3f} s system |")
print(f"| dd, same {int(samples * 2 + 44):,} bytes | {dd['mean']:.3f} s |")
print(f"| floor for {samples:,} samples | {floor_s:.3f} s |")
print(f"| whole process / (floor + dd) | {mirnod['mean'] / (floor_s + dd['mean']):.2f} (target 1.25) |")
print(f"| peak resident memory | {peak_kib / 1024:.1f} MiB (target under 8) |")
print(f"| 10-block file, whole process | {small['mean'] * 1000:.2f} ms (target under 5) |")
PY
