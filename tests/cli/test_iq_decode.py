#!/usr/bin/env python3
"""nimbra-decode on SDR input, as a station runs it: flights written by nimbra-synth's IQ channel
in every IQ format, through a pipe and as files, at the edges of the band, drifting, with wide and
narrow deviation in noise; noise alone; and the bad inputs. Expected fixes come from the flight's
own list (the synthesizer's sidecar CSV), never from the decoder.

Usage: test_iq_decode.py BIN_DIR [unittest arguments]
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_nimbra_decode import expected_tails, read_expected, summary, tails  # noqa: E402

BIN = None
WORK = None


def synth_iq(name, *args):
    """Writes an IQ flight and its expected fixes; returns (path, expected rows)."""
    path = os.path.join(WORK, name)
    csv_path = path + ".csv"
    p = subprocess.run([os.path.join(BIN, "nimbra-synth"), "--channel", "iq", "--expected", csv_path,
                        *args, path], capture_output=True)
    assert p.returncode == 0, p.stderr.decode()
    return path, read_expected(csv_path)


def decode(*args, data=None, timeout=120):
    p = subprocess.run([os.path.join(BIN, "nimbra-decode"), *args], input=data, capture_output=True,
                       timeout=timeout)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def piped(synth_args, decode_args):
    """nimbra-synth ... - | nimbra-decode ... -, as a live station runs."""
    synth = subprocess.Popen([os.path.join(BIN, "nimbra-synth"), "--channel", "iq", *synth_args, "-"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    dec = subprocess.run([os.path.join(BIN, "nimbra-decode"), *decode_args, "-"], stdin=synth.stdout,
                         capture_output=True, timeout=120)
    synth.stdout.close()
    synth.wait()
    return dec.returncode, dec.stdout.decode(), dec.stderr.decode()


class IqInput(unittest.TestCase):
    def expect_all(self, status, out, err, rows):
        self.assertEqual(status, 0, err)
        self.assertEqual(tails(out), expected_tails(rows), err)

    def test_each_raw_format_through_a_pipe_decodes_every_fix(self):
        for fmt, rate in (("cu8", "192000"), ("cs8", "192000"), ("cs16", "48000"), ("cf32", "240000")):
            with self.subTest(fmt=fmt):
                args = ["--iq-format", fmt, "--rate", rate, "--offset", "15000", "--duration", "4",
                        "--ebn0", "14", "--seed", "5"]
                _, rows = synth_iq(fmt + ".iq", *args)
                status, out, err = piped(args, ["--iq", fmt, "--rate", rate])
                self.expect_all(status, out, err, rows)
                self.assertRegex(err, r"channel 1: sonde at \+1[45]\.\d kHz, deviation \+-3\.[4-7] kHz")
                # Every GPS block and all but perhaps the PTU block the recording opens with.
                good, bad = summary(err)
                self.assertGreaterEqual(good, 2 * len(rows) - 1)
                self.assertEqual(bad, 0)

    def test_live_station_rate_2400000_cu8(self):
        args = ["--rate", "2400000", "--offset", "-250000", "--duration", "3", "--ebn0", "13"]
        path, rows = synth_iq("station.cu8", *args)
        self.expect_all(*piped(args, ["--iq", "cu8", "--rate", "2400000"]), rows)
        self.expect_all(*decode("--iq", "cu8", "--rate", "2400000", path), rows)

    def test_iq_wave_recordings_as_file_and_on_standard_input(self):
        for fmt in ("wav", "wav-float"):
            with self.subTest(fmt=fmt):
                path, rows = synth_iq(fmt + ".wav", "--iq-format", fmt, "--rate", "192000",
                                      "--offset", "-40000", "--duration", "4", "--ebn0", "14")
                self.expect_all(*decode("--iq", "wav", path), rows)
                with open(path, "rb") as f:
                    self.expect_all(*decode("--iq", "wav", "-", data=f.read()), rows)
                status, out, err = decode("--iq", "wav", "--format", "csv", path)
                self.assertEqual(status, 0, err)
                self.assertEqual(len(out.strip().split("\n")), len(rows) + 1)

    def test_sonde_at_either_edge_of_the_band_is_found(self):
        for offset in ("-84000", "84000"):
            with self.subTest(offset=offset):
                args = ["--iq-format", "cs16", "--rate", "192000", "--offset", offset, "--duration", "4",
                        "--ebn0", "14"]
                self.expect_all(*piped(args, ["--iq", "cs16", "--rate", "192000"]), synth_iq("edge.cs16", *args)[1])

    def test_drifting_carrier_is_followed(self):
        # 300 Hz/s for 12 s: 3.6 kHz, a deviation's worth, beyond where the search found it.
        args = ["--iq-format", "cs16", "--rate", "192000", "--offset", "-1800", "--drift", "300",
                "--duration", "12", "--ebn0", "14"]
        self.expect_all(*piped(args, ["--iq", "cs16", "--rate", "192000"]), synth_iq("drift.cs16", *args)[1])

    def test_modelled_flight_decodes_every_fix(self):
        # The synthesizer's flight model (winds, ascent) on the IQ channel, as on the audio ones.
        args = ["--iq-format", "cs16", "--rate", "192000", "--offset", "30000", "--flight", "--duration", "20",
                "--ebn0", "13", "--seed", "21"]
        self.expect_all(*piped(args, ["--iq", "cs16", "--rate", "192000"]), synth_iq("modelled.cs16", *args)[1])

    def test_wide_and_narrow_deviation_decode_in_noise(self):
        # Moderate Eb/N0, some 2 dB above the receiver's 90 % point: nearly every fix, never a
        # wrong one.
        for deviation, rate, offset, ebn0 in (("3600", "192000", "20000", "10.5"),
                                              ("80000", "2400000", "-300000", "14")):
            with self.subTest(deviation=deviation):
                args = ["--iq-format", "cu8", "--rate", rate, "--offset", offset, "--deviation", deviation,
                        "--duration", "12", "--ebn0", ebn0, "--seed", "9"]
                path, rows = synth_iq("noisy.cu8", *args)
                status, out, err = decode("--iq", "cu8", "--rate", rate, path)
                self.assertEqual(status, 0, err)
                got = tails(out)
                want = expected_tails(rows)
                self.assertTrue(set(got) <= set(want), "a fix that was not sent: %s" % (set(got) - set(want)))
                self.assertGreaterEqual(len(got), len(want) - 1, err)

    def test_noise_alone_decodes_nothing(self):
        status, out, err = piped(["--rate", "192000", "--no-carrier", "--ebn0", "8", "--duration", "20"],
                                 ["--iq", "cu8", "--rate", "192000"])
        self.assertEqual(status, 0, err)
        self.assertEqual(out, "")
        self.assertEqual(summary(err), (0, 0))
        self.assertNotIn("sonde at", err)

    def test_stream_ending_inside_a_sample_decodes_to_its_end_and_says_so(self):
        path, rows = synth_iq("cut.cs16", "--iq-format", "cs16", "--rate", "192000", "--duration", "5",
                              "--ebn0", "15")
        with open(path, "rb") as f:
            data = f.read()
        # Cut 3 bytes into a sample, a little after the fourth fix.
        fourth_end = float(rows[3]["end_s"])
        cut = int((fourth_end + 0.05) * 192000) * 4 + 3
        status, out, err = decode("--iq", "cs16", "--rate", "192000", "-", data=data[:cut])
        # Everything before the cut decoded, the cut itself reported as bad input in one line.
        self.assertEqual(status, 2, err)
        self.assertEqual(tails(out), expected_tails(rows)[:4], err)
        self.assertIn("nimbra-decode: standard input: the input ends inside a sample: its last 3 of 4 bytes", err)

    def test_sondes_on_a_dirty_band_each_decoded_where_they_are_heard(self):
        # Three sondes, one switching on later, through a dongle's crystal error, DC spike, I/Q
        # imbalance and a strong spur, as rtl_sdr pipes them: every fix of each (but the first
        # few while a sonde is being found), in time order, each with its own frequency.
        args = ["--iq-format", "cu8", "--rate", "2400000", "--duration", "14", "--ebn0", "14", "--seed", "31",
                "--ppm", "-40", "--dc", "0.02", "--iq-imbalance", "0.5,3", "--spur", "-200k,20",
                "--sonde", "id=1A2B,offset=-300k", "--sonde", "id=2C3D,offset=150k,level=-3",
                "--sonde", "id=3E4F,offset=600k,deviation=60k,on=5"]
        path, rows = synth_iq("band.cu8", *args)
        status, out, err = piped(args, ["--iq", "cu8", "--rate", "2400000", "--freq", "1680M", "--format",
                                        "jsonl"])
        self.assertEqual(status, 0, err)
        fixes = [json.loads(line) for line in out.splitlines()]
        shift = 40e-6 * 1680e6  # the crystal moves every sonde up by 40 ppm of the tuning
        where = {"1A2B": -300000 + shift, "2C3D": 150000 + shift, "3E4F": 600000 + shift}
        for sonde, offset in where.items():
            with self.subTest(sonde=sonde):
                sent = [(r["id"], r["counter"]) for r in rows if r["id"] == sonde]
                got = [(f["id"], str(f["counter"])) for f in fixes if f["id"] == sonde]
                self.assertTrue(set(got) <= set(sent), "fixes that were not sent")
                self.assertGreaterEqual(len(got), len(sent) - 3, err)
                for f in fixes:
                    if f["id"] == sonde:
                        self.assertAlmostEqual(f["offset_hz"], offset, delta=1500)
                        self.assertAlmostEqual(f["frequency_mhz"], 1680 + offset / 1e6, delta=0.002)
                heard = [float(m) for m in re.findall(r"channel \d: sonde at (\d+\.\d+) MHz", err)]
                self.assertTrue(any(abs(h - 1680 - offset / 1e6) < 0.002 for h in heard), err)
        self.assertEqual(len(re.findall(r"channel \d: sonde at", err)), 3, err)
        # Blocks of all sondes in the order they were sent: the time counters of each sonde rise,
        # and the lines interleave as the blocks ended.
        status, text, err = decode("--iq", "cu8", "--rate", "2400000", "--start-time", "2026-12-07T06:00:00Z",
                                   "--gpx", os.path.join(WORK, "band.gpx"), path)
        self.assertEqual(status, 0, err)
        stamps = [line.split(" ")[3] for line in text.splitlines()]
        self.assertEqual(stamps, sorted(stamps))
        with open(os.path.join(WORK, "band.gpx")) as f:
            self.assertEqual(f.read().count("<trk>"), 3)

    def test_csv_says_where_each_fix_was_heard(self):
        args = ["--iq-format", "cs16", "--rate", "192000", "--offset", "30000", "--duration", "4", "--ebn0", "15"]
        path, _ = synth_iq("where.cs16", *args)
        status, out, err = decode("--iq", "cs16", "--rate", "192000", "--format", "csv", path)
        self.assertEqual(status, 0, err)
        header, first = out.splitlines()[0].split(","), out.splitlines()[1].split(",")
        self.assertEqual(header[-1], "offset_hz")
        self.assertAlmostEqual(float(first[-1]), 30000, delta=500)
        status, out, err = decode("--iq", "cs16", "--rate", "192000", "--freq", "1678.5M", "--format", "csv", path)
        header, first = out.splitlines()[0].split(","), out.splitlines()[1].split(",")
        self.assertEqual(header[-2:], ["offset_hz", "frequency_mhz"])
        self.assertEqual(first[-1], "1678.530")

    def test_wave_rate_may_repeat_the_header(self):
        args = ["--iq-format", "wav", "--rate", "96000", "--offset", "-12000", "--duration", "3", "--ebn0", "15"]
        path, rows = synth_iq("rate.wav", *args)
        status, out, err = decode("--iq", "wav", "--rate", "96000", path)
        self.assertEqual(status, 0, err)
        self.assertEqual(tails(out), expected_tails(rows), err)
        status, out, err = decode("--iq", "wav", "--rate", "48000", path)
        self.assertEqual(status, 2)
        self.assertIn("--rate 48000 does not match the rate in the WAVE header (96000 samples/s)", err)
        self.assertTrue(err.endswith("\n"))
        self.assertEqual(len(err.strip().split("\n")), 1, err)

    def test_malformed_options_and_input_get_status_2_and_one_line(self):
        bad = os.path.join(WORK, "mono.wav")
        subprocess.run([os.path.join(BIN, "nimbra-synth"), "--duration", "1", bad], check=True)
        for args in (["--iq", "cu9", "--rate", "192000", "-"],
                     ["--iq", "cu8", "-"],
                     ["--iq", "cu8", "--rate", "10000", "-"],
                     ["--iq", "cu8", "--rate", "2400000", "--invert", "-"],
                     ["--iq", "wav", bad],
                     ["--iq", "cu8", "--rate", "192000", os.path.join(WORK, "missing.cu8")]):
            with self.subTest(args=args):
                status, out, err = decode(*args, data=b"")
                self.assertEqual(status, 2)
                self.assertEqual(out, "")
                self.assertEqual(len(err.strip().split("\n")), 1, err)
                self.assertTrue(err.startswith("nimbra-decode: "), err)


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="nimbra-iq-")


def tearDownModule():
    subprocess.run(["rm", "-rf", WORK])


if __name__ == "__main__":
    BIN = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
