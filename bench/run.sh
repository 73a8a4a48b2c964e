#!/usr/bin/env bash
# Whole-process benchmark. Converts a 64 MiB VAG file (4,194,304 blocks of encoded tones, about
# 117 million samples) with the release build and sets the time beside the input-and-output floor:
# io_floor reads the same input and writes the same number of output bytes in the same pieces,
# without decoding. Also times a 10-block file, reads the peak memory, and runs the decoding
# benchmarks: the serial chain and the multi-chain decoder with each kernel.
# Needs hyperfine, GNU time and python3 (Debian: hyperfine, time, python3).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
bin=build/bench
work=$PWD/build/bench-data
mkdir -p "$work/out"

# 16,384 blocks of tones encoded once and written 256 times over.
if [ ! -f "$work/big.vag" ]; then
    "$bin/make_vag" "$work/big.vag" --name big --rate 44100 --seconds 10.4025 --repeat 256
fi
"$bin/make_vag" "$work/small.vag" --name small --rate 44100 --seconds 0.0063
cat "$work/big.vag" "$work/small.vag" >/dev/null # page-cached input

hyperfine --style basic --warmup 1 --runs 10 --export-json "$work/big.json" \
    --prepare "rm -f $work/out/big.wav $work/out/floor.wav; sync" \
    -n mirnod "$bin/mirnod $work/big.vag $work/out" \
    -n "input and output floor" "$bin/bench/io_floor $work/big.vag $work/out/floor.wav"
hyperfine --style basic -N --warmup 5 --runs 200 --export-json "$work/small.json" \
    -n "mirnod, 10 blocks" "$bin/mirnod $work/small.vag $work/out"
rm -f "$work/out/big.wav"
sync
/usr/bin/time -v "$bin/mirnod" "$work/big.vag" "$work/out" 2>"$work/time.txt" >/dev/null
"$bin/bench/mirnod_bench" --benchmark_filter='decode_|transcode_file' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_format=json >"$work/bench.json"

python3 - "$work" <<'PY'
import json, re, sys
work = sys.argv[1]
big = {r["command"]: r for r in json.load(open(f"{work}/big.json"))["results"]}
small = json.load(open(f"{work}/small.json"))["results"][0]
bench = {b["name"]: b for b in json.load(open(f"{work}/bench.json"))["benchmarks"]}
def median(name, counter):
    return bench[f"{name}_median"][counter]
serial = median("decode_block_stream", "ns_per_sample")
peak_kib = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", open(f"{work}/time.txt").read()).group(1))
mirnod, floor = big["mirnod"], big["input and output floor"]
print()
print("| measure | value |")
print("|---|---|")
print(f"| serial chain (decode_block), 64 MiB of encoded tones | {serial:.2f} ns/sample |")
for kernel, name in ((0, "portable, 4 lanes"), (1, "SSE2, 4 lanes"), (2, "AVX2, 8 lanes")):
    key = f"decode_stretch_stream/kernel:{kernel}/stretch:0"
    if f"{key}_median" not in bench:
        continue
    ns = median(key, "ns_per_sample")
    print(f"| multi-chain, {name} | {ns:.2f} ns/sample ({serial / ns:.2f} x serial), "
          f"{median(key, 'redecoded_percent'):.2f} % of blocks repaired |")
print(f"| transcode_to_wav, page-cached input | {median('transcode_file', 'output_MB_per_s'):.0f} MB/s of output |")
print(f"| 64 MiB VAG, whole process (mean of 10) | {mirnod['mean']:.3f} s wall, {mirnod['user']:.3f} s user, {mirnod['system']:.3f} s system |")
print(f"| input and output floor, same bytes and pieces | {floor['mean']:.3f} s |")
print(f"| whole process / floor | {mirnod['mean'] / floor['mean']:.2f} (target 2.5) |")
print(f"| peak resident memory | {peak_kib / 1024:.1f} MiB (target under 8) |")
print(f"| 10-block file, whole process | {small['mean'] * 1000:.2f} ms |")
PY
