#!/usr/bin/env python3
"""nimbra-decode in a chase car and at a pointing station, against the real counterparts: gpsd
through gpsfake replaying NMEA logs of a car, Hamlib's rotctld with its dummy rotator, and the
SondeHub-format server of the outputs tests. The receiver's audio goes in at its real pace.

Usage: test_chase.py BIN_DIR VERSION [unittest arguments]
"""
import csv
import io
import math
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "station"))
sys.path.insert(0, os.path.join(HERE, "..", "outputs"))

from counterparts import TelemetryServer  # noqa: E402
from running import Running, free_port  # noqa: E402
from station_counterparts import Gpsfake, RotatorProxy, Rotctld, moved, nmea_log  # noqa: E402

BIN = None
VERSION = None
WORK = None
STATION = (39.75, -76.98, 220.0)          # the decoder's default station
LAUNCH = moved(STATION[0], STATION[1], 150.0, -250.0)  # the synthesizer's default launch site


def synth_flight(name, seconds, seed):
    path = os.path.join(WORK, name)
    p = subprocess.run([os.path.join(BIN, "nimbra-synth"), "--flight", "--duration", str(seconds), "--ebn0", "16",
                        "--seed", str(seed), path], capture_output=True)
    assert p.returncode == 0, p.stderr.decode()
    return path


def rows(text):
    return {r["counter"]: r for r in csv.DictReader(io.StringIO(text))}


def typed_in(audio, lat, lon, alt):
    """The same recording decoded at once with the station typed in."""
    p = subprocess.run([os.path.join(BIN, "nimbra-decode"), "--quiet", "--format", "csv",
                        "--station", "%.7f,%.7f,%.1f" % (lat, lon, alt), audio], capture_output=True)
    assert p.returncode == 0, p.stderr.decode()
    return rows(p.stdout.decode())


def live_rows(run):
    """CSV rows as they arrived: (time, row)."""
    lines = [line for _, line in run.out]
    times = [t for t, _ in run.out]
    if not lines:
        return []
    got = list(csv.DictReader(io.StringIO("\n".join(lines) + "\n")))
    return list(zip(times[1:], got))


def separation(az1, el1, az2, el2):
    e1, e2 = math.radians(el1), math.radians(el2)
    c = math.sin(e1) * math.sin(e2) + math.cos(e1) * math.cos(e2) * math.cos(math.radians(az1 - az2))
    return math.degrees(math.acos(max(-1.0, min(1.0, c))))


def same_angles(test, live, typed, why):
    test.assertAlmostEqual(float(live["azimuth"]), float(typed["azimuth"]), delta=0.1, msg=why)
    test.assertAlmostEqual(float(live["elevation"]), float(typed["elevation"]), delta=0.1, msg=why)
    test.assertAlmostEqual(float(live["range_km"]), float(typed["range_km"]), delta=0.010, msg=why)


def decode(*args, paced):
    return Running([os.path.join(BIN, "nimbra-decode"), "--format", "csv", *args, "-"], paced=paced)


