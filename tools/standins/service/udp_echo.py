#!/usr/bin/env python3
"""Stand-in for the UDP echo host: answers each datagram to its sender.

    udp_echo.py --bind 127.0.0.1 --port 2000 --state-dir DIR --ready-file FILE

``--port 0`` picks a free port; the ready file holds the port number
(one line), written once the socket is bound.

How it answers is set by ``DIR/udp_mode.json``, read again whenever the file
changes (checked before each datagram, so a change written before a probe is
seen by that probe). Missing or unreadable means ``echo``. One JSON object:

    {"mode": "echo"}                               every datagram echoed
    {"mode": "drop", "share": 0.3, "seed": 1}      a share dropped; which ones
                                                   depends only on the seed and
                                                   the datagram's number
    {"mode": "delay", "every": 3, "delay_ms": 700} every 3rd echoed late
    {"mode": "duplicate"}                          each echo sent twice
    {"mode": "garbage"}                            answer with other bytes
                                                   (each byte inverted)
    {"mode": "silent"}                             never answer

Datagrams are numbered from 1 again whenever the file changes, so a test that
sets a mode and then probes gets the same outcome every time.

Recording: ``DIR/udp.jsonl``, one JSON object a line, started empty:

    {"event": "recv",  "time": T, "peer": "127.0.0.1:P", "n": 1,
     "hex": "...", "mode": "drop", "action": "drop"}
    {"event": "reply", "time": T, "peer": "...", "n": 1, "hex": "...",
     "action": "echo"}

``action`` is what was done with the datagram: echo, drop, delay, duplicate,
garbage or silent. ``summarise()`` folds the file into counts.
"""

import argparse
import heapq
import json
import os
import random
import signal
import socket
import sys
import threading
import time

MODES = ("echo", "drop", "delay", "duplicate", "garbage", "silent")
MODE_FILE = "udp_mode.json"
RECORD_FILE = "udp.jsonl"


def normalise_mode(raw):
    """Checks a mode object and fills in defaults; raises ValueError."""
    if not isinstance(raw, dict):
        raise ValueError("the mode must be a JSON object")
    mode = raw.get("mode", "echo")
    if mode not in MODES:
        raise ValueError(f"unknown mode {mode!r}; one of {', '.join(MODES)}")
    out = {"mode": mode}
    if mode == "drop":
        share = raw.get("share", 0.5)
        if not isinstance(share, (int, float)) or not 0 <= share <= 1:
            raise ValueError("share must be a number from 0 to 1")
        seed = raw.get("seed", 0)
        if not isinstance(seed, int):
            raise ValueError("seed must be an integer")
        out.update(share=float(share), seed=seed)
    elif mode == "delay":
        every = raw.get("every", 1)
        delay_ms = raw.get("delay_ms", 700)
        if not isinstance(every, int) or every < 1:
            raise ValueError("every must be a positive integer")
        if not isinstance(delay_ms, (int, float)) or delay_ms < 0:
            raise ValueError("delay_ms must be a non-negative number")
        out.update(every=every, delay_ms=delay_ms)
    return out


def write_mode(state_dir, mode):
    """Replaces the mode file in one step, so the echo never reads half of it."""
    mode = normalise_mode(mode)
    path = os.path.join(state_dir, MODE_FILE)
    tmp = f"{path}.{os.getpid()}.{threading.get_ident()}.tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(mode, f)
    os.replace(tmp, path)
    return mode


def read_mode(state_dir):
    try:
        with open(os.path.join(state_dir, MODE_FILE), encoding="utf-8") as f:
            return normalise_mode(json.load(f))
    except FileNotFoundError:
        return {"mode": "echo"}


def summarise(state_dir):
    """Counts of what the echo saw, from its recording."""
    counts = {"received": 0, "replies": 0, "actions": {}, "peers": []}
    peers = set()
    try:
        with open(os.path.join(state_dir, RECORD_FILE), encoding="utf-8") as f:
            lines = f.readlines()
    except FileNotFoundError:
        lines = []
    for line in lines:
        try:
            event = json.loads(line)
        except ValueError:
            continue  # a line still being written
        if event.get("event") == "recv":
            counts["received"] += 1
            action = event.get("action", "?")
            counts["actions"][action] = counts["actions"].get(action, 0) + 1
            peers.add(event.get("peer"))
        elif event.get("event") == "reply":
            counts["replies"] += 1
    counts["peers"] = sorted(p for p in peers if p)
    try:
        counts["mode"] = read_mode(state_dir)
    except (ValueError, OSError) as e:
        counts["mode"] = {"mode": "echo", "error": str(e)}
    return counts


