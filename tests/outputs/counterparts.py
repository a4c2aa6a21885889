"""Real counterparts of the network outputs, started by the tests themselves on localhost: a
mosquitto broker on a free port, a subscriber, a UDP receiver and an HTTP server that speaks the
SondeHub telemetry API closely enough to check every request nimbra-decode makes.

Nothing here reaches beyond 127.0.0.1.
"""
import datetime
import email.utils
import gzip
import http.server
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_for(condition, timeout=30.0, what="condition"):
    """Polls `condition` until it is true; fails the test after `timeout` seconds."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(0.02)
    raise AssertionError("timed out waiting for " + what)


class Broker:
    """A mosquitto broker on 127.0.0.1. With `persistent`, sessions and queued messages survive a
    stop() and start() (the broker saves them when it is stopped)."""

    def __init__(self, folder, port=None, persistent=False):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.port = port or free_port()
        self.persistent = persistent
        self.process = None

    def start(self):
        conf = os.path.join(self.folder, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write("listener %d 127.0.0.1\nallow_anonymous true\n" % self.port)
            if os.geteuid() == 0:
                f.write("user root\n")
            if self.persistent:
                f.write("persistence true\npersistence_location %s/\nautosave_interval 0\n" % self.folder)
        log = open(os.path.join(self.folder, "mosquitto.log"), "ab")
        self.process = subprocess.Popen([mosquitto_executable(), "-c", conf], stdout=log, stderr=log,
                                        start_new_session=True)
        log.close()
        end = time.monotonic() + 10
        while time.monotonic() < end:
            if self.process.poll() is not None:
                raise AssertionError("mosquitto ended at once; see " + self.folder + "/mosquitto.log")
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.5).close()
                return self
            except OSError:
                time.sleep(0.05)
        raise AssertionError("mosquitto does not listen on port %d" % self.port)

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=10)
        self.process = None


def mosquitto_executable():
    for folder in os.environ.get("PATH", "").split(":") + ["/usr/sbin", "/usr/local/sbin"]:
        path = os.path.join(folder, "mosquitto")
        if os.access(path, os.X_OK):
            return path
    return "mosquitto"


class Subscriber:
    """mosquitto_sub printing "topic payload" lines; with `session`, a persistent QoS 1 session
    that gets what was published while it was away."""

    def __init__(self, port, topic, session=None):
        args = ["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", topic, "-q", "1", "-v"]
        if session:
            args += ["-c", "-i", session]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        self.messages = []  # (topic, payload)
        self.lock = threading.Lock()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode().rstrip("\n")
            topic, _, payload = line.partition(" ")
            with self.lock:
                self.messages.append((topic, payload))

    def taken(self):
        with self.lock:
            return list(self.messages)

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)


def retained(port, topic):
    """The retained message of `topic`, or None."""
    p = subprocess.run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", topic, "-C", "1", "-W", "3"],
                       capture_output=True, timeout=20)
    return p.stdout.decode().rstrip("\n") if p.returncode == 0 and p.stdout else None


class UdpReceiver:
    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind(("127.0.0.1", 0))
        self.socket.settimeout(0.2)
        self.port = self.socket.getsockname()[1]
        self.datagrams = []
        self.running = True
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.running:
            try:
                self.datagrams.append(self.socket.recv(65536))
            except socket.timeout:
                continue

    def close(self):
        self.running = False
        self.thread.join()
        self.socket.close()


TIME_RE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6}Z$")
REQUIRED = {"software_name": str, "software_version": str, "uploader_callsign": str, "time_received": str,
            "manufacturer": str, "type": str, "serial": str, "frame": int, "datetime": str,
            "lat": float, "lon": float, "alt": (int, float)}
OPTIONAL = {"vel_v": (int, float), "vel_h": (int, float), "heading": (int, float), "sats": int,
            "uploader_position": list}


class TelemetryServer:
    """The SondeHub API as far as uploads go. Every request is checked (method, headers, gzip,
    JSON fields and types); a problem is recorded in `problems`. The answer depends on `mode`:
      "up"     200, the objects are received;
      "503"    503 Service Unavailable, nothing received;
      "400"    400 with a text naming the problem, nothing received;
      "hold"   the request waits until release(), then gets a 503 and counts as not received
               (a request in flight when the uploader dies).
    stop() closes the port (a server that is down: connections are refused); start() opens it
    again on the same port."""

    def __init__(self, version, callsign):
        self.version = version
        self.callsign = callsign
        self.mode = "up"
        self.received = []         # telemetry objects, in order
        self.listeners = []        # listener objects
        self.listener_times = []   # time.monotonic() of each, in order
        self.attempts = 0          # telemetry requests answered, whatever the answer
        self.failed_answers = 0    # 5xx and 4xx answers
        self.held = 0              # requests waiting in "hold"
        self.problems = []
        self.lock = threading.Lock()
        self.release_event = threading.Event()
        self.port = None
        self.server = None

    def url(self):
        return "http://127.0.0.1:%d/" % self.port

    def count(self):
        with self.lock:
            return len(self.received)

    def keys(self):
        with self.lock:
            return [(o["serial"], o["frame"]) for o in self.received]

    def start(self):
        owner = self

        class Handler(http.server.BaseHTTPRequestHandler):
            # One request per connection: a server that is stopped leaves no connection behind.
            protocol_version = "HTTP/1.0"

            def log_message(self, *args):
                pass

            def answer(self, status, text):
                body = text.encode()
                try:
                    self.send_response(status)
                    self.send_header("Content-Type", "text/plain")
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                except OSError:
                    pass  # the uploader is gone

            def do_PUT(self):
                owner.handle(self)

            def do_POST(self):
                owner.problem("POST instead of PUT")
                self.answer(405, "use PUT")

        class Server(http.server.ThreadingHTTPServer):
            allow_reuse_address = True
            daemon_threads = True

        self.server = Server(("127.0.0.1", self.port or 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        return self

    def stop(self):
        if self.server:
            self.server.shutdown()
            self.server.server_close()
            self.server = None

    def release(self):
        self.release_event.set()

    def problem(self, text):
        with self.lock:
            self.problems.append(text)

    def check_headers(self, h, gzipped):
        if h.headers.get("Content-Type") != "application/json":
            self.problem("Content-Type %r" % h.headers.get("Content-Type"))
        if h.headers.get("User-Agent") != "Nimbra-" + self.version:
            self.problem("User-Agent %r" % h.headers.get("User-Agent"))
        if gzipped != (h.headers.get("Content-Encoding") == "gzip"):
            self.problem("Content-Encoding %r" % h.headers.get("Content-Encoding"))
        date = h.headers.get("Date")
        try:
            when = email.utils.parsedate_to_datetime(date)
            if not date.endswith(" GMT") or abs((datetime.datetime.now(datetime.timezone.utc) - when).total_seconds()) > 300:
                self.problem("Date %r" % date)
        except (TypeError, ValueError):
            self.problem("Date %r" % date)

    def check_object(self, o):
        for key, kind in list(REQUIRED.items()) + list(OPTIONAL.items()):
            if key not in o:
                if key in REQUIRED:
                    self.problem("missing %s in %r" % (key, o))
                continue
            if isinstance(o[key], bool) or not isinstance(o[key], kind):
                self.problem("%s has the wrong type in %r" % (key, o))
        for key in ("time_received", "datetime"):
            if not TIME_RE.match(str(o.get(key, ""))):
                self.problem("%s %r" % (key, o.get(key)))
        if o.get("software_name") != "Nimbra" or o.get("software_version") != self.version:
            self.problem("software %r %r" % (o.get("software_name"), o.get("software_version")))
        if o.get("uploader_callsign") != self.callsign:
            self.problem("uploader_callsign %r" % o.get("uploader_callsign"))
        if "uploader_position" in o and len(o["uploader_position"]) != 3:
            self.problem("uploader_position %r" % o["uploader_position"])

    def handle(self, h):
        length = int(h.headers.get("Content-Length", "0"))
        raw = h.rfile.read(length)
        if h.path.endswith("/listeners"):
            self.check_headers(h, False)
            with self.lock:
                self.listeners.append(json.loads(raw))
                self.listener_times.append(time.monotonic())
            h.answer(200, "OK")
            return
        self.check_headers(h, True)
        try:
            objects = json.loads(gzip.decompress(raw))
        except (OSError, ValueError) as e:
            self.problem("body: %s" % e)
            h.answer(400, "body is not gzip JSON")
            return
        if not isinstance(objects, list) or not objects:
            self.problem("body is not a non-empty array")
        for o in objects:
            self.check_object(o)
        mode = self.mode
        if mode == "hold":
            with self.lock:
                self.held += 1
            self.release_event.wait(60)
            mode = "503"
        with self.lock:
            self.attempts += 1
            if mode == "up":
                self.received.extend(objects)
            else:
                self.failed_answers += 1
        if mode == "up":
            h.answer(200, "OK")
        elif mode == "400":
            h.answer(400, "uploader_callsign N0CALL is not allowed to upload")
        else:
            h.answer(503, "busy")
