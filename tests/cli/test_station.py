#!/usr/bin/env python3
"""nimbra-decode as a station that drives its radio itself: through the project's rtl_tcp test
server (tests/sdr/rtl_tcp_server.py) and its SoapySDR test radio (tests/sdr/soapy_test_device.cpp),
both playing synthesized bands at their real rate, with a connection dropped, a radio pulled out,
a band wider than the radio; and the live web page's API and its safety against what browsers
and others may send. Real time: each run lasts as long as its band.

Usage: test_station.py BIN_DIR [unittest arguments]
"""
import http.client
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from running import Running, free_port

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "sdr", "rtl_tcp_server.py")
BIN = None
WORK = None


def synth_band(name, *args):
    path = os.path.join(WORK, name)
    expected = path + ".csv"
    p = subprocess.run([os.path.join(BIN, "nimbra-synth"), "--channel", "iq", "--iq-format", "cu8", "--rate", "2400000",
                        "--expected", expected, *args, path], capture_output=True)
    assert p.returncode == 0, p.stderr.decode()
    with open(expected) as f:
        header = f.readline().strip().split(",")
        rows = [dict(zip(header, line.strip().split(","))) for line in f if line.strip()]
    return path, rows


class RtlTcpServer(Running):
    def __init__(self, band, commands, *args):
        super().__init__([sys.executable, SERVER, "--band", band, "--rate", "2400000", "--commands", commands,
                          *args])
        found = self.wait_for(r"listening on (\d+)", 10, stream="out")
        assert found, "the rtl_tcp test server did not start"
        self.port = int(re.search(r"(\d+)", found[1]).group(1))
        self.commands = commands

    def log(self):
        with open(self.commands) as f:
            return [json.loads(line) for line in f]


def decode(*args, env=None):
    return Running([os.path.join(BIN, "nimbra-decode"), *args], env=env)


def soapy_env():
    env = dict(os.environ)
    env["SOAPY_SDR_PLUGIN_PATH"] = os.path.join(os.path.dirname(BIN), "soapy-modules")
    env["SOAPY_SDR_ROOT"] = "/nonexistent"
    return env