class Echo:
    def __init__(self, sock, state_dir):
        self.sock = sock
        self.state_dir = state_dir
        self.mode_path = os.path.join(state_dir, MODE_FILE)
        record_path = os.path.join(state_dir, RECORD_FILE)
        open(record_path, "w").close()
        # Appending: the game service's reset may cut the file under us.
        self.record = open(record_path, "a", encoding="utf-8")
        self.record_lock = threading.Lock()
        self.mode_stamp = None
        self.mode = {"mode": "echo"}
        self.count = 0
        self.rng = random.Random(0)
        # Late replies wait in a heap served by one thread, so a delayed
        # datagram never holds up the ones behind it.
        self.late = []
        self.late_cv = threading.Condition()
        self.stopping = threading.Event()
        self.late_thread = threading.Thread(target=self._send_late, daemon=True)
        self.late_thread.start()

    def log(self, event):
        event["time"] = round(time.time(), 6)
        line = json.dumps(event)
        with self.record_lock:
            self.record.write(line + "\n")
            self.record.flush()

    def refresh_mode(self):
        # The inode changes with every replacement of the file, even by the
        # same text (a test setting the same drop seed again starts over);
        # the text catches edits in place within one timestamp tick.
        try:
            with open(self.mode_path, "rb") as f:
                st = os.fstat(f.fileno())
                stamp = (st.st_ino, st.st_mtime_ns, st.st_ctime_ns, f.read())
        except FileNotFoundError:
            stamp = None
        if stamp == self.mode_stamp:
            return
        self.mode_stamp = stamp
        try:
            self.mode = normalise_mode(json.loads(stamp[3])) if stamp else {"mode": "echo"}
        except ValueError as e:
            print(f"udp_echo: bad {MODE_FILE} ({e}); echoing", file=sys.stderr, flush=True)
            self.mode = {"mode": "echo"}
        self.count = 0
        self.rng = random.Random(self.mode.get("seed", 0))
        print(f"udp_echo: mode {json.dumps(self.mode)}", flush=True)

    def send(self, data, peer, n, action):
        try:
            self.sock.sendto(data, peer)
        except OSError as e:
            print(f"udp_echo: reply to {peer} failed: {e}", file=sys.stderr, flush=True)
            return
        self.log({"event": "reply", "peer": f"{peer[0]}:{peer[1]}", "n": n, "hex": data.hex(), "action": action})

    def handle(self, data, peer):
        self.refresh_mode()
        self.count += 1
        n = self.count
        mode = self.mode["mode"]
        action = mode
        if mode == "drop":
            # One draw per datagram keeps the choice a function of (seed, n).
            action = "drop" if self.rng.random() < self.mode["share"] else "echo"
        elif mode == "delay":
            action = "delay" if n % self.mode["every"] == 0 else "echo"
        self.log({"event": "recv", "peer": f"{peer[0]}:{peer[1]}", "n": n, "hex": data.hex(), "mode": mode, "action": action})
        if action == "echo":
            self.send(data, peer, n, action)
        elif action == "duplicate":
            self.send(data, peer, n, action)
            self.send(data, peer, n, action)
        elif action == "garbage":
            self.send(bytes(b ^ 0xFF for b in data) or b"\xff", peer, n, action)
        elif action == "delay":
            due = time.monotonic() + self.mode["delay_ms"] / 1000.0
            with self.late_cv:
                heapq.heappush(self.late, (due, n, data, peer))
                self.late_cv.notify()

    def _send_late(self):
        while not self.stopping.is_set():
            with self.late_cv:
                if not self.late:
                    self.late_cv.wait(0.2)
                    continue
                due, n, data, peer = self.late[0]
                wait = due - time.monotonic()
                if wait > 0:
                    self.late_cv.wait(min(wait, 0.2))
                    continue
                heapq.heappop(self.late)
            self.send(data, peer, n, "delay")

    def serve(self):
        self.sock.settimeout(0.2)
        while not self.stopping.is_set():
            try:
                data, peer = self.sock.recvfrom(65535)
            except socket.timeout:
                continue
            except OSError as e:
                # A previous reply's ICMP "port unreachable" surfaces here.
                if self.stopping.is_set():
                    break
                print(f"udp_echo: receive: {e}", file=sys.stderr, flush=True)
                continue
            self.handle(data, peer)


def write_ready(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(f"{port}\n")
    os.replace(tmp, path)


def main(argv=None):
    ap = argparse.ArgumentParser(description="UDP echo stand-in")
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=2000)
    ap.add_argument("--state-dir", required=True)
    ap.add_argument("--ready-file", required=True)
    args = ap.parse_args(argv)

    os.makedirs(args.state_dir, exist_ok=True)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    # Room for a burst of probes, so the kernel never drops what a mode did not.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    sock.bind((args.bind, args.port))
    port = sock.getsockname()[1]
    echo = Echo(sock, args.state_dir)

    def stop(signum, frame):
        echo.stopping.set()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    write_ready(args.ready_file, port)
    print(f"udp_echo: listening on {args.bind}:{port}", flush=True)
    echo.serve()
    print("udp_echo: stopped", flush=True)
    sock.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
