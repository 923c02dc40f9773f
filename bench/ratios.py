#!/usr/bin/env python3
"""Prints the tool's speed targets beside what the benchmarks of one run measured.

Reads the JSON files that bench/run.sh has the benchmark programs write (medians when
repeated) and prints, for each target, the measured figure, the ratio that the target is
about, and whether it is met.
"""
import json
import pathlib
import re
import sys


def load(directory):
    """Benchmark name (without aggregate suffix) -> the run's entry, medians preferred."""
    runs = {}
    for path in sorted(pathlib.Path(directory).glob("*.json")):
        for entry in json.loads(path.read_text())["benchmarks"]:
            if entry.get("aggregate_name", "median") != "median":
                continue
            name = re.sub(r"_median$", "", entry["run_name"] if "run_name" in entry else entry["name"])
            runs[name] = entry
    return runs


def seconds(entry):
    """Real time of one iteration, in seconds."""
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[entry.get("time_unit", "ns")]
    return entry["real_time"] * scale


def find(runs, pattern):
    matches = [name for name in runs if re.fullmatch(pattern, name)]
    return runs[matches[0]] if matches else None


def main():
    runs = load(sys.argv[1] if len(sys.argv) > 1 else "build-release/bench-results")
    rows = []

    def rate_row(label, pattern, counter, target, unit, scale):
        entry = find(runs, pattern)
        if entry is None or counter not in entry:
            rows.append((label, "not measured", "", f">= {target} {unit}", "?"))
            return
        value = entry[counter] / scale
        rows.append((label, f"{value:,.2f} {unit}", "", f">= {target} {unit}", "yes" if value >= target else "no"))

    def versus_row(label, ours, theirs, target):
        """target None: shown for comparison, no target."""
        wanted = f"<= {target}x" if target is not None else ""
        a, b = find(runs, ours), find(runs, theirs)
        if a is None or b is None:
            rows.append((label, "not measured", "", wanted, "?"))
            return
        ratio = seconds(a) / seconds(b)
        met = "" if target is None else "yes" if ratio <= target else "no"
        rows.append((label, f"{seconds(a) * 1e3:,.1f} ms vs {seconds(b) * 1e3:,.1f} ms", f"{ratio:.2f}x", wanted, met))

    def speedup_row(label, one, many):
        a, b = find(runs, one), find(runs, many)
        if a is None or b is None:
            return
        rows.append((label, f"{seconds(a) * 1e3:,.1f} ms -> {seconds(b) * 1e3:,.1f} ms",
                     f"{seconds(a) / seconds(b):.2f}x faster", "", ""))

    # Decoders: bytes of output per second (the benchmarks' bytes_per_second), beside memcpy.
    for label, pattern, target in [
        ("WAS decoder, speech-like", r"DecodeWas/speech_noise_music_random:0", 1.0),
        ("WAS decoder, noise-like", r"DecodeWas/speech_noise_music_random:1", 1.0),
        ("WAS decoder, music-like", r"DecodeWas/speech_noise_music_random:2", 1.0),
        ("WAS decoder, random code bytes", r"DecodeWas/speech_noise_music_random:3", 1.0),
        ("WAC decoder, speech-like", r"DecodeWac/speech_noise_music:0", 1.2),
        ("WAC decoder, noise-like", r"DecodeWac/speech_noise_music:1", 1.2),
        ("WAC decoder, music-like", r"DecodeWac/speech_noise_music:2", 1.2),
        ("image decoder 1024x512, full rows", r"Decode/w:1024/h:512/half:0", 1.6),
        ("image decoder 1024x512, half rows", r"Decode/w:1024/h:512/half:1", 2.5),
    ]:
        rate_row(label, pattern, "bytes_per_second", target, "GB/s", 1e9)
    rate_row("image decoder, 32x32 records (full rows)", r"Decode/w:32/h:32/half:0", "records/s", 300, "k records/s", 1e3)
    rate_row("image decoder, 32x32 records (half rows)", r"Decode/w:32/h:32/half:1", "records/s", 300, "k records/s", 1e3)
    rate_row("WAS random code bytes, 100 MB through packsmith-cli", r"ExtractThroughCli/was_random_codes.*",
             "bytes_per_second", 600, "MB/s", 1e6)

    versus_row("extract 40 pictures 1024x512 vs tar -x", r"ExtractPack/n:40/w:1024/h:512/j:0.*",
               r"UntarSameFiles/n:40/w:1024/h:512.*", 1.0)
    versus_row("extract 5,000 pictures 32x32 vs tar -x", r"ExtractPack/n:5000/w:32/h:32/j:0.*",
               r"UntarSameFiles/n:5000/w:32/h:32.*", 1.0)
    versus_row("rebuild 40 pictures 1024x512 (raw) vs tar -c", r"RebuildPack/n:40/w:1024/h:512/j:0/raw:1.*",
               r"TarSameFiles/n:40/w:1024/h:512.*", 1.0)
    versus_row("rebuild 5,000 pictures 32x32 (raw) vs tar -c", r"RebuildPack/n:5000/w:32/h:32/j:0/raw:1.*",
               r"TarSameFiles/n:5000/w:32/h:32.*", 1.0)
    versus_row("rebuild 40 pictures 1024x512 (compressed) vs tar -c", r"RebuildPack/n:40/w:1024/h:512/j:0/raw:0.*",
               r"TarSameFiles/n:40/w:1024/h:512.*", None)
    versus_row("rebuild 5,000 pictures 32x32 (compressed) vs tar -c", r"RebuildPack/n:5000/w:32/h:32/j:0/raw:0.*",
               r"TarSameFiles/n:5000/w:32/h:32.*", None)
    speedup_row("extract 40 x 1024x512: one thread -> one per core", r"ExtractPack/n:40/.*/j:1.*",
                r"ExtractPack/n:40/.*/j:0.*")
    speedup_row("extract 5,000 x 32x32: one thread -> one per core", r"ExtractPack/n:5000/.*/j:1.*",
                r"ExtractPack/n:5000/.*/j:0.*")
    speedup_row("rebuild 40 x 1024x512: one thread -> one per core", r"RebuildPack/n:40/.*/j:1/raw:1.*",
                r"RebuildPack/n:40/.*/j:0/raw:1.*")
    speedup_row("rebuild 5,000 x 32x32: one thread -> one per core", r"RebuildPack/n:5000/.*/j:1/raw:1.*",
                r"RebuildPack/n:5000/.*/j:0/raw:1.*")

    # The record compressor, per 1024x512 picture on one thread: time, quality and size.
    for kind in ["game_exact", "photo", "interface", "sprites"]:
        entry = find(runs, rf"Compress/{kind}.*")
        if entry is None:
            rows.append((f"compress 1024x512 {kind}", "not measured", "", "", "?"))
            continue
        time, psnr, ratio = seconds(entry), entry.get("psnr_dB", 0), entry.get("ratio", 1)
        quality = "exact" if psnr == 0 else f"{psnr:.1f} dB"
        most = 0.4 if kind == "interface" else None
        met = time <= 0.5 and (psnr == 0 or psnr >= 38) and (most is None or ratio <= most)
        rows.append((f"compress 1024x512 {kind}", f"{time * 1e3:,.0f} ms, {quality}", f"{ratio:.3f} of raw",
                     "<= 0.5 s, >= 38 dB" + (", <= 0.4 of raw" if most else ""), "yes" if met else "no"))

    memcpy = find(runs, r"Memcpy/MB:128")
    if memcpy is not None and "bytes_per_second" in memcpy:
        rows.append(("memcpy, for scale", f"{memcpy['bytes_per_second'] / 1e9:,.2f} GB/s", "", "", ""))

    widths = [max(len(str(row[i])) for row in rows + [("Measure", "Measured", "Ratio", "Target", "Met")])
              for i in range(5)]
    for row in [("Measure", "Measured", "Ratio", "Target", "Met")] + rows:
        print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())


if __name__ == "__main__":
    main()
