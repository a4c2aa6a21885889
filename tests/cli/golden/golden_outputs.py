#!/usr/bin/env python3
"""Golden outputs of nimbra-decode: every demodulator with the main options, on the sample flight
and on synthesized noisy, clicking, fast, slow, AC-coupled, corrupted, bogus-fix and
southern-hemisphere flights, compared byte for byte with the outputs kept in expected/.

The inputs are made afresh by nimbra-synth (which is deterministic), so the test also holds the
synthesizer to its outputs. Every run passes --demod and a fixed --start-time, so that neither a
change of the default demodulator nor the clock changes what is compared.

Usage: golden_outputs.py BIN_DIR            compare (exit 1 and a diff on the first mismatches)
       golden_outputs.py BIN_DIR --every N  compare every Nth case only (sanitizer builds)
       golden_outputs.py BIN_DIR --update   rewrite expected/ from the current programs
       golden_outputs.py BIN_DIR --list     list the cases
"""
import difflib
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED_DIR = os.path.join(HERE, "expected")
START = "2026-12-07T06:17:45Z"
DEMODS = ("edge", "level", "pattern", "sync")

# name: nimbra-synth options. The sample flight is the bundled sample recording; the others are
# short, so that the whole test takes seconds.
INPUTS = {
    "sample": ["--duration", "90", "--ebn0", "20", "--lowpass", "7000", "--seed", "2026"],
    # Gaussian noise near where the slicers start to fail.
    "noisy": ["--duration", "20", "--ebn0", "10", "--lowpass", "7000", "--seed", "11"],
    # The radio path at a weak signal: discriminator clicks.
    "clicks": ["--duration", "20", "--channel", "rf", "--ebn0", "12", "--seed", "12"],
    # Bit clocks 2,500 ppm either side of 9,600 bit/s.
    "fast": ["--duration", "20", "--samples-per-bit", "4.9875", "--ebn0", "16", "--lowpass",
             "7000", "--seed", "13"],
    "slow": ["--duration", "20", "--samples-per-bit", "5.0125", "--ebn0", "16", "--seed", "14"],
    # A sound card's AC coupling: long runs of one level sag towards zero.
    "coupled": ["--duration", "20", "--highpass", "50", "--ebn0", "16", "--lowpass", "7000",
                "--seed", "18"],
    "corrupt": ["--duration", "20", "--corrupt-every", "3", "--ebn0", "20", "--seed", "15"],
    "bogus": ["--duration", "20", "--bogus-every", "2", "--ebn0", "20", "--seed", "16"],
    # Inverted polarity, southern and western hemispheres, a time counter that wraps, more
    # satellites, an identifier with leading zeros.
    "southern": ["--duration", "20", "--invert", "--station", "-34.6,-58.4,25", "--id", "00AB",
                 "--first-counter", "65525", "--satellites", "12", "--ebn0", "18", "--seed",
                 "17"],
}


def polarity(demod, inverted_input=False):
    """Options that make `demod` read the input's polarity: Pattern reads the high level as a 1
    bit, Edge and Level the low one, Sync either."""
    needs_invert = (demod == "pattern") != inverted_input and demod != "sync"
    return ["--invert"] if needs_invert else []