class Chase(unittest.TestCase):
    def setUp(self):
        self.stoppers = []

    def tearDown(self):
        for stop in reversed(self.stoppers):
            stop()

    def started(self, thing, stop=None):
        self.stoppers.append(stop or thing.stop)
        return thing

    def test_look_angles_follow_gpsd_through_its_troubles(self):
        # A car standing 1 km from the default station; its GPS reports one fix 2800 km away,
        # loses the sky for six seconds, and gpsd goes away for four.
        car = moved(STATION[0], STATION[1], -800.0, 600.0) + (180.0,)
        here = (car[0], car[1], car[2], 0.0, 0.0)
        glitch = (car[0] + 25.0, car[1], car[2], 0.0, 0.0)
        log = os.path.join(WORK, "standing.nmea")
        nmea_log(log, [here] * 20 + [glitch] + [here] * 20 + [None] * 16 + [here] * 400)
        port = free_port()
        gps = self.started(Gpsfake(log, port).start())
        audio = synth_flight("standing.wav", 36, 3)
        run = decode("--station", "gpsd:127.0.0.1:%d" % port, paced=audio)
        self.stoppers.append(run.stop)

        time.sleep(max(0.0, 26 - (time.monotonic() - run.start)))
        gps.stop()
        time.sleep(4)
        gps.start()
        self.assertEqual(run.wait(60), 0, run.errors())
        err = run.errors()

        where = r"gpsd 127\.0\.0\.1:%d: " % port
        notes = [(t, line) for t, line in run.err if "gpsd" in line]
        kinds = []
        for t, line in notes:
            for kind, pattern in (("fix", where + "fix$"),
                                  ("no fix", where + "the GPS has no fix; keeping the last good position$"),
                                  ("lost", where + "the connection was lost; keeping the last good position; "
                                                   "reconnecting$")):
                if re.search(pattern, line):
                    kinds.append((t, kind))
        order = [k for _, k in kinds]
        self.assertEqual(order[:5], ["fix", "no fix", "fix", "lost", "fix"], err)
        first_fix = kinds[0][0]

        at_car = typed_in(audio, *car)
        at_default = typed_in(audio, *STATION)
        live = live_rows(run)
        self.assertGreater(len(live), 25, err)
        after = 0
        worst = [0.0, 0.0, 0.0]
        for t, row in live:
            counter = row["counter"]
            if t > first_fix + 1.0:
                same_angles(self, row, at_car[counter], "fix %s at %.1f s\n%s" % (counter, t, err))
                for i, key in enumerate(("azimuth", "elevation", "range_km")):
                    worst[i] = max(worst[i], abs(float(row[key]) - float(at_car[counter][key])))
                after += 1
            elif t < first_fix:
                same_angles(self, row, at_default[counter], "fix %s before the GPS's first fix" % counter)
            # The lines' positions are the sonde's, whatever the station's.
            self.assertEqual(row["latitude"], at_car[counter]["latitude"])
        self.assertGreater(after, 20)
        sys.stderr.write("look angles from gpsd against typed in, %d fixes: azimuth %.3f deg, elevation %.3f deg, "
                         "range %.0f m at most\n" % (after, worst[0], worst[1], worst[2] * 1000))

    def test_rotator_and_the_chase_car_follow_a_moving_car(self):
        # The car starts 1.5 km south-south-west of the launch and drives north; its GPS comes
        # up 4 s after the program.
        start = moved(LAUNCH[0], LAUNCH[1], -1300.0, -750.0)
        epochs = [moved(start[0], start[1], 2.0 * i, 0.0) + (220.0, 2.0, 0.0) for i in range(200)]
        log = os.path.join(WORK, "driving.nmea")
        nmea_log(log, epochs)
        gps_port, rot_port = free_port(), free_port()
        rotctld = self.started(Rotctld(rot_port).start())
        proxy = RotatorProxy(rotctld.port)
        self.stoppers.append(proxy.close)
        server = TelemetryServer(VERSION, "N0CALL").start()
        self.stoppers.append(server.stop)
        audio = synth_flight("driving.wav", 46, 5)
        run = decode("--station", "gpsd:127.0.0.1:%d" % gps_port, "--rotator", "127.0.0.1:%d" % proxy.port,
                     "--sondehub", "N0CALL", "--sondehub-url", server.url() + "sondes/telemetry",
                     "--sondehub-spool", os.path.join(WORK, "spool"), "--sondehub-interval", "5",
                     "--sondehub-chase", "--upload-wait", "10", paced=audio)
        self.stoppers.append(run.stop)
        time.sleep(4)
        self.started(Gpsfake(log, gps_port).start())
        self.assertEqual(run.wait(90), 0, run.errors())
        err = run.errors()
        self.assertEqual(server.problems, [], err)

        found = run.wait_for(r"gpsd 127\.0\.0\.1:%d: fix$" % gps_port, 0)
        self.assertTrue(found, err)
        gps_fix = run.start + found[0]

        # The rotator: nothing before the station's position is known; then within 5 degrees of
        # each fix's look angles at most 10 s after it, against the dummy's 6 degrees a second.
        moves = proxy.moves()
        self.assertTrue(moves, err)
        self.assertGreater(moves[0][0], gps_fix - 0.5, "a command before the station's position was known")
        self.assertTrue(all(reply == "RPRT 0" for *_, reply in moves), moves)
        pointing = proxy.pointing()
        live = [(run.start + t, row) for t, row in live_rows(run) if run.start + t > gps_fix + 1.0]
        self.assertGreater(len(live), 30, err)
        end = pointing[-1][0]
        judged = 0
        for t, row in live:
            if t + 10.0 > end:
                continue
            az, el = float(row["azimuth"]), float(row["elevation"])
            near = [p for p in pointing if t <= p[0] <= t + 10.0 and separation(p[1], p[2], az, el) <= 5.0]
            self.assertTrue(near, "the rotator was not within 5 degrees of %.1f/%.1f within 10 s of %.1f s"
                            % (az, el, t - run.start))
            judged += 1
        self.assertGreater(judged, 20)
        # No command while the target moved less than the threshold, none sooner than the interval.
        for (t1, az1, el1, _), (t2, az2, el2, _) in zip(moves, moves[1:]):
            self.assertGreater(separation(az1, el1, az2, el2), 5.0, moves)
            self.assertGreaterEqual(t2 - t1, 4.9, moves)

        # The chase car: not before its position is known, mobile, where the car was, every 30 s
        # while it drives.
        self.assertTrue(server.listeners, err)
        self.assertGreater(server.listener_times[0], gps_fix - 0.5)
        for o in server.listeners:
            self.assertIs(o["mobile"], True, o)
            lat, lon, _ = o["uploader_position"]
            self.assertLess(min(math.hypot((lat - e[0]) * 111e3, (lon - e[1]) * 85e3) for e in epochs), 20.0, o)
        gaps = [b - a for a, b in zip(server.listener_times, server.listener_times[1:])]
        self.assertEqual(len(server.listeners), 2, (server.listener_times, err))
        self.assertTrue(all(29.5 <= g <= 36.0 for g in gaps), gaps)
        # The telemetry carries the car's position as the uploader's.
        carried = [o for o in server.received if "uploader_position" in o]
        self.assertTrue(carried)

    def test_a_refusing_and_a_vanishing_rotctld_are_reported_once_and_tried_again(self):
        # The dummy takes no elevation above 3 degrees: the rising sonde is soon refused. Then
        # rotctld goes away for 5 s and comes back.
        rot_port = free_port()
        rotctld = self.started(Rotctld(rot_port, "max_el=3").start())
        proxy = RotatorProxy(rot_port)
        self.stoppers.append(proxy.close)
        audio = synth_flight("refused.wav", 30, 7)
        run = decode("--station", "%.2f,%.2f,%.0f" % STATION, "--rotator", "127.0.0.1:%d" % proxy.port,
                     "--rotator-threshold", "1", paced=audio)
        self.stoppers.append(run.stop)
        time.sleep(18)
        proxy.stop()
        rotctld.stop()
        time.sleep(5)
        rotctld.start()
        proxy.start()
        self.assertEqual(run.wait(60), 0, run.errors())
        err = run.errors()
        err = "\n".join("%5.1f %s" % (t, line) for t, line in run.err)
        refused = [(t, line) for t, line in run.err if "refused P" in line and line.endswith("trying again")]
        # Once while rotctld refuses, once more after it came back and refuses again.
        self.assertEqual(len([t for t, _ in refused if t < 18]), 1, err)
        self.assertEqual(len([t for t, _ in refused if t > 23]), 1, err)
        self.assertRegex(refused[0][1], r"rotctld 127\.0\.0\.1:\d+: refused P [\d.]+/[\d.]+ \(RPRT -1\); trying again")
        tries = [m for m in proxy.moves() if m[3] != "RPRT 0"]
        self.assertGreater(len(tries), 1, "a refused command was not tried again")
        for a, b in zip(tries, tries[1:]):
            self.assertGreaterEqual(b[0] - a[0], 4.9)
        connected = [t for t, line in run.err if line.endswith(": connected")]
        self.assertEqual(len(connected), 2, err)
        self.assertGreater(connected[1], 23.0)


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="nimbra-chase-")


def tearDownModule():
    subprocess.run(["rm", "-rf", WORK])


if __name__ == "__main__":
    BIN, VERSION = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=2)
