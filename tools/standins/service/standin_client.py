"""Steers the local game service (and through it the UDP echo) from Python.

    from standin_client import Service
    svc = Service()                      # 127.0.0.1:80, or RAVELIN_SERVICE_PORT
    svc.reset()
    svc.start_page(loadgame_delay_ms=1500)
    svc.manifest("tr", b"...")
    svc.build("/loginer/tr/MyClient.exe", data, mode="short")
    svc.requests(path="/loginer/logData.php")
    print(svc.summary())

Plain http.client: no proxy from the environment is ever used.
"""

import http.client
import json
import os
import urllib.parse


class ServiceError(RuntimeError):
    pass


class Service:
    def __init__(self, host="127.0.0.1", port=None, timeout=10.0):
        self.host = host
        self.port = int(port if port is not None else os.environ.get("RAVELIN_SERVICE_PORT", 80))
        self.timeout = timeout

    def call(self, method, path, body=None, query=None):
        """One control request; returns the decoded JSON answer."""
        if query:
            path += "?" + urllib.parse.urlencode({k: v for k, v in query.items() if v is not None})
        if isinstance(body, (dict, list)):
            body = json.dumps(body).encode("utf-8")
        conn = http.client.HTTPConnection(self.host, self.port, timeout=self.timeout)
        try:
            conn.request(method, "/_standin/" + path, body=body if body is not None else b"")
            resp = conn.getresponse()
            data = resp.read()
        finally:
            conn.close()
        try:
            answer = json.loads(data)
        except ValueError:
            raise ServiceError(f"{method} {path}: HTTP {resp.status}, not JSON: {data[:200]!r}")
        if resp.status != 200:
            raise ServiceError(f"{method} {path}: HTTP {resp.status}: {answer.get('error', answer)}")
        return answer

    def reset(self):
        return self.call("POST", "reset")

    def settings(self):
        return self.call("GET", "settings")

    def start_page(self, **change):
        """Keys: mode, loadgame_delay_ms (None = never), movie_path, loadgame_url."""
        return self.call("POST", "start_page", change)

    def manifest(self, lang, data):
        """Serves DATA (bytes) as the manifest of LANG; None makes it 404."""
        if data is None:
            return self.call("DELETE", "manifest/" + lang)
        return self.call("PUT", "manifest/" + lang, data)

    def build(self, path, data, mode="correct", trickle_bytes=None, trickle_ms=None, cut_bytes=None, declared_bytes=None,
              sig=None):
        query = {"path": path, "mode": mode, "trickle_bytes": trickle_bytes, "trickle_ms": trickle_ms, "cut_bytes": cut_bytes,
                 "declared_bytes": declared_bytes, "sig": sig}
        return self.call("PUT", "build", data, query)

    def remove_build(self, path):
        return self.call("DELETE", "build", query={"path": path})

    def log_endpoint(self, mode):
        return self.call("POST", "log_endpoint", {"mode": mode})

    def connections(self, keep_alive):
        return self.call("POST", "connections", {"keep_alive": keep_alive})

    def udp(self, mode, **params):
        return self.call("POST", "udp", dict(params, mode=mode))

    def udp_stats(self):
        return self.call("GET", "udp")

    def requests(self, path=None, since=None):
        return self.call("GET", "requests", query={"path": path, "since": since})

    def uploads(self):
        return self.call("GET", "uploads")

    def summary(self):
        return format_summary(self.requests(), self.udp_stats())


def format_summary(requests, udp):
    """What the service saw, for people: requests per path, start page
    values, the lines of each log post, UDP probes."""
    out = []
    counts = {}
    for r in requests:
        key = (r["method"], r["path"])
        counts.setdefault(key, {})
        counts[key][r["answer"]] = counts[key].get(r["answer"], 0) + 1
    out.append(f"Game service: {len(requests)} request(s)")
    for (method, path), answers in sorted(counts.items(), key=lambda kv: kv[0][1]):
        total = sum(answers.values())
        how = ", ".join(f"{a} x{n}" if n > 1 else a for a, n in sorted(answers.items()))
        out.append(f"  {total:4d}  {method} {path}  [{how}]")

    starts = [r for r in requests if "start_page" in r]
    if starts:
        out.append("Start page queries:")
        for r in starts:
            values = r["start_page"]
            shown = "  ".join(f"{k}={values[k]!r}" for k in ("source", "host_uid", "sp_promote") if k in values)
            out.append(f"  #{r['seq']}: {shown or repr(r['query'])}")

    posts = [r for r in requests if r["path"] == "/loginer/logData.php" and r["method"] == "POST"]
    if posts:
        # Imported here: the service module is a script with its own start-up.
        from game_service import decode_upload

        out.append(f"Log posts: {len(posts)}")
        for r in posts:
            if not r["body_read"]:
                out.append(f"  #{r['seq']} ({r['answer']}): body not read")
                continue
            decoded = decode_upload(r["body"].encode("latin-1"))
            check = next((v for k, v in decoded["fields"] if k == "check"), None)
            out.append(f"  #{r['seq']} ({r['answer']}), check={check!r}, {len(decoded['info_lines'])} line(s):")
            out.extend(f"    | {line}" for line in decoded["info_lines"])

    actions = ", ".join(f"{a} {n}" for a, n in sorted(udp.get("actions", {}).items()))
    mode = udp.get("mode", {}).get("mode", "echo")
    seen = f"UDP probes seen: {udp.get('received', 0)} received, {udp.get('replies', 0)} replies"
    out.append(seen + (f" ({actions})" if actions else "") + f"; mode {mode}")
    return "\n".join(out)
