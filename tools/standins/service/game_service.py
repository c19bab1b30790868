#!/usr/bin/env python3
"""Stand-in for the game's web host, download host and log endpoint.

    game_service.py --bind 127.0.0.1 --port 80 --state-dir DIR --ready-file FILE
                    [--signing-key PRIVATE.pem]

``--port 0`` picks a free port; the ready file holds the port number (one
line), written once the server listens. SIGTERM or SIGINT stop it at once,
even in the middle of a slow answer.

What the launcher sees (HTTP/1.1, keep-alive, one thread per connection):

  /dusk_vale/client/index.php   login page; its meta refresh navigates to
                                app://loadgame?movie=http://HOST/game/movie.swf
                                after the chosen delay (default: never)
  the movie path                a few bytes of application/x-shockwave-flash
  /loginer/tr/login_mini_tr_vx.ini, /loginer/pt/login_mini_br_vx.ini,
  /loginer/es/login_mini_ar_vx.ini, /loginer/pl/login_mini_pl_vx.ini,
  /loginer/ch/login_mini_ch_vx.ini
                                update manifests, bytes as put (default 404)
  any registered build path     the uploaded bytes, in the build's fault mode
  the build path + ".sig"       the build's detached signature as the update
                                host publishes it: base64 of the DER ECDSA
                                signature over SHA-256 of the bytes, made by
                                stock openssl with --signing-key (the key of
                                the build folder the launcher was built in)
  /loginer/logData.php          log endpoint, answers "ok"
  anything else                 404

Control interface (never recorded; JSON answers, Connection: close). Bad
input answers 400 {"error": "..."}, success {"ok": true, ...}.

  POST   /_standin/reset          forget recordings and settings, UDP mode too
  GET    /_standin/settings       the current settings (without file bytes)
  POST   /_standin/start_page     {"mode": "normal"|"refuse"|"500",
                                   "loadgame_delay_ms": 1500 or null (never),
                                   "movie_path": "/game/movie.swf",
                                   "loadgame_url": null or a whole address}
                                  omitted keys keep their value; refuse resets
                                  the connection without an answer
  PUT    /_standin/manifest/LANG  body = manifest bytes; LANG: tr pt es pl ch
  DELETE /_standin/manifest/LANG  back to 404
  PUT    /_standin/build?path=/loginer/tr/MyClient.exe&mode=MODE
             [&trickle_bytes=1024&trickle_ms=50][&cut_bytes=N]
             [&declared_bytes=N][&sig=SIG]
                                  body = the file. MODE:
                                    correct  200 with Content-Length
                                    chunked  Transfer-Encoding: chunked
                                    short    full Content-Length, cut_bytes
                                             (default half) sent, then FIN
                                    404      404 with a body
                                    trickle  trickle_bytes every trickle_ms,
                                             complete in the end
                                    drop     like short, then a reset (RST)
                                    huge     declares declared_bytes (more
                                             than it has), sends what it has,
                                             then FIN
                                  SIG, the signature at PATH.sig:
                                    good        by the signing key (the
                                                default when there is one)
                                    other_key   by a key of the service's own
                                    other_bytes of the bytes and one more
                                    truncated   the good text cut in half
                                    missing     404 (the default without a key)
  DELETE /_standin/build?path=P
  POST   /_standin/log_endpoint   {"mode": "ok"|"refuse"|"close"|"hang"};
                                  refuse resets at once without reading the
                                  body, close reads the post and closes
                                  unanswered, hang reads it and never answers
                                  (until the client gives up)
  POST   /_standin/connections    {"keep_alive": true|false}; false closes
                                  every connection after its answer (Wine
                                  lends a kept connection to later requests
                                  for the same server, whatever proxy the
                                  system's settings name)
  POST   /_standin/udp            a UDP echo mode object (see udp_echo.py);
                                  written to DIR/udp_mode.json
  GET    /_standin/udp            {"received": n, "replies": n,
                                   "actions": {"echo": n, ...},
                                   "peers": [...], "mode": {...}}
  GET    /_standin/requests[?path=P][&since=SEQ]   recorded requests (array)
  GET    /_standin/uploads        accepted log posts (array)

Recordings, one JSON object a line, started empty:

  DIR/requests.jsonl  every request outside /_standin/:
      {"seq": 1, "time": T, "client": "127.0.0.1:P", "method": "GET",
       "target": "/p?q", "path": "/p", "query": "q" (null without "?"),
       "params": [[k, v], ...]   (form-decoded, bytes as latin-1),
       "headers": [[name, value], ...]   (in order, duplicates kept),
       "body": "..."  (bytes as latin-1: body.encode("latin-1") gives them back),
       "body_length": n, "body_read": true, "answer": "200"|"404"|"refuse"|...,
       "start_page": {"source": ..., "host_uid": ..., "sp_promote": ...}}
      start_page (start page only) splits the raw query at "&KEY=" for these
      three keys, so a value may hold "&" or "=" and is kept exactly as sent.
  DIR/uploads.jsonl   each post the log endpoint answered "ok":
      {"seq": (the request's), "time": T, "raw": body (latin-1),
       "fields": [[k, v], ...] (form-decoded, latin-1),
       "info_lines": [...] (the info field as text, split at CR / CRLF / LF)}
"""

