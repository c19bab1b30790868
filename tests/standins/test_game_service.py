"""The game service answers the launcher's requests, fails the ways a test
asks it to, and records what it was sent."""

import http.client
import base64
import json
import os
import re
import subprocess
import tempfile
import threading
import time
import unittest

from standin_process import Services, exchange, get, post
from standin_client import Service, ServiceError

START = "/dusk_vale/client/index.php"
LOG = "/loginer/logData.php"
BUILD = "/loginer/tr/MyClient.exe"
# Every byte value, and not a multiple of any chunk size used below.
PAYLOAD = bytes(range(256)) * 40 + b"tail"


class ServiceCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.services = Services(udp=False)
        cls.port = cls.services.http.port
        cls.svc = Service(port=cls.port)

    @classmethod
    def tearDownClass(cls):
        status = cls.services.close()[0]
        if status != 0:
            raise AssertionError(f"game service ended with {status} on SIGTERM")

    def setUp(self):
        self.svc.reset()

    def recorded(self, path=None):
        return self.svc.requests(path=path)

    def jsonl(self, name):
        with open(os.path.join(self.services.dir, name), encoding="utf-8") as f:
            return [json.loads(line) for line in f]


class StartPageTest(ServiceCase):
    def test_records_query_values_exactly_even_with_ampersand_and_equals(self):
        query = "source=desktop&host_uid=AB&C=D==&x=1&sp_promote=7"
        answer = get(self.port, f"{START}?{query}")
        self.assertEqual(answer.status, 200)
        [record] = self.recorded(START)
        self.assertEqual(record["query"], query)
        self.assertEqual(record["start_page"], {"source": "desktop", "host_uid": "AB&C=D==&x=1", "sp_promote": "7"})

    def test_keeps_duplicate_headers(self):
        get(self.port, START + "?source=a&host_uid=b&sp_promote=0", b"Accept: */*\r\nAccept: */*\r\n")
        [record] = self.recorded(START)
        self.assertEqual([h for h in record["headers"] if h[0].lower() == "accept"], [["Accept", "*/*"], ["Accept", "*/*"]])

    def test_meta_refresh_carries_delay_and_loadgame_address(self):
        movie = f"http://127.0.0.1:{self.port}/game/movie.swf"
        for delay_ms, seconds in [(1500, "1.5"), (0, "0"), (250, "0.25"), (2000, "2")]:
            with self.subTest(delay_ms=delay_ms):
                self.svc.start_page(loadgame_delay_ms=delay_ms)
                page = get(self.port, START).body.decode()
                refresh = re.findall(r'<meta http-equiv="refresh" content="([^"]*)">', page)
                self.assertEqual(refresh, [f"{seconds};url=app://loadgame?movie={movie}"])

    def test_without_a_delay_the_page_never_navigates(self):
        page = get(self.port, START).body.decode()
        self.assertIn("<form", page)
        self.assertNotIn("refresh", page)

    def test_movie_named_in_the_address_is_served(self):
        self.svc.start_page(loadgame_delay_ms=0, movie_path="/game/other.swf")
        page = get(self.port, START).body.decode()
        movie_url = re.search(r"url=app://loadgame\?movie=(\S+)\"", page).group(1)
        self.assertEqual(movie_url, f"http://127.0.0.1:{self.port}/game/other.swf")
        movie = get(self.port, "/game/other.swf")
        self.assertEqual(movie.status, 200)
        self.assertEqual(movie.headers["content-type"], "application/x-shockwave-flash")
        self.assertTrue(movie.body.startswith(b"FWS"))

    def test_500_answers_an_error_with_a_body(self):
        self.svc.start_page(mode="500")
        answer = get(self.port, START)
        self.assertEqual(answer.status, 500)
        self.assertGreater(len(answer.body), 0)
        self.assertEqual(len(answer.body), answer.content_length)

    def test_refuse_resets_without_an_answer_but_records_the_attempt(self):
        self.svc.start_page(mode="refuse")
        answer = get(self.port, START + "?source=s&host_uid=h&sp_promote=1")
        self.assertEqual((answer.ended, answer.data), ("reset", b""))
        [record] = self.recorded(START)
        self.assertEqual(record["answer"], "refuse")
        self.assertEqual(record["start_page"]["host_uid"], "h")


