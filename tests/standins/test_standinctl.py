"""standinctl steers the services from a shell and tells what they saw."""

import json
import os
import socket
import subprocess
import sys
import tempfile
import unittest

from standin_process import SERVICE_DIR, Services, get, post

CTL = str(SERVICE_DIR / "standinctl")


class StandinctlTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.services = Services()
        cls.port = cls.services.http.port

    @classmethod
    def tearDownClass(cls):
        cls.services.close()

    def ctl(self, *args, stdin=b"", port=None):
        env = dict(os.environ, RAVELIN_SERVICE_PORT=str(port or self.port), PYTHONDONTWRITEBYTECODE="1")
        return subprocess.run([sys.executable, CTL, *args], input=stdin, capture_output=True, env=env, timeout=20)

    def ok(self, *args, stdin=b""):
        done = self.ctl(*args, stdin=stdin)
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        return done.stdout.decode()

    def setUp(self):
        self.ok("reset")

    def test_files_and_stdin_become_what_the_service_serves(self):
        with tempfile.NamedTemporaryFile(delete=False) as f:
            f.write(b"[Update]\r\nVersion=\xff\xfe\r\n")
        try:
            self.ok("manifest", "es", f.name)
        finally:
            os.unlink(f.name)
        self.assertEqual(get(self.port, "/loginer/es/login_mini_ar_vx.ini").body, b"[Update]\r\nVersion=\xff\xfe\r\n")
        self.ok("build", "/loginer/es/MyClient.exe", "-", "--mode", "short", "--cut-bytes", "3", stdin=b"MZ-binary")
        self.assertEqual(get(self.port, "/loginer/es/MyClient.exe").body, b"MZ-")
        self.ok("start-page", "--mode", "500")
        self.assertEqual(get(self.port, "/dusk_vale/client/index.php").status, 500)

    def test_requests_prints_one_json_object_a_line_filtered_by_path(self):
        get(self.port, "/a")
        get(self.port, "/b")
        get(self.port, "/a?x=1")
        lines = self.ok("requests", "--path", "/a").splitlines()
        self.assertEqual([json.loads(line)["target"] for line in lines], ["/a", "/a?x=1"])

    def test_summary_tells_what_the_service_saw(self):
        get(self.port, "/dusk_vale/client/index.php?source=desk&host_uid=1A&B=2&sp_promote=0")
        get(self.port, "/loginer/tr/login_mini_tr_vx.ini")
        get(self.port, "/loginer/tr/login_mini_tr_vx.ini")
        post(self.port, "/loginer/logData.php", b"info=Ravelin 1.0%0Dping: 3 ms%0D&check=md5pelrose")
        self.ok("log-endpoint", "close")
        post(self.port, "/loginer/logData.php", b"info=second&check=md5pelrose")
        self.ok("udp", "silent")
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
            for _ in range(3):
                s.sendto(b"probe", ("127.0.0.1", self.services.udp.port))
        text = self.ok("summary")
        self.assertIn("5 request(s)", text)
        self.assertRegex(text, r"\n\s+2\s+GET /loginer/tr/login_mini_tr_vx.ini\s+\[404 x2\]")
        self.assertIn("host_uid='1A&B=2'", text)
        self.assertIn("    | Ravelin 1.0\n    | ping: 3 ms\n", text)
        self.assertRegex(text, r"\(close\).*\n    \| second")
        self.assertRegex(text, r"UDP probes seen: 3 received, 0 replies.*mode silent")

    def test_failures_exit_nonzero_with_a_message(self):
        bad = self.ctl("udp", "drop", "--share", "7")
        self.assertEqual(bad.returncode, 1)
        self.assertIn(b"HTTP 400", bad.stderr)
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            unused = s.getsockname()[1]
            down = self.ctl("summary", port=unused)
        self.assertEqual(down.returncode, 1)
        self.assertIn(b"standinctl:", down.stderr)


if __name__ == "__main__":
    unittest.main()