class Station(unittest.TestCase):
    def check_truthful(self, fixes, rows):
        sent = {(r["id"], r["counter"]) for r in rows}
        for _, sonde, counter in fixes:
            self.assertIn((sonde, counter), sent, "a fix that was never sent")

    def test_rtl_tcp_station_rides_out_a_dropped_connection(self):
        # Two sondes; the server goes away for 4 s from the 8th second, as a network SDR does.
        band, rows = synth_band("drop.cu8", "--duration", "24", "--ebn0", "14", "--seed", "41",
                                "--sonde", "id=1A2B,offset=-300k", "--sonde", "id=2C3D,offset=450k,level=-3")
        server = RtlTcpServer(band, os.path.join(WORK, "drop.log"), "--drop-at", "8", "--drop-for", "4")
        run = decode("--sdr", "rtl_tcp://127.0.0.1:%d" % server.port, "--freq", "1680M")
        status = run.stop(after=23)
        server.stop()
        err = "\n".join(line for _, line in run.err)
        self.assertEqual(status, 143, err)
        fixes = run.fixes()
        self.check_truthful(fixes, rows)
        for sonde in ("1A2B", "2C3D"):
            times = [t for t, s, _ in fixes if s == sonde]
            self.assertTrue(any(t < 8 for t in times), "%s decoded before the drop\n%s" % (sonde, err))
            self.assertTrue(any(t > 14 for t in times), "%s decoded after the drop\n%s" % (sonde, err))
        up = [e["t"] for e in server.log() if e["event"] == "up"][0]
        back = run.wait_for(r"connected again after", 0)
        self.assertIsNotNone(back, err)
        # The server's clock and ours started a moment apart; both within a second of each other.
        self.assertLess(back[0] - up, 5.0 + 1.0, err)

    def test_rtl_tcp_server_not_there_yet_gets_every_setting(self):
        band, rows = synth_band("late.cu8", "--duration", "10", "--ebn0", "14", "--seed", "42", "--offset", "-200000")
        port = free_port()
        server = RtlTcpServer(band, os.path.join(WORK, "late.log"), "--port", str(port), "--start-after", "1.5")
        run = decode("--sdr", "rtl_tcp://127.0.0.1:%d" % port, "--freq", "1680.5M", "--rate", "2400000",
                     "--gain", "33.8", "--ppm", "-12", "--bias-tee")
        run.stop(after=9)
        server.stop()
        err = "\n".join(line for _, line in run.err)
        self.assertIsNotNone(run.wait_for(r"rtl_tcp 127\.0\.0\.1:%d: connected$" % port, 0), err)
        commands = {e["name"]: e["value"] for e in server.log() if e["event"] == "command"}
        self.assertEqual(commands, {"rate": 2400000, "frequency": 1680500000, "correction": -12, "gain_mode": 1,
                                    "gain": 338, "agc": 0, "bias_tee": 1})
        self.assertGreater(len(run.fixes()), 3, err)
        self.check_truthful(run.fixes(), rows)

    def test_soapy_radio_pulled_out_mid_flight_is_made_again(self):
        band, rows = synth_band("soapy.cu8", "--duration", "14", "--ebn0", "14", "--seed", "43", "--offset", "250000")
        log = os.path.join(WORK, "soapy.log")
        run = decode("--sdr", "driver=nimbratest,file=%s,log=%s,fail_at=5,fail_for=2" % (band, log), "--freq", "1680M",
                     "--ppm", "7", env=soapy_env())
        run.stop(after=13)
        err = "\n".join(line for _, line in run.err)
        self.assertIsNotNone(run.wait_for(r"STREAM_ERROR; reconnecting", 0), err)
        back = run.wait_for(r"connected again after", 0)
        self.assertIsNotNone(back, err)
        # Back within 5 s of the radio's return (at 7 s), and decoding again.
        self.assertLess(back[0], 7.0 + 5.0, err)
        self.assertTrue(any(t > back[0] for t, _, _ in run.fixes()), err)
        self.check_truthful(run.fixes(), rows)
        with open(log) as f:
            settings = f.read().split("\n")
        for expected in ("rate 2400000", "frequency 1680000000", "gain mode auto", "correction 7.000000"):
            self.assertIn(expected, settings)

    def test_a_narrow_radio_steps_through_the_band(self):
        band, _ = synth_band("empty.cu8", "--duration", "16", "--ebn0", "10", "--no-carrier", "--seed", "44")
        server = RtlTcpServer(band, os.path.join(WORK, "scan.log"))
        run = decode("--sdr", "rtl_tcp://127.0.0.1:%d" % server.port, "--band", "1676M:1682M")
        run.stop(after=15)
        server.stop()
        tuned = [e["value"] for e in server.log() if e["event"] == "command" and e["name"] == "frequency"]
        self.assertEqual(tuned[:2], [1676960000, 1678320000], "\n".join(l for _, l in run.err))
        self.assertIsNotNone(run.wait_for(r"moving on to 1678\.320 MHz", 0))

    def test_the_web_page_and_its_api(self):
        band, rows = synth_band("web.cu8", "--duration", "14", "--ebn0", "14", "--seed", "45",
                                "--sonde", "id=1A2B,offset=-300k", "--sonde", "id=2C3D,offset=450k")
        server = RtlTcpServer(band, os.path.join(WORK, "web.log"))
        port = free_port()
        run = decode("--sdr", "rtl_tcp://127.0.0.1:%d" % server.port, "--freq", "1680M", "--http", str(port),
                     "--station", "39.75,-76.98,220")
        self.assertIsNotNone(run.wait_for(r"web page on http://127\.0\.0\.1:%d/" % port, 10))
        # Fifty browsers' event streams at once, and one that never reads a byte.
        streams = []
        for _ in range(50):
            s = socket.create_connection(("127.0.0.1", port))
            s.sendall(b"GET /events HTTP/1.1\r\nHost: x\r\n\r\n")
            s.settimeout(10)
            streams.append(s)
        mute = socket.create_connection(("127.0.0.1", port))
        mute.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        mute.sendall(b"GET /events HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertIsNotNone(run.wait_for(r"channel 2: sonde at", 12))
        time.sleep(3)

        def get(path, method="GET", body=None, headers=None):
            c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
            c.request(method, path, body=body, headers=headers or {})
            r = c.getresponse()
            data = r.read()
            c.close()
            return r.status, r.getheader("Content-Type"), data

        status, kind, body = get("/api/v1/sondes")
        self.assertEqual((status, kind), (200, "application/json"))
        sondes = {s["serial"]: s for s in json.loads(body)}
        self.assertEqual(set(sondes), {"1A2B", "2C3D"})
        for s in sondes.values():
            for key in ("serial", "frequency_mhz", "time", "lat", "lon", "alt", "trusted", "phase", "pred_lat",
                        "pred_lon"):
                self.assertIn(key, s)
        self.assertAlmostEqual(sondes["2C3D"]["frequency_mhz"], 1680.45, delta=0.002)
        status, _, body = get("/api/v1/status")
        st = json.loads(body)
        self.assertEqual(st["device"]["state"], "running")
        self.assertEqual(st["band"]["tuned_hz"], 1680e6)
        status, kind, body = get("/")
        self.assertEqual(status, 200)
        self.assertIn(b"<title>Nimbra station</title>", body)
        self.assertEqual(get("/leaflet/leaflet.js")[0], 200)
        self.assertEqual(get("/leaflet/images/marker-icon.png")[1], "image/png")
        # Nothing outside the page's own files, however it is asked for.
        for path in ("/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/leaflet/images/../../../../etc/passwd",
                     "/leaflet/leaflet.js%00.png", "/page.js/..", "/tiles/1/2/3.png", "/api/v1/../../secret",
                     "/index.html?../../etc/passwd=1"):
            status, _, body = get(path)
            self.assertNotEqual(status, 200 if "index.html" not in path else 0, path)
            self.assertNotIn(b"root:", body, path)
        # Nothing changes the station; malformed and oversized requests get their HTTP errors.
        self.assertIn(get("/api/v1/sondes", "POST", b"x")[0], (400, 405))
        self.assertIn(get("/", "DELETE")[0], (400, 405))
        for raw in (b"NONSENSE\r\n\r\n", b"GET /" + b"a" * 20000 + b" HTTP/1.1\r\nHost: x\r\n\r\n",
                    b"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + b"b" * 20000 + b"\r\n\r\n"):
            s = socket.create_connection(("127.0.0.1", port))
            s.settimeout(5)
            s.sendall(raw)
            answer = s.recv(200)
            s.close()
            self.assertRegex(answer.decode(errors="replace"), r"^HTTP/1\.1 4\d\d", raw[:20])
        # Every stream got the snapshot and live events meanwhile, the mute one held nobody up.
        for s in streams:
            data = b""
            while b"event: fix" not in data:
                data += s.recv(65536)
            self.assertIn(b"event: snapshot", data)
            s.close()
        mute.close()
        run.stop()
        server.stop()
        self.check_truthful(run.fixes(), rows)


def setUpModule():
    global WORK
    WORK = tempfile.mkdtemp(prefix="nimbra-station-")


def tearDownModule():
    subprocess.run(["rm", "-rf", WORK])


if __name__ == "__main__":
    BIN = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