import argparse
import base64
import fcntl
import io
import json
import os
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import termios
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import udp_echo  # noqa: E402

START_PAGE = "/dusk_vale/client/index.php"
START_PAGE_KEYS = ("source", "host_uid", "sp_promote")
LOG_PATH = "/loginer/logData.php"
MANIFESTS = {
    "tr": "/loginer/tr/login_mini_tr_vx.ini",
    "pt": "/loginer/pt/login_mini_br_vx.ini",
    "es": "/loginer/es/login_mini_ar_vx.ini",
    "pl": "/loginer/pl/login_mini_pl_vx.ini",
    "ch": "/loginer/ch/login_mini_ch_vx.ini",
}
CONTROL = "/_standin/"
START_MODES = ("normal", "refuse", "500")
BUILD_MODES = ("correct", "chunked", "short", "404", "trickle", "drop", "huge")
SIG_MODES = ("good", "other_key", "other_bytes", "truncated", "missing")
SIG_SUFFIX = ".sig"
LOG_MODES = ("ok", "refuse", "close", "hang")
MOVIE_BYTES = b"FWS\x0a" + struct.pack("<I", 64) + bytes(range(56))


def default_settings():
    return {
        "start_page": {"mode": "normal", "loadgame_delay_ms": None, "movie_path": "/game/movie.swf", "loadgame_url": None},
        "manifests": {},
        "builds": {},
        "log_mode": "ok",
        "keep_alive": True,
    }


def openssl(*args, data=None):
    done = subprocess.run(["openssl", *args], input=data, capture_output=True, check=False)
    if done.returncode != 0:
        raise ValueError("openssl " + " ".join(args[:2]) + ": " + done.stderr.decode(errors="replace").strip())
    return done.stdout


