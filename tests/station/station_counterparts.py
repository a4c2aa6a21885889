"""Real counterparts of a moving, pointing station, started by the tests on 127.0.0.1: gpsd through
gpsfake replaying an NMEA log of a car, Hamlib's rotctld with its dummy rotator (6 degrees a
second), and a proxy in front of rotctld that records every command and its reply while it
watches where the dummy points.
"""
import glob
import math
import os
import signal
import socket
import subprocess
import threading
import time

EARTH_M = 6371008.8


def moved(lat, lon, north_m, east_m):
    """The point north_m and east_m from lat, lon (a flat earth: metres to kilometres away)."""
    return (lat + math.degrees(north_m / EARTH_M),
            lon + math.degrees(east_m / (EARTH_M * math.cos(math.radians(lat)))))


def _checksum(body):
    c = 0
    for ch in body:
        c ^= ord(ch)
    return "$%s*%02X\r\n" % (body, c)


def _angle(value, hemispheres, degree_digits):
    h = hemispheres[0] if value >= 0 else hemispheres[1]
    value = abs(value)
    degrees = int(value)
    minutes = (value - degrees) * 60.0
    return "%0*d%07.4f" % (degree_digits, degrees, minutes), h


def nmea_log(path, epochs):
    """Writes an NMEA log, one GGA and one RMC sentence per epoch. Each epoch is (lat, lon, alt_m,
    speed_mps, course_deg) or None for a GPS without a fix; epochs are a second apart."""
    with open(path, "w") as f:
        for i, e in enumerate(epochs):
            t = 120000 + (i // 60) * 100 + i % 60
            hms = "%06d.00" % t
            if e is None:
                f.write(_checksum("GPGGA,%s,,,,,0,00,99.9,,M,,M,," % hms))
                f.write(_checksum("GPRMC,%s,V,,,,,,,081226,,,N" % hms))
                continue
            lat, lon, alt, speed, course = e
            la, ns = _angle(lat, "NS", 2)
            lo, ew = _angle(lon, "EW", 3)
            f.write(_checksum("GPGGA,%s,%s,%s,%s,%s,1,09,0.9,%.1f,M,0.0,M,," % (hms, la, ns, lo, ew, alt)))
            f.write(_checksum("GPRMC,%s,A,%s,%s,%s,%s,%.2f,%.1f,081226,,,A" %
                              (hms, la, ns, lo, ew, speed / 0.514444, course)))


class Gpsfake:
    """gpsd on `port`, fed the NMEA log in a loop, a sentence every `cycle` seconds."""

    def __init__(self, log, port, cycle=0.2):
        self.log, self.port, self.cycle = log, port, cycle
        self.process = None

    def start(self, limit=300):
        # gpsfake is stopped by its process group; `timeout` ends it should a test die.
        self.process = subprocess.Popen(["timeout", "-k", "3", str(limit), "gpsfake", "-q", "-c", str(self.cycle),
                                         "-P", str(self.port), self.log],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        self.process = None
        # gpsfake leaves its control sockets behind when it is killed.
        for leftover in glob.glob("/tmp/gpsfake-*.sock"):
            try:
                pid = int(leftover.split("-")[-1].split(".")[0])
                os.kill(pid, 0)
            except (ValueError, ProcessLookupError):
                try:
                    os.unlink(leftover)
                except OSError:
                    pass
            except PermissionError:
                pass


class Rotctld:
    """Hamlib's rotctld with the dummy rotator; `conf` such as "max_el=10" narrows its limits."""

    def __init__(self, port, conf=None):
        self.port, self.conf = port, conf
        self.process = None

    def start(self):
        args = ["rotctld", "-m", "1", "-T", "127.0.0.1", "-t", str(self.port)]
        if self.conf:
            args += ["-C", self.conf]
        self.process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        end = time.monotonic() + 10
        while time.monotonic() < end:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return self
            except OSError:
                time.sleep(0.05)
        raise AssertionError("rotctld did not start")

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.process = None


class RotatorProxy:
    """Listens on its own port and passes each client's lines to rotctld, recording (time, line,
    reply). A second connection of its own asks the dummy where it points every `poll` seconds,
    recorded as (time, azimuth, elevation). Times are time.monotonic(). stop() closes the port
    and every client's connection (a rotctld that is gone), start() opens the same port again."""

    def __init__(self, rotctld_port, poll=0.2):
        self.target = rotctld_port
        self.poll = poll
        self.commands, self.positions = [], []
        self.lock = threading.Lock()
        self.port = None
        self.listener = None
        self.clients = []
        self.running = True
        self.start()
        threading.Thread(target=self._watch, daemon=True).start()

    def start(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", self.port or 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, args=(self.listener,), daemon=True).start()
        return self

    def stop(self):
        # shutdown() wakes the thread blocked in accept(); close() alone leaves the port open.
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        with self.lock:
            clients, self.clients = self.clients, []
        for c in clients:
            try:
                c.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            c.close()

    def _accept(self, listener):
        while self.running:
            try:
                client, _ = listener.accept()
            except OSError:
                return
            with self.lock:
                self.clients.append(client)
            threading.Thread(target=self._serve, args=(client,), daemon=True).start()

    def _serve(self, client):
        try:
            upstream = socket.create_connection(("127.0.0.1", self.target), timeout=5)
        except OSError:
            client.close()
            return
        cin, uin = client.makefile("r"), upstream.makefile("r")
        try:
            for line in cin:
                upstream.sendall(line.encode())
                replies = [uin.readline()]
                if line.strip() == "p":
                    replies.append(uin.readline())
                if not all(replies):
                    break  # rotctld went away
                with self.lock:
                    self.commands.append((time.monotonic(), line.strip(), [r.strip() for r in replies]))
                client.sendall("".join(replies).encode())
        except (OSError, ValueError):
            pass
        finally:
            client.close()
            upstream.close()

    def _watch(self):
        conn = None
        while self.running:
            try:
                if conn is None:
                    conn = socket.create_connection(("127.0.0.1", self.target), timeout=2)
                    reader = conn.makefile("r")
                conn.sendall(b"p\n")
                az, el = float(reader.readline()), float(reader.readline())
                with self.lock:
                    self.positions.append((time.monotonic(), az, el))
            except (OSError, ValueError):
                conn = None
            time.sleep(self.poll)

    def moves(self):
        """The P commands: (time, azimuth, elevation, reply)."""
        with self.lock:
            got = []
            for t, line, replies in self.commands:
                if line.startswith("P "):
                    _, az, el = line.split()
                    got.append((t, float(az), float(el), replies[0]))
            return got

    def pointing(self):
        with self.lock:
            return list(self.positions)

    def close(self):
        self.running = False
        self.stop()