class ManifestTest(ServiceCase):
    PATHS = {
        "tr": "/loginer/tr/login_mini_tr_vx.ini",
        "pt": "/loginer/pt/login_mini_br_vx.ini",
        "es": "/loginer/es/login_mini_ar_vx.ini",
        "pl": "/loginer/pl/login_mini_pl_vx.ini",
        "ch": "/loginer/ch/login_mini_ch_vx.ini",
    }

    def test_each_language_serves_its_own_bytes_and_404_otherwise(self):
        for path in self.PATHS.values():
            self.assertEqual(get(self.port, path).status, 404, path)
        for lang, path in self.PATHS.items():
            with self.subTest(lang=lang):
                text = b"[Update]\r\nVersion=1.0.0.7\r\nName=\xc7\xfc\xe7\xfe " + lang.encode() + b"\r\n"
                self.svc.manifest(lang, text)
                answer = get(self.port, path)
                self.assertEqual((answer.status, answer.body), (200, text))
                others = [p for p in self.PATHS.values() if p != path]
                self.assertTrue(all(get(self.port, p).body != text for p in others))
                self.svc.manifest(lang, None)
                self.assertEqual(get(self.port, path).status, 404)

    def test_unknown_language_is_refused_by_the_control(self):
        with self.assertRaises(ServiceError):
            self.svc.manifest("de", b"x")


