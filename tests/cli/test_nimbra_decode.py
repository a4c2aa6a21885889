#!/usr/bin/env python3
"""nimbra-decode driven as its users drive it: recordings made by nimbra-synth, converted by sox
into other rates, channel layouts and formats, fed as files and through a pipe, in every output
format, with the bad inputs a user runs into. Expected values come from the flight's own list of
fixes (the synthesizer's sidecar CSV) and from hand-worked formulas, never from the decoder.

Usage: test_nimbra_decode.py BIN_DIR [unittest arguments]
"""
import csv
import datetime
import json
import math
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

BIN = None
WORK = None
FLIGHT = None       # 20 s flight, light noise, 48 kHz mono
EXPECTED = None     # its fixes, from the synthesizer

LINE_RE = re.compile(r"^\d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d{4} \d\d:\d\d:\d\d (.*)$")
START = "2026-12-06T06:17:45Z"
START_DT = datetime.datetime(2026, 12, 6, 6, 17, 45, tzinfo=datetime.timezone.utc)


def run(args, stdin=None, input_bytes=None, timeout=60):
    """Runs a program; returns (status, stdout text, stderr text)."""
    p = subprocess.run(args, stdin=stdin, input=input_bytes, capture_output=True, timeout=timeout)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def decode(*args, **kw):
    return run([os.path.join(BIN, "nimbra-decode"), *args], **kw)


def synth(path, *args):
    status, _, err = run([os.path.join(BIN, "nimbra-synth"), *args, path])
    assert status == 0, err


