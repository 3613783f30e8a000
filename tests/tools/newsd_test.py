"""Tests of the local news service (tools/newsd/newsd.py): its real HTTP servers on loopback ports of the
system's choosing, asked by a real client. The agent's tests under Wine use it for every feed and fault."""

import http.client
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "newsd"))
import newsd  # noqa: E402

ADS = '[{"name": "ferry"}, {"name": "gull", "colours": [[1, 2, 3], [4, 5, 6]]}]'


class ServiceTest(unittest.TestCase):
    def start(self, ads=None):
        """Serves a content folder with one feed, and ads.json holding the given text (none when None)."""
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        os.mkdir(os.path.join(folder.name, "feeds"))
        with open(os.path.join(folder.name, "feeds", "harbour.json"), "w", encoding="utf-8") as f:
            json.dump({"title": "News / Harbour", "msgbase": "http://x/", "keep": 3, "period": 3600,
                       "headlines": ["Calm", "Ferry late", "Gale", "Fog", "Tide & time"]}, f)
        if ads is not None:
            with open(os.path.join(folder.name, "ads.json"), "w", encoding="utf-8") as f:
                f.write(ads)
        service = newsd.Service(folder.name, os.path.join(folder.name, "log"))
        self.addCleanup(service.log_file.close)
        listener = newsd.Listener(service, "127.0.0.1", 0)
        self.addCleanup(listener.close)
        self.host = "127.0.0.1:%d" % listener.server.server_address[1]

    def get(self, target):
        """(status, body) of a GET with this request target, as sent."""
        connection = http.client.HTTPConnection(self.host, timeout=10)
        try:
            connection.request("GET", target)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def lines(self, target, start=("Msg", "Schedule", "Purge")):
        status, body = self.get(target)
        self.assertEqual(200, status)
        return [line for line in body.decode("latin-1").split("\r\n") if line.startswith(start)]

    def test_the_ad_stream_names_each_ad_by_its_bitmap_and_its_page(self):
        stream = ["MsgBaseUrl=http://%s/adpages/", "Schedule=Interval 6", "MsgRange=0-0", "PurgeOutOfRange=True"]
        for text, ads in ((None, []), ("", []), ("[]", []), (ADS, ['Msg1=ferry.html "http://%s/ads/ferryC.bmp"',
                                                                  'Msg2=gull.html "http://%s/ads/gullC.bmp"'])):
            with self.subTest(ads=text):
                self.start(text)
                expected = [line.replace("%s", self.host).replace("0-0", "1-%d" % len(ads) if ads else "0-0")
                            for line in stream + ads]
                self.assertEqual(expected, self.lines("/Feed/AdStream3/AdStream.twl"))
        self.assertEqual([200, 200, 200, 404, 404], [self.get(target)[0] for target in (
            "/adpages/gull.html", "/ads/gull4.bmp", "/ads/gull8.bmp", "/ads/gullC.bmp", "/adpages/heron.html")])

    def test_a_feed_offers_its_newest_headlines_above_the_number_held(self):
        self.start()
        self.assertEqual(["MsgBaseUrl=http://x/", "Schedule=Interval 5", "MsgRange=3-5", "PurgeOutOfRange=True",
                          'Msg4=story4.html "Fog"', 'Msg5=story5.html "Tide &amp; time"'],
                         self.lines("/feeds/harbour.twl?Update&Have=3&AID=9"))
        self.assertIn('Msg3=story3.html "Gale"', self.lines("/feeds/harbour.twl?Update&Have=0"))
        for target in ("/feeds/..%2Fharbour.twl?Update", "/feeds/gulls.twl?Update"):
            self.assertEqual(404, self.get(target)[0])

    def test_faults_on_request(self):
        self.start()
        for target, status in (("/fault/500/Feed/AdStream3/AdStream.twl", 500),
                               ("http://%s/fault/500/Feed/AdStream3/AdStream.twl" % self.host, 500),
                               ("/fault/bogus/Feed/AdStream3/AdStream.twl", 404), ("/fault/500", 404),
                               ("/x/fault/500/Feed/AdStream3/AdStream.twl", 404)):
            self.assertEqual(status, self.get(target)[0], target)
        # The rest of the address is served as it would be, query included, announcing 10 bytes fewer than it sends.
        status, body = self.get("http://%s/fault/length/feeds/harbour.twl?Update&Have=4" % self.host)
        self.assertEqual((200, True), (status, body.endswith(b'\r\nMsg5=story5.html "Tide &am')), body)


if __name__ == "__main__":
    unittest.main()
