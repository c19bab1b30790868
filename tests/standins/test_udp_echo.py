"""The UDP echo answers, loses, delays, doubles, garbles or ignores
datagrams as its mode says, and records what it saw."""

import json
import os
import socket
import time
import unittest

from standin_process import Services
from standin_client import Service


class EchoTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.services = Services()
        cls.svc = Service(port=cls.services.http.port)
        cls.echo = ("127.0.0.1", cls.services.udp.port)

    @classmethod
    def tearDownClass(cls):
        statuses = cls.services.close()
        if statuses != [0, 0]:
            raise AssertionError(f"services ended with {statuses} on SIGTERM")

    def setUp(self):
        self.svc.reset()
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        self.sock.bind(("127.0.0.1", 0))

    def tearDown(self):
        self.sock.close()

    def probe(self, payloads, quiet=0.3):
        """Sends every payload at once; returns [(seconds after sending, bytes)]
        of what came back until nothing did for QUIET seconds."""
        began = time.monotonic()
        for p in payloads:
            self.sock.sendto(p, self.echo)
        replies = []
        self.sock.settimeout(quiet)
        while True:
            try:
                data, peer = self.sock.recvfrom(65535)
            except socket.timeout:
                return replies
            self.assertEqual(peer, self.echo)
            replies.append((time.monotonic() - began, data))

    @staticmethod
    def numbered(count, tail=bytes(range(256))):
        return [b"probe %03d " % i + tail for i in range(count)]

    def test_echo_returns_each_datagram_once_and_exactly(self):
        payloads = self.numbered(20) + [b"", b"\x00\xff" * 700]
        replies = [data for _, data in self.probe(payloads)]
        self.assertEqual(sorted(replies), sorted(payloads))

    def test_drop_loses_the_same_share_for_the_same_seed(self):
        # Small, so a burst of them fits the socket buffers: a loss here is the echo's.
        payloads = self.numbered(100, tail=b"")

        def lost(seed):
            self.svc.udp("drop", share=0.3, seed=seed)
            got = {data for _, data in self.probe(payloads)}
            self.assertTrue(got <= set(payloads))
            return {i for i, p in enumerate(payloads) if p not in got}

        first = lost(1)
        self.assertTrue(15 <= len(first) <= 45, len(first))
        self.assertEqual(lost(1), first)  # setting it again starts over
        self.assertNotEqual(lost(2), first)
        stats = self.svc.udp_stats()
        self.assertEqual(stats["received"], 300)
        self.assertEqual(stats["replies"], 300 - stats["actions"]["drop"])

    def test_delay_holds_every_nth_beyond_half_a_second(self):
        self.svc.udp("delay", every=3, delay_ms=700)
        payloads = self.numbered(6)
        replies = self.probe(payloads, quiet=1.0)
        self.assertEqual(sorted(d for _, d in replies), payloads)
        late = {payloads.index(d) for t, d in replies if t > 0.5}
        prompt = {payloads.index(d) for t, d in replies if t < 0.45}
        self.assertEqual(late, {2, 5})
        self.assertEqual(prompt, {0, 1, 3, 4})

    def test_duplicate_answers_twice(self):
        self.svc.udp("duplicate")
        payloads = self.numbered(5)
        replies = [d for _, d in self.probe(payloads)]
        self.assertEqual(sorted(replies), sorted(payloads * 2))

    def test_garbage_answers_once_with_other_bytes(self):
        self.svc.udp("garbage")
        payloads = self.numbered(5) + [b""]
        replies = [d for _, d in self.probe(payloads)]
        self.assertEqual(len(replies), len(payloads))
        self.assertFalse(set(replies) & set(payloads))

    def test_silent_never_answers_but_records(self):
        self.svc.udp("silent")
        self.assertEqual(self.probe(self.numbered(3), quiet=0.6), [])
        stats = self.svc.udp_stats()
        self.assertEqual((stats["received"], stats["replies"], stats["actions"]), (3, 0, {"silent": 3}))

    def test_mode_file_written_by_hand_is_picked_up(self):
        path = os.path.join(self.services.dir, "udp_mode.json")
        with open(path, "w") as f:
            f.write('{"mode": "silent"}')
        self.assertEqual(self.probe([b"a"]), [])
        with open(path, "w") as f:
            f.write('{"mode": "echo"}')
        self.assertEqual([d for _, d in self.probe([b"b"])], [b"b"])
        os.remove(path)
        self.assertEqual([d for _, d in self.probe([b"c"])], [b"c"])

    def test_record_holds_each_datagram_and_reply(self):
        self.svc.udp("duplicate")
        self.probe([b"\x01\x02", b"xyz"])
        with open(os.path.join(self.services.dir, "udp.jsonl")) as f:
            events = [json.loads(line) for line in f]
        me = "127.0.0.1:%d" % self.sock.getsockname()[1]
        expected = [("recv", "0102", me), ("recv", "78797a", me)] + [("reply", "0102", me), ("reply", "78797a", me)] * 2
        self.assertEqual(sorted((e["event"], e["hex"], e["peer"]) for e in events), sorted(expected))
        stats = self.svc.udp_stats()
        self.assertEqual((stats["received"], stats["replies"], stats["peers"], stats["mode"]["mode"]), (2, 4, [me], "duplicate"))


if __name__ == "__main__":
    unittest.main()