def read_expected(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def tails(text):
    """The part of each decoded-text line after its time stamp."""
    out = []
    for line in text.split("\n"):
        if not line:
            continue
        m = LINE_RE.match(line)
        assert m, "not a decoded-text line: %r" % line
        out.append(m.group(2))
    return out


def expected_tails(rows, with_bad=False):
    return ["%s %s %s %s %s" % (r["id"], r["counter"], r["latitude"], r["longitude"], r["altitude"])
            for r in rows if with_bad or r["crc_good"] == "1"]


def sox(*args):
    status, _, err = run(["sox", *args])
    assert status == 0, err


def summary(err):
    m = re.search(r"^good (\d+) bad (\d+)$", err, re.M)
    assert m, "no summary in %r" % err
    return int(m.group(1)), int(m.group(2))


def look_angles(lat0, lon0, h0, lat, lon, h):
    """Range (km), azimuth and elevation (degrees) on a sphere with a local flat-earth
    correction: independent of the decoder's ellipsoid model, good to a fraction of a percent at
    these distances."""
    r = 6371000.0
    dn = math.radians(lat - lat0) * r
    de = math.radians(lon - lon0) * r * math.cos(math.radians(lat0))
    ground = math.hypot(dn, de)
    up = (h - h0) - ground * ground / (2 * r)
    rng = math.sqrt(ground * ground + up * up)
    az = math.degrees(math.atan2(de, dn)) % 360.0
    el = math.degrees(math.atan2(up, ground))
    return rng / 1000.0, az, el


class Phase1Decoding(unittest.TestCase):
    def test_sample_recording_with_every_demodulator(self):
        wav = os.path.join(BIN, "sample-flight.wav")
        rows = read_expected(os.path.join(BIN, "sample-flight.expected.csv"))
        self.assertGreaterEqual(len(rows), 60)
        for args in (["--demod", "edge"], ["--demod", "level"], ["--demod", "pattern", "--invert"],
                     ["--demod", "sync"], ["--raw"]):
            with self.subTest(args=args):
                status, out, err = decode("-q", *args, wav)
                self.assertEqual(status, 0, err)
                self.assertEqual(tails(out), expected_tails(rows))
                self.assertNotIn("\r", out)
                self.assertTrue(out.endswith("\n"))
                good, bad = summary(err)
                self.assertEqual(bad, 0)
                self.assertGreaterEqual(good, 2 * len(rows) - 1)

    def test_raw_file_and_pipe_give_identical_lines(self):
        # With a start time the time stamps follow the recording, so the runs compare whole.
        status, from_file, err = decode("-q", "--raw", "--start-time", START, FLIGHT)
        self.assertEqual(status, 0, err)
        self.assertEqual(tails(from_file), expected_tails(EXPECTED))
        with open(FLIGHT, "rb") as f:
            data = f.read()
        status, from_pipe, err = decode("-q", "--start-time", START, "-", input_bytes=data)
        self.assertEqual(status, 0, err)
        self.assertEqual(from_pipe, from_file)
        # The same samples read through the file's header decode to the same lines.
        status, from_header, err = decode("-q", "--start-time", START, FLIGHT)
        self.assertEqual(from_header, from_file)

    def test_start_time_follows_the_recording(self):
        status, out, err = decode("-q", "--start-time", START, FLIGHT)
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        self.assertEqual(len(lines), len(EXPECTED))
        for line, row in zip(lines, EXPECTED):
            stamp = datetime.datetime.strptime(line[:20], "%d %b %Y %H:%M:%S").replace(
                tzinfo=datetime.timezone.utc)
            offset = (stamp - START_DT).total_seconds()
            end = float(row["end_s"])
            # Made when the block's last character is complete: at its end or, for a slicer,
            # at the next change of the line (the next block, half a second later).
            self.assertGreaterEqual(offset, math.floor(end))
            self.assertLessEqual(offset, end + 0.6)

    def test_decoder_options(self):
        status, out, err = decode("-q", "--psu", FLIGHT)
        self.assertEqual(status, 0, err)
        for line, row in zip(out.splitlines(), EXPECTED):
            values = "".join("%7.1f " % float(v) for v in row["ptu"].split())
            self.assertTrue(line.endswith(" " + values), line)

        # A range limit of 100 m rejects every fix (the launch is 290 m away); 10 km none.
        status, out, err = decode("-q", "--reject-bogus", "--max-range", "0.1", FLIGHT)
        self.assertEqual((status, out), (0, ""))
        self.assertEqual(summary(err), (40, 0))
        status, out, err = decode("-q", "--reject-bogus", "--max-range", "10", FLIGHT)
        self.assertEqual(len(out.splitlines()), 20)

        # A fixed threshold far above the signal sees no edges at all.
        status, out, err = decode("-q", "--demod", "edge", "--threshold", "30000", FLIGHT)
        self.assertEqual((status, out), (0, ""))
        status, out, err = decode("-q", "--demod", "edge", "--threshold", "5000", "--filter", FLIGHT)
        self.assertEqual(status, 0, err)

        # The inverted recording needs --invert with the edge demodulator; sync (the default)
        # takes either polarity.
        inverted = os.path.join(WORK, "inverted.wav")
        synth(inverted, "--duration", "5", "--invert")
        self.assertEqual(decode("-q", "--demod", "edge", inverted)[1], "")
        self.assertEqual(len(decode("-q", "--demod", "edge", "--invert", inverted)[1].splitlines()), 5)
        self.assertEqual(len(decode("-q", inverted)[1].splitlines()), 5)

        # Pattern demodulator at a whole 5 samples per bit.
        at5 = os.path.join(WORK, "at5.wav")
        synth(at5, "--duration", "5", "--samples-per-bit", "5")
        status, out, err = decode("-q", "--demod", "pattern", "--invert", "--samples-per-bit", "5.0", at5)
        self.assertEqual(len(out.splitlines()), 5, err)

    def test_bad_checksums_are_counted(self):
        bad = os.path.join(WORK, "corrupt.wav")
        synth(bad, "--duration", "20", "--corrupt-every", "5", "--expected", bad + ".csv")
        rows = read_expected(bad + ".csv")
        status, out, err = decode("-q", bad)
        self.assertEqual(tails(out), expected_tails(rows))
        self.assertEqual(summary(err), (36, 4))
        status, out, err = decode("-q", "--bad-crc", bad)
        self.assertEqual(tails(out), expected_tails(rows, with_bad=True))
        status, out, err = decode("-q", "--bad-crc", "--format", "csv", bad)
        flags = [r["crc_good"] for r in csv.DictReader(out.splitlines())]
        self.assertEqual(flags, ["true" if r["crc_good"] == "1" else "false" for r in rows])


class Phase2Inputs(unittest.TestCase):
    def check_same_fixes(self, path, *args, demods=("edge", "level", "pattern", "sync")):
        for demod in demods:
            invert = ["--invert"] if demod == "pattern" else []
            status, out, err = decode("--demod", demod, *invert, *args, path)
            self.assertEqual(status, 0, err)
            self.assertEqual(tails(out), expected_tails(EXPECTED), "%s with %s" % (path, demod))
        return err

    def test_other_rates_are_resampled(self):
        for rate in ("44100", "96000"):
            with self.subTest(rate=rate):
                path = os.path.join(WORK, "flight-%s.wav" % rate)
                sox(FLIGHT, "-r", rate, path)
                err = self.check_same_fixes(path)
                self.assertRegex(err, r"%s Hz.*resampled to 48000 Hz" % rate)
        # The original is not resampled.
        status, out, err = decode(FLIGHT)
        self.assertIn("48000 Hz, not resampled", err)

    def test_stereo_either_channel(self):
        left = os.path.join(WORK, "left.wav")
        right = os.path.join(WORK, "right.wav")
        noise = os.path.join(WORK, "noise.wav")
        sox("-n", "-r", "48000", "-c", "1", "-b", "16", noise, "synth", "21", "whitenoise", "vol", "0.3")
        sox("-M", FLIGHT, noise, left)
        sox("-M", noise, FLIGHT, right)
        self.check_same_fixes(left)
        self.check_same_fixes(left, "--channel", "1")
        self.check_same_fixes(right, "--channel", "2")
        # The other channel holds only noise.
        status, out, err = decode("-q", "--channel", "2", left)
        self.assertEqual((status, out), (0, ""))

    def test_flac_and_float(self):
        flac = os.path.join(WORK, "flight.flac")
        sox(FLIGHT, flac)
        err = self.check_same_fixes(flac)
        self.assertIn("FLAC", err)
        flt = os.path.join(WORK, "float.wav")
        sox(FLIGHT, "-e", "floating-point", "-b", "32", flt)
        self.check_same_fixes(flt)
        # 96 kHz stereo FLAC, signal on the right, as an SDR program records.
        sdr = os.path.join(WORK, "sdr.flac")
        noise = os.path.join(WORK, "noise96.wav")
        sox("-n", "-r", "96000", "-c", "1", "-b", "16", noise, "synth", "21", "whitenoise", "vol", "0.2")
        sox("-M", noise, "|sox %s -r 96000 -p" % FLIGHT, sdr)
        self.check_same_fixes(sdr, "--channel", "2")

    def test_stdin_rate_and_channels(self):
        # 44.1 kHz stereo raw samples through a pipe, signal on the right.
        raw = os.path.join(WORK, "stereo441.raw")
        noise = os.path.join(WORK, "noise441.wav")
        sox("-n", "-r", "44100", "-c", "1", "-b", "16", noise, "synth", "21", "whitenoise", "vol", "0.2")
        sox("-M", noise, "|sox %s -r 44100 -p" % FLIGHT, "-t", "raw", "-e", "signed", "-b", "16", "-L", raw)
        with open(raw, "rb") as f:
            status, out, err = decode("--rate", "44100", "--channels", "2", "--channel", "2", "-", stdin=f)
        self.assertEqual(status, 0, err)
        self.assertEqual(tails(out), expected_tails(EXPECTED))
        self.assertIn("standard input", err)

    def test_station_pipe_that_ends_mid_block_ends_cleanly(self):
        # A station's recorder piping into the decoder dies in the middle of GPS block 10: the
        # decode ends at the end of its input with status 0, every fix before the cut and the
        # final counts, as a service restarting the pipeline needs.
        raw = os.path.join(WORK, "station.raw")
        sox(FLIGHT, "-t", "raw", "-e", "signed", "-b", "16", "-L", raw)
        cut_s = float(EXPECTED[10]["end_s"]) - 0.03
        cut_bytes = int(cut_s * 48000) * 2 + 1  # an odd byte: the recorder stopped mid-sample
        status, out, err = run(["sh", "-c", "head -c %d %s | %s --rate 48000 -" % (
            cut_bytes, raw, os.path.join(BIN, "nimbra-decode"))])
        self.assertEqual(status, 0, err)
        self.assertEqual(tails(out), expected_tails(EXPECTED)[:10])
        good, bad = summary(err)
        self.assertGreaterEqual(good, 20)  # ten GPS and ten PTU blocks at least
        self.assertLessEqual(bad, 1)

    def test_live_pipe_gives_each_line_as_it_arrives(self):
        with open(FLIGHT, "rb") as f:
            data = f.read()
        proc = subprocess.Popen([os.path.join(BIN, "nimbra-decode"), "-q", "-"], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            # 3.5 s of audio: three fixes must come out while the pipe is still open (a slicer
            # completes a block when the line next rises, here with the block at 3.25 s).
            proc.stdin.write(data[:44 + 7 * 48000])
            proc.stdin.flush()
            got = b""
            deadline = time.time() + 20
            while got.count(b"\n") < 3 and time.time() < deadline:
                ready, _, _ = select.select([proc.stdout], [], [], 0.5)
                if ready:
                    chunk = os.read(proc.stdout.fileno(), 4096)
                    if not chunk:
                        break
                    got += chunk
            self.assertEqual(tails(got.decode()), expected_tails(EXPECTED)[:3])
            self.assertIsNone(proc.poll())
            proc.stdin.write(data[44 + 7 * 48000:])
            rest, err = proc.communicate(timeout=20)
            self.assertEqual(proc.returncode, 0)
            self.assertEqual(tails((got + rest).decode()), expected_tails(EXPECTED))
            self.assertEqual(summary(err.decode()), (40, 0))
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    def test_interrupt_still_writes_everything(self):
        gpx = os.path.join(WORK, "interrupted.gpx")
        with open(FLIGHT, "rb") as f:
            data = f.read()
        for sig, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            with self.subTest(sig=sig):
                with open(gpx, "w") as f:
                    f.write("old track")
                proc = subprocess.Popen([os.path.join(BIN, "nimbra-decode"), "-q", "--gpx", gpx, "-"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                try:
                    proc.stdin.write(data[:44 + 5 * 96000])
                    proc.stdin.flush()
                    got = b""
                    deadline = time.time() + 20
                    while got.count(b"\n") < 4 and time.time() < deadline:
                        if select.select([proc.stdout], [], [], 0.5)[0]:
                            got += os.read(proc.stdout.fileno(), 4096)
                    # The old file stays untouched while the run goes on.
                    with open(gpx) as f:
                        self.assertEqual(f.read(), "old track")
                    proc.send_signal(sig)
                    rest, err = proc.communicate(timeout=20)
                finally:
                    if proc.poll() is None:
                        proc.kill()
                        proc.communicate()
                self.assertEqual(proc.returncode, status, err)
                lines = tails((got + rest).decode())
                self.assertGreaterEqual(len(lines), 4)
                self.assertEqual(lines, expected_tails(EXPECTED)[:len(lines)])
                self.assertRegex(err.decode(), r"good \d+ bad 0")
                # The track holds the trusted fixes: all but the first two, which pick the
                # flight up.
                points = ET.parse(gpx).getroot().findall(".//{http://www.topografix.com/GPX/1/1}trkpt")
                self.assertEqual(len(points), len(lines) - 2)
        leftovers = [n for n in os.listdir(WORK) if n.startswith("interrupted.gpx.")]
        self.assertEqual(leftovers, [])


class Phase2Outputs(unittest.TestCase):
    def check_fix_values(self, fixes):
        """fixes: dicts with the CSV/JSON keys, values already parsed."""
        self.assertEqual(len(fixes), len(EXPECTED))
        for i, (fix, row) in enumerate(zip(fixes, EXPECTED)):
            self.assertEqual(fix["id"], "1A2B")
            self.assertEqual(int(fix["counter"]), int(row["counter"]))
            self.assertAlmostEqual(float(fix["latitude"]), float(row["lat_deg"]), places=6)
            self.assertAlmostEqual(float(fix["longitude"]), float(row["lon_deg"]), places=6)
            self.assertAlmostEqual(float(fix["altitude_m"]), float(row["alt_m"]), places=2)
            rng, az, el = look_angles(39.75, -76.98, 220.0, float(row["lat_deg"]), float(row["lon_deg"]),
                                      float(row["alt_m"]))
            self.assertAlmostEqual(float(fix["range_km"]), rng, delta=0.005 + 0.005 * rng)
            self.assertAlmostEqual(float(fix["azimuth"]), az, delta=0.5)
            self.assertAlmostEqual(float(fix["elevation"]), el, delta=0.5)
            # Ascent: 5 m/s every second; the smoothing (a tenth of each step) starts at 0 and the
            # first fix has no step before it.
            self.assertAlmostEqual(float(fix["ascent_mps"]), 5.0 * (1 - 0.9 ** i), delta=0.01)
            self.assertTrue(fix["crc_good"] in (True, "true"))
            self.assertEqual(int(fix["bits_repaired"]), 0)
            self.assertRegex(fix["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")

    def test_csv(self):
        status, out, err = decode("-q", "--format", "csv", "--start-time", START, FLIGHT)
        self.assertEqual(status, 0, err)
        rows = list(csv.DictReader(out.splitlines()))
        self.check_fix_values(rows)
        for row, exp in zip(rows, EXPECTED):
            self.assertEqual([float(row["ptu_%d" % k]) for k in range(1, 14)],
                             [float(v) for v in exp["ptu"].split()])
            t = datetime.datetime.strptime(row["time"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)
            self.assertLessEqual(abs((t - START_DT).total_seconds() - float(exp["end_s"])), 1.0)
        # No PTU block yet: the PTU columns are empty.
        noptu = os.path.join(WORK, "noptu.wav")
        synth(noptu, "--duration", "3", "--no-ptu")
        rows = list(csv.DictReader(decode("-q", "--format", "csv", noptu)[1].splitlines()))
        self.assertEqual(len(rows), 3)
        self.assertEqual(rows[0]["ptu_1"], "")

    def test_jsonl(self):
        status, out, err = decode("-q", "--format", "jsonl", FLIGHT)
        self.assertEqual(status, 0, err)
        objects = [json.loads(line) for line in out.splitlines()]
        self.check_fix_values(objects)
        for obj, exp in zip(objects, EXPECTED):
            self.assertIs(obj["crc_good"], True)
            self.assertEqual(obj["ptu"], [float(v) for v in exp["ptu"].split()])
        noptu = os.path.join(WORK, "noptu2.wav")
        synth(noptu, "--duration", "2", "--no-ptu")
        objects = [json.loads(line) for line in decode("-q", "--format", "jsonl", noptu)[1].splitlines()]
        self.assertIsNone(objects[0]["ptu"])

    def test_gpx_and_kml(self):
        gpx = os.path.join(WORK, "track.gpx")
        kml = os.path.join(WORK, "track.kml")
        status, out, err = decode("-q", "--start-time", START, "--gpx", gpx, "--kml", kml, FLIGHT)
        self.assertEqual(status, 0, err)
        self.assertEqual(len(out.splitlines()), 20)
        for path in (gpx, kml):
            status, _, xerr = run(["xmllint", "--noout", path])
            self.assertEqual(status, 0, xerr)
        for xsd in ("/usr/share/xml/gpx/gpx.xsd", "/usr/share/xml/gpx/1.1/gpx.xsd"):
            if os.path.exists(xsd):
                status, _, xerr = run(["xmllint", "--noout", "--schema", xsd, gpx])
                self.assertEqual(status, 0, xerr)

        # The tracks hold the trusted fixes: all but the first two, which pick the flight up.
        trusted = EXPECTED[2:]
        g = "{http://www.topografix.com/GPX/1/1}"
        root = ET.parse(gpx).getroot()
        points = root.findall(".//%strkpt" % g)
        self.assertEqual(len(points), len(trusted))
        for p, row in zip(points, trusted):
            self.assertAlmostEqual(float(p.get("lat")), float(row["lat_deg"]), places=6)
            self.assertAlmostEqual(float(p.get("lon")), float(row["lon_deg"]), places=6)
            self.assertAlmostEqual(float(p.find(g + "ele").text), float(row["alt_m"]), places=1)
            self.assertTrue(p.find(g + "time").text.startswith("2026-12-06T06:1"))
        self.assertEqual([w.find(g + "name").text for w in root.findall(g + "wpt")],
                         ["Station", "1A2B last position"])

        k = "{http://www.opengis.net/kml/2.2}"
        root = ET.parse(kml).getroot()
        line = root.find(".//%sLineString" % k)
        self.assertEqual(line.find(k + "altitudeMode").text, "absolute")
        coords = [c.split(",") for c in line.find(k + "coordinates").text.split()]
        self.assertEqual(len(coords), len(trusted))
        for (lon, lat, alt), row in zip(coords, trusted):
            self.assertAlmostEqual(float(lon), float(row["lon_deg"]), places=6)
            self.assertAlmostEqual(float(lat), float(row["lat_deg"]), places=6)
            self.assertAlmostEqual(float(alt), float(row["alt_m"]), places=1)
        names = [p.find(k + "name").text for p in root.iter(k + "Placemark")]
        # Ascending: the prediction climbs to the burst setting and comes down.
        self.assertEqual(names, ["Station", "Radiosonde 1A2B", "1A2B last position", "Predicted burst",
                                 "Predicted landing", "Predicted path"])
        points = {p.find(k + "name").text: p.find(".//%sPoint/%scoordinates" % (k, k)) for p in root.iter(k + "Placemark")}
        self.assertEqual(points["Station"].text, "-76.98,39.75,220")
        last = points["1A2B last position"].text.split(",")
        self.assertAlmostEqual(float(last[2]), float(EXPECTED[-1]["alt_m"]), places=1)

    def test_help_quiet_and_progress(self):
        status, out, err = decode("--help")
        self.assertEqual((status, err), (0, ""))
        for option in ("--demod", "--invert", "--filter", "--threshold", "--samples-per-bit",
                       "--reject-bogus", "--bad-crc", "--max-range", "--station", "--psu",
                       "--calibration", "--raw", "--rate", "--channels", "--channel", "--format",
                       "--gpx", "--kml", "--start-time", "--quiet", "--help", "--udp", "--sondehub",
                       "--sondehub-url", "--sondehub-spool", "--mqtt", "--live-kml", "--upload-wait",
                       "--station-name", "--sonde-manufacturer", "--sonde-type", "--sonde-serial", "--trust",
                       "--burst-altitude", "--ground-altitude", "--ascent-rate", "--descent-rate", "--iq"):
            self.assertIn(option, out)
        self.assertIn("(default sync)", out)
        examples = re.findall(r"^    (.*nimbra-decode .*)$", out, re.M)
        self.assertEqual(len(examples), 15, out)

        status, out, err = decode("--quiet", FLIGHT)
        self.assertEqual(err, "good 40 bad 0\n")

        # On a terminal the progress bar shows percent and speed, and is gone at the end. A short
        # file is decoded in a few milliseconds: its final bar still carries the speed.
        short = os.path.join(WORK, "short.wav")
        synth(short, "--duration", "1")
        for path in (os.path.join(BIN, "sample-flight.wav"), short):
            with self.subTest(path=path):
                seen = self.stderr_on_terminal(path)
                self.assertRegex(seen, rb"\] 100%  +\d+x real time\r\x1b\[K")
                self.assertTrue(seen.rstrip().endswith(b"bad 0"), seen[-200:])

    def stderr_on_terminal(self, path):
        """Everything nimbra-decode writes to standard error when that is a terminal, read until
        the terminal closes with the program's exit."""
        master, slave = pty.openpty()
        try:
            proc = subprocess.Popen([os.path.join(BIN, "nimbra-decode"), path],
                                    stdout=subprocess.DEVNULL, stderr=slave)
        finally:
            os.close(slave)
        seen = b""
        try:
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # EIO: the program has closed its end
                    break
                if not chunk:
                    break
                seen += chunk
            self.assertEqual(proc.wait(timeout=30), 0, seen)
        finally:
            os.close(master)
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        return seen


class FlightTracking(unittest.TestCase):
    """A short flight of the synthesizer's flight model (ascent, burst at 2.5 km, descent,
    landing) with staged faults: a block with a good checksum but a position 500 m off (second
    15), one with its counter one ahead (second 20), 90 s without signal (seconds 30 to 120:
    longer than the minute after which the flight must be picked up afresh; the ten-minute gap is
    flown in the tracker's own tests, tests/flight, where it costs no audio), and another
    identifier from second 440. The lines show every fix; the trusted column, the tracks and the
    predictions leave the faults out."""

    @classmethod
    def setUpClass(cls):
        cls.wav = os.path.join(WORK, "flight-model.wav")
        synth(cls.wav, "--flight", "--ascent-rate", "8", "--burst-altitude", "2500", "--descent-rate", "10",
              "--after-landing", "45", "--gap", "30:90", "--inject-position", "15:500", "--inject-counter", "20:1",
              "--id-change", "440:0C0F", "--expected", cls.wav + ".csv", "--landing", cls.wav + ".landing.csv")
        cls.expected = read_expected(cls.wav + ".csv")
        cls.landing = {r["event"]: r for r in read_expected(cls.wav + ".landing.csv")}
        cls.gpx = os.path.join(WORK, "flight-model.gpx")
        cls.kml = os.path.join(WORK, "flight-model.kml")
        status, out, err = decode("-q", "--format", "csv", "--start-time", START, "--gpx", cls.gpx, "--kml", cls.kml,
                                  cls.wav)
        assert status == 0, err
        cls.rows = list(csv.DictReader(out.splitlines()))

    def counter_of(self, row):
        return int(row["counter"])

    def test_lines_show_every_fix_and_the_rest_only_trusted_ones(self):
        status, out, err = decode("-q", self.wav)
        self.assertEqual(status, 0, err)
        self.assertEqual(tails(out), expected_tails(self.expected))
        injected = [r for r in self.expected if r["injected"] == "1"]
        self.assertEqual(len(injected), 2)
        self.assertEqual(len(self.rows), len(self.expected))
        # Untrusted: the two fixes before the flight is picked up, the faults, the two after the
        # gap and the two of the new identifier before it takes over.
        untrusted = [i for i, r in enumerate(self.rows) if r["trusted"] != "true"]
        first_after_gap = next(i for i, r in enumerate(self.expected) if int(r["counter"]) >= 1320)
        first_new_id = next(i for i, r in enumerate(self.expected) if r["id"] == "0C0F")
        faults = [i for i, r in enumerate(self.expected) if r["injected"] == "1"]
        self.assertEqual(untrusted, sorted([0, 1] + faults + [first_after_gap, first_after_gap + 1,
                                                              first_new_id, first_new_id + 1]))
        # The track files hold exactly the trusted fixes, per identifier.
        trusted = [r for r, row in zip(self.expected, self.rows) if row["trusted"] == "true"]
        g = "{http://www.topografix.com/GPX/1/1}"
        tracks = ET.parse(self.gpx).getroot().findall(g + "trk")
        self.assertEqual([t.find(g + "name").text for t in tracks], ["Radiosonde 1A2B", "Radiosonde 0C0F"])
        points = [p for t in tracks for p in t.iter(g + "trkpt")]
        self.assertEqual(len(points), len(trusted))
        for p, row in zip(points, trusted):
            self.assertAlmostEqual(float(p.get("lat")), float(row["lat_deg"]), places=6)
            self.assertAlmostEqual(float(p.get("lon")), float(row["lon_deg"]), places=6)
        k = "{http://www.opengis.net/kml/2.2}"
        root = ET.parse(self.kml).getroot()
        lines = [p for p in root.iter(k + "Placemark") if p.find(k + "name").text.startswith("Radiosonde")]
        coords = [c for p in lines for c in p.find(".//%scoordinates" % k).text.split()]
        self.assertEqual(len(coords), len(trusted))
        for bad in injected:
            self.assertNotIn("%.7f,%.7f" % (float(bad["lon_deg"]), float(bad["lat_deg"])), coords)
        for path in (self.gpx, self.kml):
            status, _, xerr = run(["xmllint", "--noout", path])
            self.assertEqual(status, 0, xerr)

    def test_phases_and_predictions_converge_on_the_landing(self):
        truth = self.landing["landing"]
        land_t = START_DT + datetime.timedelta(seconds=float(truth["time_s"]))

        def miss(row):
            dn = math.radians(float(row["pred_lat"]) - float(truth["lat_deg"])) * 6371000.0
            de = math.radians(float(row["pred_lon"]) - float(truth["lon_deg"])) * 6371000.0 * math.cos(
                math.radians(float(truth["lat_deg"])))
            return math.hypot(dn, de)

        def when(row):
            return datetime.datetime.strptime(row["pred_time"], "%Y-%m-%dT%H:%M:%SZ").replace(tzinfo=datetime.timezone.utc)

        old = [r for r in self.rows if r["id"] == "1A2B" and r["trusted"] == "true"]
        phases = []
        for r in old:
            if not phases or phases[-1] != r["phase"]:
                phases.append(r["phase"])
        self.assertEqual(phases, ["unknown", "ascent", "burst", "descent"])
        self.assertEqual(old[0]["pred_lat"], "")
        burst = next(r for r in old if r["phase"] == "burst")
        self.assertLess(miss(burst), 3000.0)  # one flight: within the 90th-percentile target
        low = next(r for r in old if r["phase"] == "descent" and float(r["altitude_m"]) < 1500.0)
        self.assertLess(miss(low), 250.0)
        self.assertLess(abs((when(low) - land_t).total_seconds()), 20.0)
        # The new identifier is a new flight: picked up falling, then down.
        new = [r for r in self.rows if r["id"] == "0C0F" and r["trusted"] == "true"]
        self.assertEqual(new[0]["phase"], "unknown")
        self.assertEqual(new[-1]["phase"], "landed")
        self.assertLess(miss(new[-1]), 30.0)
        self.assertLess(abs((when(new[-1]) - land_t).total_seconds()), 10.0)
        # JSON Lines carry the same, as booleans, strings and nulls.
        status, out, err = decode("-q", "--format", "jsonl", "--start-time", START, self.wav)
        objects = [json.loads(line) for line in out.splitlines()]
        self.assertIs(objects[0]["trusted"], False)
        self.assertEqual((objects[0]["phase"], objects[0]["pred_lat"], objects[0]["pred_time"]), ("unknown", None, None))
        self.assertEqual([o["trusted"] for o in objects], [r["trusted"] == "true" for r in self.rows])
        self.assertEqual(objects[-1]["phase"], "landed")
        self.assertAlmostEqual(objects[-1]["pred_lat"], float(self.rows[-1]["pred_lat"]), places=6)
        k = "{http://www.opengis.net/kml/2.2}"
        names = [p.find(k + "name").text for p in ET.parse(self.kml).getroot().iter(k + "Placemark")]
        # Two identifiers are two flights: each has its own prediction, named after it.
        self.assertIn("Predicted landing 1A2B", names)
        self.assertIn("Predicted landing 0C0F", names)

    def test_trust_off_takes_every_fix(self):
        gpx = os.path.join(WORK, "untrusted.gpx")
        status, out, err = decode("-q", "--trust", "off", "--format", "csv", "--gpx", gpx, self.wav)
        self.assertEqual(status, 0, err)
        self.assertEqual({r["trusted"] for r in csv.DictReader(out.splitlines())}, {"true"})
        points = ET.parse(gpx).getroot().findall(".//{http://www.topografix.com/GPX/1/1}trkpt")
        self.assertEqual(len(points), len(self.expected))

    def test_synth_flight_options_name_their_problems(self):
        out = os.path.join(WORK, "never.wav")
        cases = [
            (["--gap", "30:600"], r"need --flight"),
            (["--flight", "--gap", "30"], r"--gap: expected SECOND:VALUE"),
            (["--flight", "--inject-counter", "5:0"], r"no fault"),
            (["--flight", "--id-change", "5:XYZ"], r"--id-change: expected a whole number"),
            (["--flight", "--launch", "95,0,0"], r"--launch: expected LAT,LON,ALT"),
            (["--flight", "--burst-altitude", "300", "--ground-altitude", "500"], r"must lie above"),
            (["--flight", "--wind-csv", os.path.join(WORK, "no-winds.csv")], r"no-winds\.csv: No such file"),
        ]
        for args, pattern in cases:
            with self.subTest(args=args):
                status, _, err = run([os.path.join(BIN, "nimbra-synth"), *args, out])
                self.assertEqual(status, 2, err)
                self.assertRegex(err, "^nimbra-synth: .*" + pattern)
        self.assertFalse(os.path.exists(out))
        status, text, _ = run([os.path.join(BIN, "nimbra-synth"), "--help"])
        for option in ("--flight", "--burst-altitude", "--wind-csv", "--landing", "--gap", "--inject-position",
                       "--inject-counter", "--id-change"):
            self.assertIn(option, text)

    def test_sync_is_the_default_demodulator(self):
        weak = os.path.join(WORK, "weak.wav")
        synth(weak, "--duration", "20", "--ebn0", "14", "--seed", "5", "--expected", weak + ".csv")
        rows = read_expected(weak + ".csv")
        default = decode("-q", "--start-time", START, weak)[1]
        self.assertEqual(default, decode("-q", "--start-time", START, "--demod", "sync", weak)[1])
        self.assertEqual(tails(default), expected_tails(rows))
        self.assertLess(len(decode("-q", "--demod", "edge", weak)[1].splitlines()), len(rows) // 2)


class BadInput(unittest.TestCase):
    def check_error(self, args, pattern, stdin=None):
        status, out, err = decode(*args, stdin=stdin)
        self.assertEqual(status, 2, (args, out, err))
        self.assertEqual(out, "")
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertRegex(err, pattern)

    def test_each_bad_input_names_its_problem(self):
        text = os.path.join(WORK, "notes.txt")
        with open(text, "w") as f:
            f.write("not audio at all\n" * 10)
        empty = os.path.join(WORK, "empty.wav")
        open(empty, "w").close()
        cases = [
            ([os.path.join(WORK, "missing.wav")], r"missing\.wav: No such file"),
            (["--raw", os.path.join(WORK, "missing.raw")], r"missing\.raw: No such file"),
            ([WORK], r"is a directory"),
            ([text], r"notes\.txt: not an audio file"),
            ([empty], r"empty\.wav: not an audio file"),
            (["--channel", "2", FLIGHT], r"--channel 2 does not exist: .* has 1 channel"),
            (["--channel", "3", "--channels", "2", "-"], r"--channel 3 does not exist"),
            (["--rate", "0", "-"], r"--rate: expected a sample rate"),
            (["--rate", "fast", "-"], r"--rate: expected"),
            (["--channels", "0", "-"], r"--channels: expected"),
            (["--rate", "44100", FLIGHT], r"--rate and --channels describe raw input"),
            (["--demod", "fast", FLIGHT], r"--demod: expected edge, level, pattern or sync"),
            (["--threshold", "x", FLIGHT], r"--threshold: expected"),
            (["--samples-per-bit", "7", FLIGHT], r"--samples-per-bit: expected a number from 4 to 6"),
            (["--max-range", "-3", FLIGHT], r"--max-range: expected"),
            (["--station", "39.75,-76.98", FLIGHT], r"--station: expected LAT,LON,ALT"),
            (["--station", "95,0,0", FLIGHT], r"--station: expected LAT,LON,ALT"),
            (["--format", "xml", FLIGHT], r"--format: expected text, csv or jsonl"),
            (["--start-time", "yesterday", FLIGHT], r"--start-time: expected an ISO 8601 time"),
            (["--start-time", "2026-02-30T00:00:00Z", FLIGHT], r"--start-time"),
            (["--gpx", os.path.join(WORK, "no", "such", "dir.gpx"), FLIGHT], r"dir\.gpx: cannot be written"),
            (["--kml", WORK, FLIGHT], r"is a directory"),
            (["--invert=yes", FLIGHT], r"takes no value"),
            (["--trust", "maybe", FLIGHT], r"--trust: expected on or off"),
            (["--burst-altitude", "high", FLIGHT], r"--burst-altitude: expected a number"),
            (["--descent-rate", "0", FLIGHT], r"--descent-rate: expected a number from 0.5 to 50"),
            (["--bogus", FLIGHT], r"unknown option '--bogus'"),
            (["--threshold"], r"--threshold needs a value"),
            ([], r"no input given"),
            ([FLIGHT, FLIGHT], r"more than one input"),
        ]
        for args, pattern in cases:
            with self.subTest(args=args):
                self.check_error(args, "^nimbra-decode: .*" + pattern)

    def test_raw_odd_byte_and_empty_input(self):
        status, out, err = decode("-", input_bytes=b"")
        self.assertEqual((status, out), (0, ""))
        self.assertIn("good 0 bad 0", err)
        with open(FLIGHT, "rb") as f:
            data = f.read()
        status, out, err = decode("-q", "--start-time", START, "-", input_bytes=data + b"\x7f")
        self.assertEqual(status, 0, err)
        self.assertEqual(out, decode("-q", "--start-time", START, "-", input_bytes=data)[1])


def setUpModule():
    global WORK, FLIGHT, EXPECTED
    WORK = tempfile.mkdtemp(prefix="nimbra-cli-test.")
    FLIGHT = os.path.join(WORK, "flight.wav")
    synth(FLIGHT, "--duration", "20", "--ebn0", "30", "--lowpass", "9000", "--seed", "11",
          "--expected", os.path.join(WORK, "flight.csv"))
    EXPECTED = read_expected(os.path.join(WORK, "flight.csv"))
    assert len(EXPECTED) == 20


def tearDownModule():
    shutil.rmtree(WORK, ignore_errors=True)


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