class Signer:
    """Signs builds as an update host operator does, with stock openssl."""

    def __init__(self, key, state_dir):
        self.key = key
        self.other_key = os.path.join(state_dir, "other-signing-key.pem")

    def sign(self, data, key=None):
        der = openssl("dgst", "-sha256", "-sign", key or self.key, data=data)
        return base64.b64encode(der)

    def signature(self, data, mode):
        if mode == "missing":
            return None
        if self.key is None:
            raise ValueError("the service has no signing key (--signing-key)")
        if mode == "other_key":
            if not os.path.exists(self.other_key):
                openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", self.other_key)
            return self.sign(data, self.other_key)
        if mode == "other_bytes":
            return self.sign(data + b"\0")
        good = self.sign(data)
        return good[: len(good) // 2] if mode == "truncated" else good


class State:
    def __init__(self, state_dir, base_url, signer):
        self.dir = state_dir
        self.base_url = base_url
        self.signer = signer
        self.lock = threading.Lock()
        self.settings = default_settings()
        self.requests = []
        self.uploads = []
        self.seq = 0
        self.requests_file = open(os.path.join(state_dir, "requests.jsonl"), "w", encoding="utf-8")
        self.uploads_file = open(os.path.join(state_dir, "uploads.jsonl"), "w", encoding="utf-8")

    def reset(self):
        with self.lock:
            self.settings = default_settings()
            self.requests.clear()
            self.uploads.clear()
            self.requests_file.truncate(0)
            self.requests_file.seek(0)
            self.uploads_file.truncate(0)
            self.uploads_file.seek(0)
        try:
            os.remove(os.path.join(self.dir, udp_echo.MODE_FILE))
        except FileNotFoundError:
            pass
        # The echo appends; cutting the file to nothing starts its record over.
        with open(os.path.join(self.dir, udp_echo.RECORD_FILE), "a") as f:
            f.truncate(0)

    def add_request(self, record):
        with self.lock:
            self.seq += 1
            record["seq"] = self.seq
            self.requests.append(record)
            self.requests_file.write(json.dumps(record) + "\n")
            self.requests_file.flush()
        return record

    def add_upload(self, upload):
        with self.lock:
            self.uploads.append(upload)
            self.uploads_file.write(json.dumps(upload) + "\n")
            self.uploads_file.flush()


def split_start_query(query):
    """Values of the start page's keys, cut only at "&KEY=" for known keys."""
    pattern = re.compile(r"(?:^|&)(" + "|".join(map(re.escape, START_PAGE_KEYS)) + r")=")
    found = list(pattern.finditer(query))
    values = {}
    for i, m in enumerate(found):
        end = found[i + 1].start() if i + 1 < len(found) else len(query)
        values.setdefault(m.group(1), query[m.end() : end])
    return values


def decode_upload(body):
    raw = body.decode("latin-1")
    fields = urllib.parse.parse_qsl(raw, keep_blank_values=True, encoding="latin-1")
    info = next((v for k, v in fields if k == "info"), "")
    data = info.encode("latin-1")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        text = data.decode("cp1252", errors="replace")
    lines = re.split(r"\r\n|\r|\n", text)
    while lines and lines[-1] == "":
        lines.pop()
    return {"raw": raw, "fields": [[k, v] for k, v in fields], "info_lines": lines}


def seconds_text(ms):
    text = f"{ms / 1000:.3f}".rstrip("0").rstrip(".")
    return text or "0"


def login_page(settings, base_url):
    refresh = ""
    delay = settings["loadgame_delay_ms"]
    if delay is not None:
        target = settings["loadgame_url"] or f"app://loadgame?movie={base_url}{settings['movie_path']}"
        refresh = f'<meta http-equiv="refresh" content="{seconds_text(delay)};url={target}">\n'
    return f"""<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
{refresh}<title>Dusk Vale</title>
</head>
<body style="background:#1b1626;color:#e8dcc0;font-family:sans-serif">
<h1>Dusk Vale</h1>
<form method="post" action="/dusk_vale/client/login.php">
<p><label>Account <input name="account"></label></p>
<p><label>Password <input name="password" type="password"></label></p>
<p><button type="submit">Enter the vale</button></p>
</form>
</body>
</html>
""".encode("utf-8")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "DuskVale/1.0"
    timeout = 60  # an idle keep-alive connection does not hold a thread forever

    def do_GET(self):
        self.dispatch()

    do_HEAD = do_POST = do_PUT = do_DELETE = do_OPTIONS = do_GET

    def version_string(self):
        return self.server_version

    @property
    def state(self):
        return self.server.state

    def log_message(self, fmt, *args):
        sys.stderr.write(f"game_service: {self.address_string()} {fmt % args}\n")
        sys.stderr.flush()

    def dispatch(self):
        target = self.path
        if target.startswith(("http://", "https://")):
            target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
        path, sep, query = target.partition("?")
        try:
            if path.startswith(CONTROL):
                self.control(path[len(CONTROL) :], query)
            else:
                self.outside(target, path, query if sep else None)
        except (BrokenPipeError, ConnectionResetError) as e:
            self.log_message("client went away: %s", e)
            self.close_connection = True

    # Reading and answering

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            parts = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return b"".join(parts)
                parts.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def reply(self, status, body, ctype="text/plain; charset=utf-8", close=False):
        with self.state.lock:
            close = close or not self.state.settings["keep_alive"]
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def reset_connection(self):
        """Closes with RST: what a client sees from a refusing or crashed host."""
        self.close_connection = True
        sock = self.connection
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        # The buffered files hold references; the socket closes only with them.
        self.rfile.close()
        self.wfile.close()
        sock.close()
        # The request loop still flushes and closes these afterwards.
        self.rfile, self.wfile = io.BytesIO(), io.BytesIO()

    def hold_until_client_leaves(self):
        """Answers nothing, for as long as the client waits."""
        self.close_connection = True
        sock = self.connection
        while True:
            readable, _, _ = select.select([sock], [], [], 0.5)
            if readable:
                try:
                    if not sock.recv(4096):
                        return
                except OSError:
                    return

    def wait_until_sent(self, limit=2.0):
        # A reset throws away what is still queued; let the client have the
        # part it was meant to get first.
        deadline = time.monotonic() + limit
        while time.monotonic() < deadline:
            queued = fcntl.ioctl(self.connection.fileno(), termios.TIOCOUTQ, b"\0\0\0\0")
            if struct.unpack("i", queued)[0] == 0:
                return
            time.sleep(0.005)

    # The launcher's side

    def record(self, target, path, query, body, answer):
        record = {
            "time": round(time.time(), 6),
            "client": f"{self.client_address[0]}:{self.client_address[1]}",
            "method": self.command,
            "target": target,
            "path": path,
            "query": query,
            "params": [list(p) for p in urllib.parse.parse_qsl(query or "", keep_blank_values=True, encoding="latin-1")],
            "headers": [[k, v] for k, v in self.headers.items()],
            "body": (body or b"").decode("latin-1"),
            "body_length": len(body or b""),
            "body_read": body is not None,
            "answer": answer,
        }
        if path == START_PAGE:
            record["start_page"] = split_start_query(query or "")
        return self.state.add_request(record)

    def outside(self, target, path, query):
        state = self.state
        with state.lock:
            settings = state.settings
            start = dict(settings["start_page"])
            manifests = dict(settings["manifests"])
            build = settings["builds"].get(path)
            signed = settings["builds"].get(path[: -len(SIG_SUFFIX)]) if path.endswith(SIG_SUFFIX) else None
            log_mode = settings["log_mode"]
        manifest_langs = {p: lang for lang, p in MANIFESTS.items()}

        if path == LOG_PATH:
            if log_mode == "refuse":
                self.record(target, path, query, None, "refuse")
                self.reset_connection()
                return
            body = self.read_body()
            record = self.record(target, path, query, body, log_mode if log_mode in ("close", "hang") else "200")
            if log_mode == "close":
                self.close_connection = True
                return
            if log_mode == "hang":
                self.hold_until_client_leaves()
                return
            if self.command == "POST":
                upload = {"seq": record["seq"], "time": record["time"]}
                upload.update(decode_upload(body))
                state.add_upload(upload)
            self.reply(200, b"ok")
            return

        body = self.read_body()
        if path == START_PAGE:
            mode = start["mode"]
            self.record(target, path, query, body, "200" if mode == "normal" else mode)
            if mode == "refuse":
                self.reset_connection()
            elif mode == "500":
                self.reply(500, b"<html><body><h1>500 Internal Server Error</h1></body></html>\n", "text/html")
            else:
                self.reply(200, login_page(start, state.base_url), "text/html; charset=utf-8")
        elif path == start["movie_path"]:
            self.record(target, path, query, body, "200")
            self.reply(200, MOVIE_BYTES, "application/x-shockwave-flash")
        elif path in manifest_langs and manifest_langs[path] in manifests:
            self.record(target, path, query, body, "200")
            self.reply(200, manifests[manifest_langs[path]], "text/plain")
        elif build is not None:
            self.record(target, path, query, body, build["mode"])
            self.send_build(build)
        elif signed is not None and signed["sig"] is not None:
            self.record(target, path, query, body, "200")
            self.reply(200, signed["sig"], "application/octet-stream")
        else:
            self.record(target, path, query, body, "404")
            self.reply(404, b"<html><body><h1>404 Not Found</h1></body></html>\n", "text/html")

    def send_build(self, build):
        data, mode = build["data"], build["mode"]
        ctype = "application/octet-stream"
        if mode == "404":
            self.reply(404, b"<html><body><h1>404 Not Found</h1><p>No such build.</p></body></html>\n", "text/html")
            return
        if mode == "correct":
            self.reply(200, data, ctype)
            return
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        if mode == "chunked":
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            if self.command == "HEAD":
                return
            step = build["trickle_bytes"] or 4096
            for i in range(0, len(data), step):
                piece = data[i : i + step]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
            return
        self.send_header("Content-Length", str(build["declared_bytes"] if mode == "huge" else len(data)))
        if mode in ("short", "drop", "huge"):
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        if mode == "huge":
            self.close_connection = True
            self.wfile.write(data)
            return
        if mode == "trickle":
            step = build["trickle_bytes"] or 1024
            pause = (build["trickle_ms"] if build["trickle_ms"] is not None else 50) / 1000.0
            for i in range(0, len(data), step):
                if i:
                    time.sleep(pause)
                self.wfile.write(data[i : i + step])
            return
        cut = build["cut_bytes"] if build["cut_bytes"] is not None else len(data) // 2
        self.wfile.write(data[: min(cut, max(len(data) - 1, 0))])
        if mode == "short":
            self.close_connection = True
        else:
            self.wait_until_sent()
            self.reset_connection()

    # The control interface

    def control_reply(self, status, obj):
        self.reply(status, (json.dumps(obj) + "\n").encode("utf-8"), "application/json", close=True)

    def json_body(self):
        body = self.read_body()
        if not body.strip():
            return {}
        obj = json.loads(body)
        if not isinstance(obj, dict):
            raise ValueError("expected a JSON object")
        return obj

    def control(self, name, query):
        try:
            status, obj = self.control_route(self.command, name, urllib.parse.parse_qs(query, keep_blank_values=True))
        except ValueError as e:  # json.JSONDecodeError is one
            status, obj = 400, {"error": str(e)}
        self.control_reply(status, obj)

    def control_route(self, method, name, params):
        state = self.state

        def one(key, default=None):
            return params[key][-1] if key in params else default

        def number(key):
            text = one(key)
            if text in (None, ""):
                return None
            value = int(text)
            if value < 0:
                raise ValueError(f"{key} must not be negative")
            return value

        if (method, name) == ("POST", "reset"):
            self.read_body()
            state.reset()
            return 200, {"ok": True}
        if (method, name) == ("GET", "settings"):
            with state.lock:
                s = state.settings
                return 200, {
                    "start_page": s["start_page"],
                    "manifests": {k: len(v) for k, v in s["manifests"].items()},
                    "builds": {
                        p: {k: v for k, v in b.items() if k not in ("data", "sig")} | {"length": len(b["data"])}
                        for p, b in s["builds"].items()
                    },
                    "log_mode": s["log_mode"],
                    "base_url": state.base_url,
                }
        if (method, name) == ("POST", "start_page"):
            change = self.json_body()
            unknown = set(change) - {"mode", "loadgame_delay_ms", "movie_path", "loadgame_url"}
            if unknown:
                raise ValueError(f"unknown keys {sorted(unknown)}")
            if "mode" in change and change["mode"] not in START_MODES:
                raise ValueError(f"mode must be one of {', '.join(START_MODES)}")
            delay = change.get("loadgame_delay_ms")
            if delay is not None and (not isinstance(delay, (int, float)) or delay < 0):
                raise ValueError("loadgame_delay_ms must be a non-negative number or null")
            movie = change.get("movie_path")
            if movie is not None and (not isinstance(movie, str) or not movie.startswith("/") or movie.startswith(CONTROL)):
                raise ValueError("movie_path must be a path starting with /")
            with state.lock:
                state.settings["start_page"].update(change)
                return 200, {"ok": True, "start_page": state.settings["start_page"]}
        if name.startswith("manifest/") and method in ("PUT", "DELETE"):
            lang = name[len("manifest/") :]
            if lang not in MANIFESTS:
                raise ValueError(f"language must be one of {', '.join(MANIFESTS)}")
            body = self.read_body()
            with state.lock:
                if method == "PUT":
                    state.settings["manifests"][lang] = body
                else:
                    state.settings["manifests"].pop(lang, None)
            return 200, {"ok": True, "path": MANIFESTS[lang]}
        if name == "build" and method in ("PUT", "DELETE"):
            path = one("path", "")
            if not path.startswith("/") or path.startswith(CONTROL):
                raise ValueError("path must start with / and lie outside /_standin/")
            body = self.read_body()
            if method == "DELETE":
                with state.lock:
                    state.settings["builds"].pop(path, None)
                return 200, {"ok": True}
            mode = one("mode", "correct")
            if mode not in BUILD_MODES:
                raise ValueError(f"mode must be one of {', '.join(BUILD_MODES)}")
            build = {"data": body, "mode": mode}
            build.update((k, number(k)) for k in ("trickle_bytes", "trickle_ms", "cut_bytes", "declared_bytes"))
            if build["trickle_bytes"] == 0:
                raise ValueError("trickle_bytes must be positive")
            if mode == "huge" and (build["declared_bytes"] or 0) <= len(body):
                raise ValueError("huge needs declared_bytes larger than the body")
            sig = one("sig", "good" if state.signer.key else "missing")
            if sig not in SIG_MODES:
                raise ValueError(f"sig must be one of {', '.join(SIG_MODES)}")
            build["sig_mode"] = sig
            build["sig"] = state.signer.signature(body, sig)
            with state.lock:
                state.settings["builds"][path] = build
            return 200, {"ok": True, "path": path, "length": len(body), "mode": mode, "sig": sig}
        if (method, name) == ("POST", "log_endpoint"):
            mode = self.json_body().get("mode")
            if mode not in LOG_MODES:
                raise ValueError(f"mode must be one of {', '.join(LOG_MODES)}")
            with state.lock:
                state.settings["log_mode"] = mode
            return 200, {"ok": True}
        if (method, name) == ("POST", "connections"):
            keep = self.json_body().get("keep_alive")
            if not isinstance(keep, bool):
                raise ValueError("keep_alive must be true or false")
            with state.lock:
                state.settings["keep_alive"] = keep
            return 200, {"ok": True}
        if (method, name) == ("POST", "udp"):
            mode = udp_echo.write_mode(state.dir, self.json_body())
            return 200, {"ok": True, "mode": mode}
        if (method, name) == ("GET", "udp"):
            return 200, udp_echo.summarise(state.dir)
        if (method, name) == ("GET", "requests"):
            want_path = one("path")
            since = number("since") or 0
            with state.lock:
                found = [r for r in state.requests if r["seq"] > since and (want_path is None or r["path"] == want_path)]
            return 200, found
        if (method, name) == ("GET", "uploads"):
            with state.lock:
                return 200, list(state.uploads)
        self.read_body()
        return 404, {"error": f"no control {method} /_standin/{name}"}


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def server_bind(self):
        # HTTPServer would look up the host's name here; there is no resolver
        # in the harness's namespace, and we do not need it.
        self.socket.bind(self.server_address)
        self.server_address = self.socket.getsockname()
        self.server_name, self.server_port = self.server_address[:2]


def main(argv=None):
    ap = argparse.ArgumentParser(description="game service stand-in")
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--port", type=int, default=80)
    ap.add_argument("--state-dir", required=True)
    ap.add_argument("--ready-file", required=True)
    ap.add_argument("--signing-key", help="private key (PEM) the builds are signed with")
    args = ap.parse_args(argv)

    os.makedirs(args.state_dir, exist_ok=True)
    server = Server((args.bind, args.port), Handler)
    port = server.server_address[1]
    base_url = f"http://{args.bind}" + ("" if port == 80 else f":{port}")
    server.state = State(args.state_dir, base_url, Signer(args.signing_key, args.state_dir))

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    worker = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
    worker.start()
    udp_echo.write_ready(args.ready_file, port)
    print(f"game_service: listening on {args.bind}:{port}", flush=True)
    while not stop.wait(0.5):
        pass
    server.shutdown()
    server.server_close()
    print("game_service: stopped", flush=True)
    sys.stderr.flush()
    # Connection threads may sit in a slow answer; they must not hold the exit.
    os._exit(0)


if __name__ == "__main__":
    main()