def cases():
    """(name, input, options, track files) for every run."""
    out = []

    def add(name, inp, options, tracks=()):
        out.append((name, inp, options, tracks))

    for d in DEMODS:
        add(f"sample-{d}", "sample", ["--demod", d])
        add(f"sample-{d}-invert", "sample", ["--demod", d, "--invert"])
        add(f"sample-{d}-raw", "sample", ["--demod", d, "--raw"] + polarity(d))
        add(f"sample-{d}-filter", "sample", ["--demod", d, "--filter"] + polarity(d))
        add(f"sample-{d}-csv", "sample",
            ["--demod", d, "--psu", "--calibration", "--format", "csv"] + polarity(d))
        add(f"sample-{d}-jsonl", "sample", ["--demod", d, "--psu", "--format", "jsonl"] + polarity(d))
        add(f"sample-{d}-text-options", "sample", ["--demod", d, "--psu", "--calibration",
                                                   "--bad-crc", "--reject-bogus"] + polarity(d))
        add(f"sample-{d}-tracks", "sample", ["--demod", d] + polarity(d), ("gpx", "kml"))
    add("sample-edge-threshold", "sample", ["--demod", "edge", "--threshold", "2500"])
    add("sample-level-threshold", "sample", ["--demod", "level", "--threshold", "2500"])
    add("sample-pattern-5000", "sample", ["--demod", "pattern", "--invert", "--samples-per-bit", "5"])
    add("sample-edge-station", "sample",
        ["--demod", "edge", "--station", "40.5,-77.5,300", "--format", "csv"])

    for inp in ("noisy", "clicks", "fast", "slow", "coupled"):
        for d in DEMODS:
            add(f"{inp}-{d}", inp, ["--demod", d] + polarity(d))
            add(f"{inp}-{d}-filter", inp, ["--demod", d, "--filter"] + polarity(d))
            add(f"{inp}-{d}-bad-crc-csv", inp, ["--demod", d, "--bad-crc", "--format", "csv"]
                + polarity(d))
    for spb in ("4.9875", "5.0125"):
        inp = "fast" if spb == "4.9875" else "slow"
        add(f"{inp}-pattern-matched", inp, ["--demod", "pattern", "--invert",
                                            "--samples-per-bit", spb])

    for d in DEMODS:
        add(f"corrupt-{d}", "corrupt", ["--demod", d] + polarity(d))
        add(f"corrupt-{d}-bad-crc", "corrupt", ["--demod", d, "--bad-crc"] + polarity(d))
        add(f"corrupt-{d}-bad-crc-jsonl", "corrupt", ["--demod", d, "--bad-crc", "--format",
                                                      "jsonl"] + polarity(d))
        add(f"bogus-{d}", "bogus", ["--demod", d] + polarity(d))
        add(f"bogus-{d}-reject", "bogus", ["--demod", d, "--reject-bogus"] + polarity(d))
        add(f"bogus-{d}-reject-range-csv", "bogus", ["--demod", d, "--reject-bogus",
                                                     "--max-range", "0.3", "--format", "csv"]
            + polarity(d))
        add(f"bogus-{d}-reject-tracks", "bogus", ["--demod", d, "--reject-bogus"] + polarity(d),
            ("gpx", "kml"))
        add(f"southern-{d}", "southern",
            ["--demod", d, "--station", "-34.6,-58.4,25"] + polarity(d, inverted_input=True))
        add(f"southern-{d}-csv", "southern",
            ["--demod", d, "--station", "-34.6,-58.4,25", "--psu", "--calibration", "--format",
             "csv"] + polarity(d, inverted_input=True))
    return out


def make_inputs(bin_dir, work):
    for name, options in INPUTS.items():
        path = os.path.join(work, name + ".wav")
        p = subprocess.run([os.path.join(bin_dir, "nimbra-synth"), *options, path],
                           capture_output=True)
        if p.returncode != 0:
            sys.exit(f"nimbra-synth {' '.join(options)} failed: {p.stderr.decode()}")


def run_case(bin_dir, work, case):
    """The run's whole output as bytes: the command, exit status, stdout, stderr, track files."""
    name, inp, options, tracks = case
    args = ["--quiet", "--start-time", START, *options]
    track_paths = []
    for kind in tracks:
        path = os.path.join(work, f"track.{kind}")
        args += [f"--{kind}", path]
        track_paths.append((kind, path))
    shown = " ".join(args).replace(work + os.sep, "")
    p = subprocess.run([os.path.join(bin_dir, "nimbra-decode"), *args,
                        os.path.join(work, inp + ".wav")], capture_output=True, timeout=300)
    out = [f"nimbra-decode {shown} {inp}.wav\n".encode(), f"exit {p.returncode}\n".encode(),
           b"--- stdout\n", p.stdout, b"--- stderr\n", p.stderr]
    for kind, path in track_paths:
        out.append(f"--- track.{kind}\n".encode())
        with open(path, "rb") as f:
            out.append(f.read())
        os.remove(path)
    return b"".join(out)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    bin_dir = os.path.abspath(sys.argv[1])
    mode = sys.argv[2] if len(sys.argv) > 2 else ""
    all_cases = cases()
    if mode == "--every":
        all_cases = all_cases[::int(sys.argv[3])]
    if mode == "--list":
        for name, inp, options, tracks in all_cases:
            print(name, inp, " ".join(options), " ".join(tracks))
        return 0

    work = tempfile.mkdtemp(prefix="nimbra-golden.")
    try:
        make_inputs(bin_dir, work)
        if mode == "--update":
            shutil.rmtree(EXPECTED_DIR, ignore_errors=True)
            os.makedirs(EXPECTED_DIR)
        failed = []
        for case in all_cases:
            got = run_case(bin_dir, work, case)
            path = os.path.join(EXPECTED_DIR, case[0] + ".txt")
            if mode == "--update":
                with open(path, "wb") as f:
                    f.write(got)
                continue
            try:
                with open(path, "rb") as f:
                    want = f.read()
            except FileNotFoundError:
                want = b""
            if got != want:
                failed.append(case[0])
                if len(failed) <= 3:
                    diff = difflib.unified_diff(
                        want.decode(errors="replace").splitlines(True),
                        got.decode(errors="replace").splitlines(True),
                        "expected/" + case[0] + ".txt", "now", n=1)
                    sys.stdout.writelines(list(diff)[:40])
        if mode == "--update":
            print(f"wrote {len(all_cases)} golden outputs to {EXPECTED_DIR}")
            return 0
        if failed:
            print(f"{len(failed)} of {len(all_cases)} golden outputs differ: {' '.join(failed)}")
            return 1
        print(f"{len(all_cases)} golden outputs unchanged")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
