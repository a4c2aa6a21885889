#!/usr/bin/env python3
"""CTest fixture: starts a mosquitto broker on a free local port for the tests that need one and
stops it after them.

Usage: broker_fixture.py start|stop FOLDER
start writes FOLDER/port (the broker's port) and FOLDER/pid; stop ends that broker.
"""
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from counterparts import Broker  # noqa: E402


def gone(pid):
    """True once the process has ended (a zombie left for its new parent counts as ended)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


def main():
    command, folder = sys.argv[1], sys.argv[2]
    if command == "start":
        for attempt in range(5):
            broker = Broker(folder)
            try:
                broker.start()
            except AssertionError:
                if attempt == 4:
                    raise
                continue
            with open(os.path.join(folder, "port"), "w") as f:
                f.write(str(broker.port))
            with open(os.path.join(folder, "pid"), "w") as f:
                f.write(str(broker.process.pid))
            return 0
    pid_file = os.path.join(folder, "pid")
    if os.path.exists(pid_file):
        pid = int(open(pid_file).read())
        try:
            os.kill(pid, signal.SIGTERM)
            for _ in range(100):
                if gone(pid):
                    break
                time.sleep(0.05)
        except ProcessLookupError:
            pass
        os.remove(pid_file)
    return 0


if __name__ == "__main__":
    sys.exit(main())
