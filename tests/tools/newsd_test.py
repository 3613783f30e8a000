"""Tests of the local news service (tools/newsd/newsd.py): its real HTTP
servers on loopback ports of the system's choosing, asked by a real client."""

import http.client
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "newsd"))
import newsd  # noqa: E402

TIMEOUT = 10  # seconds for any one request


class ServiceTest(unittest.TestCase):
    def start(self, ads=None):
        """Serves a content folder holding ads.json with the given text (none when None)."""
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        os.mkdir(os.path.join(folder.name, "feeds"))
        with open(os.path.join(folder.name, "feeds", "harbour.json"), "w", encoding="utf-8") as f:
            json.dump({"title": "News / Harbour", "msgbase": "http://x/", "keep": 3, "period": 3600,
                       "headlines": ["Tide & time", "Ferry late", "Gale", "Fog", "Calm"]}, f)
        if ads is not None:
            with open(os.path.join(folder.name, "ads.json"), "w", encoding="utf-8") as f:
                f.write(ads)
        service = newsd.Service(folder.name, os.path.join(folder.name, "log"))
        self.addCleanup(service.log_file.close)
        listener = newsd.Listener(service, "127.0.0.1", 0)
        self.addCleanup(listener.close)
        self.port = listener.server.server_address[1]
        self.host = "127.0.0.1:%d" % self.port

    def get(self, target):
        """(status, headers, body) of a GET with this request target, as sent."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=TIMEOUT)
        try:
            connection.request("GET", target)
            response = connection.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            connection.close()

    def ad_stream(self):
        status, _, body = self.get("/Feed/AdStream3/AdStream.twl")
        self.assertEqual(200, status)
        return body.decode("latin-1").split("\r\n")


class AdStreamTest(ServiceTest):
    def test_without_ads_the_file_names_none_and_purges_the_rest(self):
        for ads in (None, "", "[]"):
            with self.subTest(ads=ads):
                self.start(ads)
                lines = self.ad_stream()
                self.assertIn("MsgRange=0-0", lines)
                self.assertIn("PurgeOutOfRange=True", lines)
                self.assertIn("Schedule=Interval 6", lines)
                self.assertEqual([], [line for line in lines if line.startswith("Msg") and "=" in line
                                      and line[3].isdigit()])

    def test_each_ad_names_its_bitmap_and_its_page_under_the_base(self):
        self.start('[{"name": "ferry"}, {"name": "gull", "colours": [[1, 2, 3], [4, 5, 6]]}]')
        lines = self.ad_stream()
        self.assertIn("MsgBaseUrl=http://%s/adpages/" % self.host, lines)
        self.assertIn("Schedule=Interval 6", lines)  # the agent's own 360 seconds
        self.assertIn("MsgRange=1-2", lines)
        self.assertIn('Msg2=gull.html "http://%s/ads/gullC.bmp"' % self.host, lines)
        status, headers, page = self.get("/adpages/gull.html")
        self.assertEqual((200, "text/html"), (status, headers["Content-Type"]))
        self.assertIn(b"gull", page)
        for bits in (4, 8):
            status, _, picture = self.get("/ads/gull%d.bmp" % bits)
            self.assertEqual(200, status)
            self.assertEqual(b"BM", picture[:2])
            self.assertEqual(bits, int.from_bytes(picture[28:30], "little"))
        self.assertEqual(404, self.get("/ads/gullC.bmp")[0])  # only the colour variants exist
        self.assertEqual(404, self.get("/adpages/heron.html")[0])


class FaultTest(ServiceTest):
    def test_a_fault_is_recognised_in_the_short_and_the_full_form(self):
        self.start()
        for target in ("/fault/500/Feed/AdStream3/AdStream.twl",
                       "http://%s/fault/500/Feed/AdStream3/AdStream.twl" % self.host):
            with self.subTest(target=target):
                self.assertEqual(500, self.get(target)[0])
        # The rest of the address is served as it would be, query included,
        # announcing 10 bytes fewer than it sends.
        status, headers, body = self.get("http://%s/fault/length/feeds/harbour.twl?Update&Have=4" % self.host)
        self.assertEqual(200, status)
        self.assertTrue(body.endswith(b"\r\nMsg5=story5.htm"), body)
        for target in ("/fault/bogus/Feed/AdStream3/AdStream.twl", "/x/fault/500/Feed/AdStream3/AdStream.twl"):
            with self.subTest(target=target):
                self.assertEqual(404, self.get(target)[0])

    def test_split_fault_leaves_other_targets_alone(self):
        cases = {
            "/fault/stall/a?b=1": ("stall", "/a?b=1"),
            "http://h:1/fault/noise/": ("noise", "http://h:1/"),
            "/fault/500": (None, "/fault/500"),
            "/faults/500/a": (None, "/faults/500/a"),
        }
        for target, expected in cases.items():
            self.assertEqual(expected, newsd.split_fault(target), target)


class SubscriptionTest(ServiceTest):
    def test_a_feed_offers_its_newest_headlines_above_the_number_held(self):
        self.start()
        status, _, body = self.get("/feeds/harbour.twl?Update&Have=3&AID=9")
        self.assertEqual(200, status)
        lines = body.decode("latin-1").split("\r\n")
        self.assertIn("MsgRange=3-5", lines)  # the newest "keep" of five
        self.assertEqual(['Msg4=story4.html "Fog"', 'Msg5=story5.html "Calm"'],
                         [line for line in lines if line.startswith("Msg") and line[3].isdigit()])
        status, _, body = self.get("/feeds/harbour.twl?Update&Have=0")
        self.assertIn(b'Msg3=story3.html "Gale"', body)
        self.assertNotIn(b"Msg2=", body)
        self.assertEqual(404, self.get("/feeds/..%2Fharbour.twl?Update")[0])
        self.assertEqual(404, self.get("/feeds/gulls.twl?Update")[0])


if __name__ == "__main__":
    unittest.main()