class BuildTest(ServiceCase):
    def put(self, mode, **options):
        self.svc.build(BUILD, PAYLOAD, mode=mode, **options)

    def test_correct_sends_all_bytes_with_their_length(self):
        self.put("correct")
        answer = get(self.port, BUILD)
        self.assertEqual((answer.status, answer.ended), (200, "eof"))
        self.assertEqual(answer.content_length, len(PAYLOAD))
        self.assertEqual(answer.body, PAYLOAD)

    def test_head_gives_the_length_without_a_body(self):
        self.put("correct")
        answer = exchange(self.port, f"HEAD {BUILD} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
        self.assertEqual((answer.status, answer.content_length, answer.body), (200, len(PAYLOAD), b""))

    def test_chunked_has_no_length_and_decodes_to_the_file(self):
        self.put("chunked", trickle_bytes=1000)
        raw = get(self.port, BUILD)
        self.assertIsNone(raw.content_length)
        self.assertEqual(raw.headers["transfer-encoding"], "chunked")
        self.assertGreater(raw.body.count(b"\r\n3e8\r\n"), 1)  # really in pieces
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        conn.request("GET", BUILD)
        self.assertEqual(conn.getresponse().read(), PAYLOAD)
        conn.close()

    def test_short_declares_everything_sends_less_then_closes(self):
        for options, sent in [({}, len(PAYLOAD) // 2), ({"cut_bytes": 100}, 100), ({"cut_bytes": 10**9}, len(PAYLOAD) - 1)]:
            with self.subTest(options=options):
                self.put("short", **options)
                answer = get(self.port, BUILD)
                self.assertEqual(answer.content_length, len(PAYLOAD))
                self.assertEqual(answer.ended, "eof")
                self.assertEqual(answer.body, PAYLOAD[:sent])

    def test_404_has_a_body(self):
        self.put("404")
        answer = get(self.port, BUILD)
        self.assertEqual(answer.status, 404)
        self.assertIn(b"Not Found", answer.body)
        self.assertEqual(len(answer.body), answer.content_length)

    def test_trickle_is_complete_but_comes_in_slow_pieces(self):
        self.put("trickle", trickle_bytes=1024, trickle_ms=30)
        began = time.monotonic()
        answer = get(self.port, BUILD)
        took = time.monotonic() - began
        self.assertEqual(answer.body, PAYLOAD)
        self.assertEqual(answer.content_length, len(PAYLOAD))
        self.assertGreaterEqual(answer.reads, 5)
        pauses = len(PAYLOAD) // 1024  # one before each piece after the first
        self.assertGreaterEqual(took, pauses * 0.030 * 0.9)

    def test_drop_resets_after_part_of_the_body(self):
        self.put("drop", cut_bytes=3000)
        answer = get(self.port, BUILD)
        self.assertEqual(answer.ended, "reset")
        self.assertEqual(answer.content_length, len(PAYLOAD))
        self.assertEqual(answer.body, PAYLOAD[:3000])
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        conn.request("GET", BUILD)
        with self.assertRaises((http.client.IncompleteRead, ConnectionResetError)):
            conn.getresponse().read()
        conn.close()

    def test_huge_declares_more_than_it_sends(self):
        self.put("huge", declared_bytes=600 * 1024 * 1024)
        answer = get(self.port, BUILD)
        self.assertEqual(answer.content_length, 600 * 1024 * 1024)
        self.assertEqual((answer.body, answer.ended), (PAYLOAD, "eof"))

    def test_without_a_signing_key_no_signature_is_served(self):
        self.put("correct")
        self.assertEqual(get(self.port, BUILD + ".sig").status, 404)
        with self.assertRaises(ServiceError):
            self.put("correct", sig="good")

    def test_registered_build_is_recorded_with_its_mode(self):
        self.put("short")
        get(self.port, BUILD)
        self.svc.remove_build(BUILD)
        self.assertEqual(get(self.port, BUILD).status, 404)
        self.assertEqual([r["answer"] for r in self.recorded(BUILD)], ["short", "404"])

    def test_control_refuses_unknown_mode_and_paths_outside(self):
        for query in [{"path": BUILD, "mode": "sideways"}, {"path": "relative.exe"}, {"path": "/_standin/reset"}]:
            with self.subTest(query=query):
                with self.assertRaises(ServiceError):
                    self.svc.call("PUT", "build", b"x", query)


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout


class SignatureTest(unittest.TestCase):
    """With a signing key, each build has its signature beside it, made the
    way an operator makes one, or broken the way a test asks."""

    @classmethod
    def setUpClass(cls):
        cls.keys = tempfile.TemporaryDirectory(prefix="standin-keys-")
        cls.private = os.path.join(cls.keys.name, "private.pem")
        cls.public = os.path.join(cls.keys.name, "public.pem")
        openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", cls.private)
        openssl("ec", "-in", cls.private, "-pubout", "-out", cls.public)
        cls.services = Services(udp=False, signing_key=cls.private)
        cls.port = cls.services.http.port
        cls.svc = Service(port=cls.port)

    @classmethod
    def tearDownClass(cls):
        cls.services.close()
        cls.keys.cleanup()

    def verifies(self, signature_text, data):
        with tempfile.TemporaryDirectory() as d:
            der, body = os.path.join(d, "sig.der"), os.path.join(d, "body")
            with open(der, "wb") as f:
                f.write(base64.b64decode(signature_text, validate=True))
            with open(body, "wb") as f:
                f.write(data)
            done = subprocess.run(["openssl", "dgst", "-sha256", "-verify", self.public, "-signature", der, body],
                                  capture_output=True)
            return done.returncode == 0

    def signature(self, sig=None):
        self.svc.build(BUILD, PAYLOAD, sig=sig)
        return get(self.port, BUILD + ".sig")

    def test_by_default_the_signature_verifies_with_stock_openssl(self):
        answer = self.signature()
        self.assertEqual(answer.status, 200)
        self.assertTrue(self.verifies(answer.body, PAYLOAD))
        self.assertFalse(self.verifies(answer.body, PAYLOAD + b"x"))

    def test_broken_signatures_are_what_they_say(self):
        for mode in ("other_key", "other_bytes"):
            with self.subTest(mode=mode):
                answer = self.signature(mode)
                self.assertEqual(answer.status, 200)
                self.assertFalse(self.verifies(answer.body, PAYLOAD))
        # ECDSA signatures differ each time; a cut one is half as long.
        good = self.signature("good").body
        truncated = self.signature("truncated").body
        self.assertEqual(len(truncated), len(good) // 2)
        self.assertFalse(self.verifies(truncated, PAYLOAD))
        self.assertEqual(self.signature("missing").status, 404)
        self.assertEqual(get(self.port, "/loginer/tr/Other.exe.sig").status, 404)


class LogEndpointTest(ServiceCase):
    BODY = b"info=Ravelin 1.0.0.1%0DOS: 0x91600\rping 127.0.0.1: 3 ms%0D%0A&check=md5pelrose"

    def test_post_is_answered_ok_and_recorded_raw_and_decoded(self):
        answer = post(self.port, LOG, self.BODY)
        self.assertEqual((answer.status, answer.body), (200, b"ok"))
        [upload] = self.svc.uploads()
        self.assertEqual(upload["raw"].encode("latin-1"), self.BODY)
        self.assertEqual(upload["fields"], [["info", "Ravelin 1.0.0.1\rOS: 0x91600\rping 127.0.0.1: 3 ms\r\n"], ["check", "md5pelrose"]])
        self.assertEqual(upload["info_lines"], ["Ravelin 1.0.0.1", "OS: 0x91600", "ping 127.0.0.1: 3 ms"])
        self.assertEqual(self.jsonl("uploads.jsonl"), [upload])
        [request] = self.jsonl("requests.jsonl")
        self.assertEqual((request["method"], request["path"], request["seq"]), ("POST", LOG, upload["seq"]))

    def test_refuse_resets_before_reading(self):
        self.svc.log_endpoint("refuse")
        answer = post(self.port, LOG, self.BODY)
        self.assertEqual((answer.ended, answer.data), ("reset", b""))
        [request] = self.recorded(LOG)
        self.assertEqual((request["answer"], request["body_read"]), ("refuse", False))
        self.assertEqual(self.svc.uploads(), [])

    def test_close_reads_the_post_then_hangs_up_unanswered(self):
        self.svc.log_endpoint("close")
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
        conn.request("POST", LOG, body=self.BODY)
        with self.assertRaises(http.client.RemoteDisconnected):
            conn.getresponse()
        conn.close()
        [request] = self.recorded(LOG)
        self.assertEqual((request["answer"], request["body"].encode("latin-1")), ("close", self.BODY))
        self.assertEqual(self.svc.uploads(), [])

    def test_hang_reads_the_post_and_never_answers(self):
        self.svc.log_endpoint("hang")
        answer = exchange(self.port, b"POST %s HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n%s"
                          % (LOG.encode(), len(self.BODY), self.BODY), timeout=1.5)
        self.assertEqual((answer.ended, answer.data), ("timeout", b""))
        [request] = self.recorded(LOG)
        self.assertEqual((request["answer"], request["body"].encode("latin-1")), ("hang", self.BODY))

    def test_back_to_ok_after_a_failure_mode(self):
        self.svc.log_endpoint("close")
        self.svc.log_endpoint("ok")
        self.assertEqual(post(self.port, LOG, self.BODY).status, 200)


class RecordingTest(ServiceCase):
    def test_file_memory_and_filters_agree_and_control_is_not_recorded(self):
        body = bytes(range(256))
        get(self.port, "/nowhere?a=1&a=2&b=%41")
        post(self.port, "/upload/here", body)
        get(self.port, START)
        everything = self.recorded()
        self.assertEqual(
            [(r["method"], r["path"], r["answer"]) for r in everything],
            [("GET", "/nowhere", "404"), ("POST", "/upload/here", "404"), ("GET", START, "200")],
        )
        self.assertEqual(everything[0]["params"], [["a", "1"], ["a", "2"], ["b", "A"]])
        self.assertEqual(everything[1]["body"].encode("latin-1"), body)
        self.assertEqual(everything[1]["body_length"], 256)
        self.assertEqual(self.jsonl("requests.jsonl"), everything)
        self.assertEqual(self.recorded("/upload/here"), everything[1:2])
        self.assertEqual(self.svc.requests(since=everything[1]["seq"]), everything[2:])

    def test_reset_forgets_recordings_and_settings(self):
        self.svc.manifest("tr", b"x")
        self.svc.start_page(mode="500")
        post(self.port, LOG, b"info=a&check=md5pelrose")
        self.svc.reset()
        self.assertEqual((self.recorded(), self.svc.uploads()), ([], []))
        self.assertEqual((self.jsonl("requests.jsonl"), self.jsonl("uploads.jsonl")), ([], []))
        self.assertEqual(get(self.port, "/loginer/tr/login_mini_tr_vx.ini").status, 404)
        self.assertEqual(get(self.port, START).status, 200)

    def test_keep_alive_serves_several_requests_on_one_connection_unless_turned_off(self):
        self.svc.manifest("pl", b"manifest")
        for keep, connections in [(True, 1), (False, 3)]:
            with self.subTest(keep_alive=keep):
                self.svc.connections(keep)
                before = len(self.recorded())
                conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=5)
                for path in [START, "/loginer/pl/login_mini_pl_vx.ini", "/missing"]:
                    conn.request("GET", path)
                    conn.getresponse().read()
                conn.close()
                self.assertEqual(len({r["client"] for r in self.recorded()[before:]}), connections)

    def test_bad_control_input_is_a_400(self):
        bad = [
            ("POST", "start_page", {"mode": "sideways"}),
            ("POST", "start_page", b"{not json"),
            ("POST", "log_endpoint", {"mode": "maybe"}),
            ("POST", "connections", {"keep_alive": "no"}),
            ("POST", "udp", {"mode": "drop", "share": 2}),
        ]
        for method, name, body in bad:
            with self.subTest(name=name, body=body):
                with self.assertRaisesRegex(ServiceError, "HTTP 400"):
                    self.svc.call(method, name, body)


class LifetimeTest(unittest.TestCase):
    def test_slow_answer_blocks_neither_others_nor_sigterm(self):
        services = Services(udp=False)
        try:
            port = services.http.port
            svc = Service(port=port)
            svc.build(BUILD, PAYLOAD, mode="trickle", trickle_bytes=512, trickle_ms=200)
            slow = threading.Thread(target=get, args=(port, BUILD))
            slow.start()
            while not svc.requests(path=BUILD):
                time.sleep(0.01)
            self.assertEqual(get(port, START).status, 200)
            self.assertTrue(slow.is_alive(), "the trickle ended before the other request was answered")
        finally:
            statuses = services.close()
        self.assertEqual(statuses, [0])
        slow.join(5)
        self.assertFalse(slow.is_alive())


if __name__ == "__main__":
    unittest.main()
