#!/usr/bin/env python3
"""An rtl_tcp server for the tests: it speaks rtl_tcp's protocol, plays a recorded band (unsigned
8-bit I/Q) at its real rate to one client at a time, records every command it receives, and drops
the connection (and stops listening) on demand, as a network SDR that goes away does.

The greeting is "RTL0", tuner type 5 (R820T) and 29 gains, big-endian; commands are 5 bytes, a
command byte and a big-endian 32-bit parameter. The band plays on the wall clock from the start,
so a client that connects again goes on where a live band would be.

Usage: rtl_tcp_server.py --band FILE --rate R --commands LOG [--port P] [--drop-at S --drop-for S]
                         [--start-after S]
Prints "listening on PORT" once it accepts connections (PORT 0 picks a free one).
"""
import argparse
import json
import socket
import sys
import threading
import time

NAMES = {1: "frequency", 2: "rate", 3: "gain_mode", 4: "gain", 5: "correction", 6: "if_gain", 8: "agc",
         9: "direct_sampling", 10: "offset_tuning", 13: "gain_index", 14: "bias_tee"}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--band", required=True)
    p.add_argument("--rate", type=float, required=True)
    p.add_argument("--commands", required=True)
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--drop-at", type=float, default=-1.0)
    p.add_argument("--drop-for", type=float, default=0.0)
    p.add_argument("--start-after", type=float, default=0.0)
    a = p.parse_args()
    with open(a.band, "rb") as f:
        band = f.read()
    start = time.monotonic()
    lock = threading.Lock()

    def record(entry):
        with lock, open(a.commands, "a") as log:
            log.write(json.dumps(entry) + "\n")

    def position():
        return int((time.monotonic() - start) * a.rate) * 2 % len(band)

    def down():
        t = time.monotonic() - start
        return a.drop_at >= 0 and a.drop_at <= t < a.drop_at + a.drop_for

    def listen(port):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.bind(("127.0.0.1", port))
        s.listen(1)
        s.settimeout(0.1)
        return s

    if a.start_after > 0:
        # Not there yet: the port is reserved by binding it, but nothing listens.
        holder = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        holder.bind(("127.0.0.1", a.port))
        port = holder.getsockname()[1]
        print("listening on %d" % port, flush=True)
        time.sleep(a.start_after)
        holder.close()
        server = listen(port)
    else:
        server = listen(a.port)
        port = server.getsockname()[1]
        print("listening on %d" % port, flush=True)
    record({"event": "listening", "t": time.monotonic() - start})

    while True:
        if down():
            server.close()
            record({"event": "down", "t": time.monotonic() - start})
            while down():
                time.sleep(0.05)
            server = listen(port)
            record({"event": "up", "t": time.monotonic() - start})
        try:
            client, _ = server.accept()
        except socket.timeout:
            continue
        record({"event": "connected", "t": time.monotonic() - start})
        client.setblocking(True)
        client.settimeout(0.05)
        client.sendall(b"RTL0" + (5).to_bytes(4, "big") + (29).to_bytes(4, "big"))
        sent = position()
        pending = b""
        while True:
            if down():
                client.close()
                record({"event": "dropped", "t": time.monotonic() - start})
                break
            try:
                data = client.recv(4096)
                if not data:
                    client.close()
                    break
                pending += data
                while len(pending) >= 5:
                    code, value = pending[0], int.from_bytes(pending[1:5], "big")
                    if code == 5 and value >= 2 ** 31:
                        value -= 2 ** 32
                    record({"event": "command", "name": NAMES.get(code, code), "value": value,
                            "t": time.monotonic() - start})
                    pending = pending[5:]
            except socket.timeout:
                pass
            except OSError:
                break
            due = position()
            chunk = band[sent:due] if due >= sent else band[sent:] + band[:due]
            sent = due
            try:
                client.settimeout(2.0)
                client.sendall(chunk)
                client.settimeout(0.05)
            except OSError:
                client.close()
                break
    return 0


if __name__ == "__main__":
    sys.exit(main())
