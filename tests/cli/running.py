"""A program under test, run as a user runs it: its output lines kept with the time each arrived,
optionally fed standard input at the pace of a live receiver."""
import re
import socket
import subprocess
import threading
import time
import wave

LINE = re.compile(r"^\d\d \w{3} \d{4} \d\d:\d\d:\d\d (\S+) (\d+) ")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Running:
    """A process whose output lines are kept with the time each arrived. With `paced` (a mono
    16-bit WAVE file), its samples go to standard input in real time, as from a sound card."""

    def __init__(self, args, env=None, paced=None):
        self.start = time.monotonic()
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                                     stdin=subprocess.PIPE if paced else subprocess.DEVNULL)
        self.out, self.err = [], []
        self.threads = [threading.Thread(target=self._read, args=(self.proc.stdout, self.out), daemon=True),
                        threading.Thread(target=self._read, args=(self.proc.stderr, self.err), daemon=True)]
        if paced:
            self.threads.append(threading.Thread(target=self._feed, args=(paced,), daemon=True))
        for t in self.threads:
            t.start()

    def _read(self, stream, into):
        for raw in stream:
            into.append((time.monotonic() - self.start, raw.decode().rstrip("\n")))

    def _feed(self, path):
        with wave.open(path, "rb") as w:
            rate, step = w.getframerate(), w.getframerate() // 10
            sent = 0
            try:
                while True:
                    chunk = w.readframes(step)
                    if not chunk:
                        break
                    self.proc.stdin.write(chunk)
                    self.proc.stdin.flush()
                    sent += len(chunk) // 2
                    time.sleep(max(0.0, self.start + sent / rate - time.monotonic()))
                self.proc.stdin.close()
            except (BrokenPipeError, ValueError):
                pass  # the program was stopped before the end

    def stop(self, after=None):
        if after is not None:
            time.sleep(max(0.0, after - (time.monotonic() - self.start)))
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(timeout=30)
        self._close()
        return self.proc.returncode

    def _close(self):
        for t in self.threads:
            t.join(timeout=5)
        for stream in (self.proc.stdout, self.proc.stderr, self.proc.stdin):
            if stream:
                try:
                    stream.close()
                except OSError:
                    pass

    def wait(self, timeout):
        status = self.proc.wait(timeout=timeout)
        self._close()
        return status

    def wait_for(self, pattern, timeout, stream="err"):
        until = time.monotonic() + timeout
        while True:
            for t, line in list(self.err if stream == "err" else self.out):
                if re.search(pattern, line):
                    return t, line
            if time.monotonic() >= until:
                return None
            time.sleep(0.05)

    def errors(self):
        return "\n".join(line for _, line in self.err)

    def fixes(self):
        got = []
        for t, line in self.out:
            m = LINE.match(line)
            if m:
                got.append((t, m.group(1), m.group(2)))
        return got
