"""Starts the Linux stand-ins on free ports for a test, and raw socket helpers."""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[2]
SERVICE_DIR = ROOT / "tools" / "standins" / "service"
sys.path.insert(0, str(SERVICE_DIR))


class Process:
    """One stand-in on 127.0.0.1, port 0, in STATE_DIR."""

    def __init__(self, script, state_dir, extra=()):
        self.script = script
        self.state_dir = state_dir
        self.extra = list(extra)
        self.ready = os.path.join(state_dir, Path(script).stem + ".ready")
        self.log_path = os.path.join(state_dir, Path(script).stem + ".log")
        self.proc = None
        self.port = None

    def start(self):
        log = open(self.log_path, "wb")
        self.proc = subprocess.Popen(
            [sys.executable, str(SERVICE_DIR / self.script), "--bind", "127.0.0.1", "--port", "0",
             "--state-dir", self.state_dir, "--ready-file", self.ready, *self.extra],
            stdout=log,
            stderr=subprocess.STDOUT,
            env=dict(os.environ, PYTHONDONTWRITEBYTECODE="1"),
        )
        log.close()
        deadline = time.monotonic() + 10
        while not os.path.exists(self.ready):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError(f"{self.script} did not start:\n{self.log()}")
            time.sleep(0.02)
        with open(self.ready) as f:
            self.port = int(f.read().strip())
        return self

    def stop(self, timeout=5):
        """SIGTERM, then the exit status (None when it did not end in time)."""
        if self.proc is None or self.proc.poll() is not None:
            return self.proc.returncode if self.proc else None
        self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            return None

    def log(self):
        with open(self.log_path, errors="replace") as f:
            return f.read()


class Services:
    """The game service and the UDP echo sharing one state folder."""

    def __init__(self, udp=True, signing_key=None):
        self.tmp = tempfile.TemporaryDirectory(prefix="standin-test-")
        self.dir = self.tmp.name
        extra = ["--signing-key", signing_key] if signing_key else []
        self.http = Process("game_service.py", self.dir, extra).start()
        self.udp = Process("udp_echo.py", self.dir).start() if udp else None

    def close(self):
        statuses = [self.http.stop()] + ([self.udp.stop()] if self.udp else [])
        self.tmp.cleanup()
        return statuses


class Exchange:
    """What came back on one raw connection, read until the server ended it."""

    def __init__(self, data, ended, reads):
        self.data = data
        self.ended = ended  # "eof", "reset" or "timeout"
        self.reads = reads
        head, _, self.body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        self.status = int(lines[0].split()[1]) if lines[0] else None
        self.headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            self.headers[name.strip().lower()] = value.strip()

    @property
    def content_length(self):
        return int(self.headers["content-length"]) if "content-length" in self.headers else None


def exchange(port, request, timeout=5):
    """Sends REQUEST (bytes) as is and reads until EOF, reset or TIMEOUT."""
    sock = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    data, reads, ended = b"", 0, "eof"
    try:
        sock.sendall(request)
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                break
            data += chunk
            reads += 1
    except ConnectionResetError:
        ended = "reset"
    except socket.timeout:
        ended = "timeout"
    finally:
        sock.close()
    return Exchange(data, ended, reads)


def get(port, target, extra=b""):
    return exchange(port, b"GET " + target.encode("latin-1") + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + b"Connection: close\r\n\r\n")


def post(port, target, body, extra=b""):
    head = b"POST %s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n" % target.encode("latin-1")
    head += b"Content-Length: %d\r\n" % len(body)
    return exchange(port, head + extra + b"Connection: close\r\n\r\n" + body)
