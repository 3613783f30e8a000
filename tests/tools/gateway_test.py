#!/usr/bin/python3
"""The feed gateway against feed documents served on loopback: every format it
reads, the files it writes as the agent reads them, message numbers across
feed changes and restarts, conditional requests, caps and time-outs, the
service's other answers, and the static files behind a real nginx.
"""

import http.client
import os
import shutil
import socket
import subprocess
import sys
import time
import unittest
import urllib.error
import urllib.request

from gateway_support import (CORPUS, GATEWAY_PY, SERVER_LIFETIME, FeedServer, GatewayCase, Route,
                             agent_view, corpus, free_port, rss, write_opml)
import loopback
from tidewell_gateway import files, opml
from tidewell_gateway import state as state_module



class FeedDocuments(GatewayCase):
    def test_every_format_gives_clean_headlines_with_absolute_links(self):
        expected = {
            "rss091.xml": [("http://example.test/091/b.html", "Second of the old"),
                           ("http://example.test/091/a.html", "First of the old")],
            "rss092.xml": [("http://example.test/092/b.html", "Titled one"),
                           ("http://example.test/092/a.html", "A story told only in its description")],
            "rss10.rdf": [("http://example.test/10/two", "Two in RDF"), ("http://example.test/10/one", "One in RDF")],
            "rss20.xml": [("http://example.test/20/spaced", "Spaced out title"),
                          ("http://example.test/20/dup1", "Same guid, first"),
                          ("http://example.test/20/att", "AT&T <sells> \u201ctowers\u201d \u2014 L\u00f3dz office "
                                                         "to ?? firm"),
                          ("http://example.test/20/rates", "Rates fall & markets rise")],
            "atom03.xml": [("http://example.test/03/entry.html", "Old atom entry")],
            "atom10.xml": [("http://example.test/10a/y", "Plain <tags> stay"),
                           ("http://example.test/10a/x", "An XHTML title")],
            "latin1.xml": [("http://example.test/l1/a", "Gr\u00f6\u00dfere H\u00e4fen f\u00fcr Stra\u00dfe")],
            "utf16.xml": [("http://example.test/u16/a", "?????? and Stra\u00dfe")],
            "relative.xml": [("http://127.0.0.1:%d/home/" % self.server.server.server_address[1],
                              "No link at all, no guid"),
                             ("http://127.0.0.1:%d/home/" % self.server.server.server_address[1], "Script link"),
                             (self.server.url("/news/two.html?a=1&b=%222%22"), "Rooted"),
                             (self.server.url("/story%20one.html"), "Up a level")],
            "jsonfeed1.json": [("http://example.test/json1/first", "Oldest & first"),
                               (self.server.url("/json1/relative"), "A summary, no title"),
                               ("http://example.test/json1/elsewhere", "Only HTML content")],
            "jsonfeed11.json": [("http://example.test/talk/ep1#notes", "Episode 1: the pilot"),
                                ("http://example.test/talk/ep2.mp3", "Episode 2: Seals")],
            "podcast.xml": [("http://example.test/hour/ep1.html", "Ep. 1 - With a page"),
                            (self.server.url("/feeds/ep2.mp3"), "Ep. 2 - Ferries"),
                            ("http://example.test/hour/ep3.mp3", "Ep. 3 - Fog")],
        }
        types = {".json": "application/feed+json"}
        made = self.make([(None, name, self.server.add("/feeds/" + name, corpus(name),
                                                       types.get(os.path.splitext(name)[1], "application/rss+xml")))
                          for name in expected])
        self.assertEqual({n: "ok" for n in made.sources}, made.refresh_all())
        for name, items in expected.items():
            with self.subTest(name):
                key = opml.file_base(name)
                fields, messages = self.view(made, key)
                self.assertEqual(items, [messages[n] for n in sorted(messages)])
                self.assertEqual(b"%d-%d" % (1, len(items)), fields["msgrange"])
                # The bytes the agent stores are Windows-1252 or plain ASCII: nothing else gets through.
                self.assertTrue(made.subscription(key, 0).isascii() or name in ("latin1.xml", "utf16.xml"))

    def test_topic_fields_from_folder_feed_and_schedule(self):
        made = self.make([("Weather", "Coast &amp; Sea", self.server.add("/a", corpus("rss10.rdf"))),
                          (None, "Ninety-Two", self.server.add("/b", corpus("rss092.xml"))),
                          ("Hobbies", "Caf\u00e9", self.server.add("/c", corpus("rss20.xml")))], refresh=15)
        made.refresh_all()
        fields, _ = self.view(made, "coast-sea")
        self.assertEqual(b"Weather / Coast & Sea", fields["title"])
        self.assertEqual(b"RSS 1.0", fields["hint"])
        self.assertEqual(b"http://example.test/10/", fields["homepageurl"])
        self.assertEqual(b"http://127.0.0.1:9/feeds/coast-sea.twl", fields["configurl"])
        self.assertEqual((b"10", b"Interval 360"), (fields["category"], fields["schedule"]))  # daily, 4 times
        fields, _ = self.view(made, "ninety-two")
        self.assertEqual((b"News / Ninety-Two", b"0", b"Interval 45"),
                         (fields["title"], fields["category"], fields["schedule"]))  # ttl
        fields, _ = self.view(made, "caf")
        self.assertEqual((b"Hobbies / Caf\xe9", b"0", b"Interval 15", b"The main paper"),
                         (fields["title"], fields["category"], fields["schedule"], fields["hint"]))

    def test_long_and_foreign_texts_fit_the_record(self):
        words = " ".join(["\u00e9t\u00e9-word%d" % i for i in range(60)])
        item = "<item><title>%s</title><link>http://example.test/%s</link></item>"
        extra = item % (words, "long") + item % ("&amp;" * 300, "amps") + item % ("x" * 400, "x")
        made = self.make([(None, "F" * 300, self.server.add("/f", rss([], extra=extra)))])
        made.refresh_all()
        name = next(iter(made.sources))
        fields, messages = self.view(made, name)
        self.assertEqual(198, len(fields["title"]))
        self.assertTrue(fields["title"].endswith(b"F\x85"))
        long_one = messages[3][1]
        self.assertTrue(long_one.endswith("\u2026") and len(long_one.encode("cp1252")) <= 199, long_one)
        self.assertTrue(words.startswith(long_one[:-1]), "cut at a word boundary")
        self.assertEqual("&" * 198 + "\u2026", messages[2][1])  # 300 entities would not fit the line
        self.assertEqual("x" * 198 + "\u2026", messages[1][1])

    def test_broken_sources_change_nothing(self):
        made = self.make([(None, "feed", self.server.add("/f", corpus("rss20.xml")))], max_bytes=50000, timeout=2)
        self.assertEqual({"feed": "ok"}, made.refresh_all())
        before = made.subscription("feed", 0)
        for route in (Route(corpus("notafeed.html"), "text/html"), Route(b"", status=500), Route(b"x", status=404),
                      Route(b"<rss version='2.0'><channel>" + b"<item>" * 60000), Route(b"\x1f\x8b garbage",
                                                                                        gzipped=False)):
            with self.subTest(status=route.status, size=len(route.body)):
                self.server.server.routes["/f"] = route
                self.clock.advance(3600)  # past any wait after the failure before
                self.assertEqual({"feed": "error"}, made.refresh_all())
                self.assertEqual(before, made.subscription("feed", 0))
        self.assertIsNone(made.subscription("unknown", 0))


    def test_a_web_page_leads_to_its_feed(self):
        self.server.add("/feeds/rss20.xml", corpus("rss20.xml"))
        page = self.server.add("/", corpus("page.html"), "text/html; charset=utf-8")
        made = self.make([(None, "From the list", page)], addresses=[page])
        self.assertEqual({"from-the-list": "ok", "127-0-0-1": "ok"}, made.refresh_all())
        for name in made.sources:
            self.assertEqual(4, len(self.view(made, name)[1]))
        # The feed found is remembered: the page is not asked again.
        made.refresh_all()
        self.assertEqual((2, 4), (len(self.server.requests("/")), len(self.server.requests("/feeds/rss20.xml"))))


class Numbering(GatewayCase):
    def test_numbers_stay_with_items_across_changes_and_restarts(self):
        items = [("c", "Third"), ("b", "Second"), ("a", "First")]
        url = self.server.add("/f", rss(items))
        made = self.make([(None, "feed", url)])
        made.refresh_all()
        _, messages = self.view(made, "feed")
        self.assertEqual({1: "First", 2: "Second", 3: "Third"}, {n: h for n, (_, h) in messages.items()})

        # A new item on top, one gone, two swapped: only the new one gets a number, the next one.
        self.server.add("/f", rss([("d", "Fourth"), ("b", "Second, edited"), ("c", "Third")]))
        made.refresh_all()
        fields, messages = self.view(made, "feed")
        self.assertEqual(b"2-4", fields["msgrange"])
        self.assertEqual({2: "Second, edited", 3: "Third", 4: "Fourth"}, {n: h for n, (_, h) in messages.items()})
        self.assertEqual([4], list(self.view(made, "feed", have=3)[1]))
        self.assertEqual([], list(self.view(made, "feed", have=4)[1]))

        # A restart over the same state: the item that comes back keeps its number, a new one gets 5.
        made.close()
        made.state.close()
        made = self.make([(None, "feed", url)])
        self.server.add("/f", rss([("e", "Fifth"), ("a", "First again"), ("d", "Fourth")]))
        made.refresh_all()
        fields, messages = self.view(made, "feed")
        self.assertEqual(b"1-5", fields["msgrange"])
        self.assertEqual({1: "First again", 4: "Fourth", 5: "Fifth"}, {n: h for n, (_, h) in messages.items()})

    def test_items_without_guid_are_known_by_link_then_by_title_and_date(self):
        def doc(order):
            entries = {"link": "<item><title>By link</title><link>http://example.test/l</link></item>",
                       "dated": "<item><title>By title</title><pubDate>Sat, 05 Dec 2026 10:00:00 GMT</pubDate></item>",
                       "redated": "<item><title>By title</title><pubDate>Sun, 06 Dec 2026 10:00:00 GMT</pubDate>"
                                  "</item>"}
            return rss([], extra="".join(entries[k] for k in order))
        made = self.make([(None, "feed", self.server.add("/f", doc(["link", "dated"])))])
        made.refresh_all()
        self.server.add("/f", doc(["dated", "link", "redated"]))
        made.refresh_all()
        _, messages = self.view(made, "feed")
        self.assertEqual({1: "By title", 2: "By link", 3: "By title"}, {n: h for n, (_, h) in messages.items()})

    def test_have_beyond_and_below_the_range(self):
        made = self.make([(None, "feed", self.server.add("/f", rss([("b", "B"), ("a", "A")])))])
        made.refresh_all()
        for query, expected in (("Update&Have=0&AID=x", [1, 2]), ("Update&Have=1&AID=", [2]),
                                ("Update&Have=-1", [1, 2]), ("Update&Have=junk", [1, 2]), ("Update&Have=99", [])):
            with self.subTest(query):
                self.assertEqual(expected, list(self.view(made, "feed", files.have_number(query))[1]))


class Fetching(GatewayCase):
    def test_conditional_requests_and_304_change_nothing(self):
        url = self.server.add("/f", rss([("a", "A")]), etag='"v1"', modified="Sat, 05 Dec 2026 10:00:00 GMT")
        made = self.make([(None, "feed", url)])
        made.refresh_all()
        before = made.subscription("feed", 0)
        # The server's content changes but its validators say it has not: the gateway believes them.
        self.server.add("/f", rss([("b", "B"), ("a", "A")]), etag='"v1"')
        self.assertEqual({"feed": "not-modified"}, made.refresh_all())
        second = self.server.requests("/f")[1]
        self.assertEqual('"v1"', second.get("If-None-Match"))
        self.assertEqual("Sat, 05 Dec 2026 10:00:00 GMT", second.get("If-Modified-Since"))
        self.assertEqual(before, made.subscription("feed", 0))
        self.server.add("/f", rss([("b", "B"), ("a", "A")]), etag='"v2"')
        self.assertEqual({"feed": "ok"}, made.refresh_all())
        self.assertEqual([1, 2], list(self.view(made, "feed")[1]))

    def test_gzip_redirects_the_size_cap_and_web_addresses_only(self):
        # The huge feed is over the cap as sent (200 kB); the bomb only once unpacked (3 kB to 3 MB).
        big = rss([("g%d" % i, "Headline number %d" % i) for i in range(2000)])
        made = self.make([(None, "zipped", self.server.add("/z", corpus("rss20.xml"), gzipped=True)),
                          (None, "moved", self.server.add("/m", b"", status=301, location="/r")),
                          (None, "huge", self.server.add("/h", big)),
                          (None, "bomb", self.server.add("/b", b"<rss>" + b" " * 3000000 + b"</rss>", gzipped=True)),
                          (None, "local", "file://" + os.path.join(CORPUS, "rss20.xml")),
                          (None, "to-local", self.server.add("/l", b"", status=302,
                                                             location="file://" + os.path.join(CORPUS, "rss20.xml")))],
                         max_bytes=100000)
        self.server.add("/r", corpus("atom10.xml"))
        self.assertEqual({"zipped": "ok", "moved": "ok", "huge": "error", "bomb": "error", "local": "error",
                          "to-local": "error"}, made.refresh_all())
        self.assertEqual("gzip", self.server.requests("/z")[0].get("Accept-Encoding"))
        self.assertEqual(4, len(self.view(made, "zipped")[1]))
        self.assertEqual("An XHTML title", self.view(made, "moved")[1][2][1])

    @unittest.skipUnless(shutil.which("openssl"), "openssl is not installed")
    def test_https_with_a_trusted_certificate_only(self):
        cert, key = os.path.join(self.work, "cert.pem"), os.path.join(self.work, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                       check=True, capture_output=True, timeout=60)
        secure = FeedServer(tls=(cert, key))
        self.addCleanup(secure.stop)
        made = self.make([(None, "feed", secure.add("/f", rss([("a", "Over TLS")])))])
        self.assertEqual({"feed": "error"}, made.refresh_all())  # not trusted yet
        trusted = os.environ.get("SSL_CERT_FILE")
        os.environ["SSL_CERT_FILE"] = cert
        self.addCleanup(lambda: os.environ.pop("SSL_CERT_FILE") if trusted is None else
                        os.environ.update(SSL_CERT_FILE=trusted))
        self.clock.advance(3600)
        self.assertEqual({"feed": "ok"}, made.refresh_all())
        self.assertEqual([("Over TLS", "http://example.test/a")], [i[1:] for i in made.state.items("feed")])

    def test_a_slow_feed_holds_up_no_other(self):
        made = self.make([(None, "slow", self.server.add("/s", rss([("a", "A")]), delay=4)),
                          (None, "drip", self.server.add("/d", rss([("a", "A")]), drip=0.1)),
                          (None, "fast", self.server.add("/f", rss([("a", "A")])))], timeout=2)
        started = time.monotonic()
        made.refresh_due()
        while not made.state.items("fast") and time.monotonic() - started < 5:
            time.sleep(0.05)
        self.assertLess(time.monotonic() - started, 1.5, "the fast feed waited")
        self.assertFalse(made.running["slow"].done())
        self.assertEqual("error", made.running["slow"].result(timeout=5))
        self.assertEqual("error", made.running["drip"].result(timeout=5))
        self.assertLess(time.monotonic() - started, 3.5, "a slow feed outlived its time-out")
        self.assertEqual([], made.state.items("slow"))


class Commands(GatewayCase):
    def run_gateway(self, *args):
        return subprocess.run([sys.executable, GATEWAY_PY] + list(args), capture_output=True, timeout=60, text=True)

    def test_subscriptions_writes_a_file_per_feed(self):
        path = write_opml(self.opml, [("Sports", "Scores", "http://127.0.0.1:1/s"),
                                      (None, "Plain", "http://127.0.0.1:1/p")])
        out = os.path.join(self.work, "subs")
        result = self.run_gateway("subscriptions", "--opml", path, "--base", "http://127.0.0.1:8080", "--out", out)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertEqual(["plain.twl", "scores.twl"], sorted(os.listdir(out)))
        with open(os.path.join(out, "scores.twl"), "rb") as f:
            fields, messages = agent_view(f.read())
        self.assertEqual((b"Sports / Scores", b"http://127.0.0.1:8080/feeds/scores.twl", b"5", b"Interval 30", {}),
                         (fields["title"], fields["configurl"], fields["category"], fields["schedule"], messages))

    def test_opml_export_gives_the_list_back_with_the_addresses_in_use(self):
        moved = self.server.add("/old", b"", status=301, location="/new")
        self.server.add("/new", rss([("a", "A")]))
        path = write_opml(self.opml, [("Sports", "Scores", moved), (None, "Plain &amp; simple", "http://127.0.0.1:1/p")])
        state = os.path.join(self.work, "state.sqlite3")
        result = self.run_gateway("static", "--opml", path, "--feed", "http://127.0.0.1:1/extra", "--state", state,
                                  "--out", os.path.join(self.work, "feeds"), "--base", "http://127.0.0.1:9",
                                  "--timeout", "2")
        self.assertEqual(1, result.returncode)  # the two feeds on port 1 are not there
        exported = os.path.join(self.work, "export.opml")
        result = self.run_gateway("opml", "--opml", path, "--feed", "http://127.0.0.1:1/extra", "--state", state,
                                  "--out", exported)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertEqual([("Sports", "Scores", self.server.url("/new")), ("", "Plain & simple", "http://127.0.0.1:1/p"),
                          ("", "127.0.0.1", "http://127.0.0.1:1/extra")],
                         [(s.folder, s.title, s.url) for s in opml.read_opml(exported)])

    def test_serve_answers_the_agent_the_report_ads_and_quotes(self):
        path = write_opml(self.opml, [("Local", "Harbour", self.server.add("/h", rss([("b", "B"), ("a", "A")])))])
        ads = os.path.join(self.work, "ads")
        os.makedirs(ads)
        from PIL import Image
        Image.new("RGB", (300, 50), (200, 30, 30)).save(os.path.join(ads, "ferry.png"))
        Image.new("RGB", (10, 10), (0, 0, 255)).save(os.path.join(ads, "boats.gif"))
        quotes = os.path.join(self.work, "quotes.csv")
        with open(quotes, "w") as f:
            f.write("symbol,last,change\nTIDE,12.5,-0.25\nX,1,0\n")
        port, state = free_port(), os.path.join(self.work, "serve.sqlite3")
        process = subprocess.Popen([sys.executable, GATEWAY_PY, "serve", "--opml", path, "--port", str(port),
                                    "--state", state, "--ads", ads, "--quotes", quotes, "--lifetime", "60",
                                    "--log", os.path.join(self.work, "serve.log")])
        self.addCleanup(process.wait, 10)
        self.addCleanup(process.terminate)
        base = "http://127.0.0.1:%d" % port

        def get(path):
            with urllib.request.urlopen(base + path, timeout=5) as response:
                return response.read()
        body = b""
        for _ in range(100):
            try:
                body = get("/feeds/harbour.twl?Update&Have=0&AID=acct")
                if len(agent_view(body)[1]) == 2:
                    break
            except OSError:
                pass
            time.sleep(0.1)
        first = int(agent_view(body)[0]["msgrange"].split(b"-")[0])
        fields, messages = agent_view(get("/feeds/harbour.twl?Update&Have=%d&AID=acct" % first))
        self.assertEqual((b"Local / Harbour", b"%d-%d" % (first, first + 1), {first + 1: ("http://example.test/b", "B")}),
                         (fields["title"], fields["msgrange"], messages))

        stream, stream_messages = agent_view(get("/Feed/AdStream3/AdStream.twl?Update&Have=0&AID=acct"))
        first_ad = min(stream_messages)
        self.assertEqual((b"AdStream", b"%d-%d" % (first_ad, first_ad + 1)), (stream["title"], stream["msgrange"]))
        self.assertEqual((base + "/ads/boatsC.bmp"), stream_messages[first_ad][1])
        for bits in (4, 8):
            picture = get("/ads/ferry%d.bmp?AID=acct" % bits)
            self.assertEqual(b"BM", picture[:2])
            self.assertEqual((120, 40, bits), (int.from_bytes(picture[18:22], "little"),
                                                int.from_bytes(picture[22:26], "little"), picture[28]))
            self.assertEqual(len(picture), int.from_bytes(picture[2:6], "little"))

        lines = get("/d/quotes.csv?s=TIDE+NOPE&f=sl1d1t1c1ohgv&e=.csv").split(b"\r\n")
        self.assertEqual(2, len(lines))
        self.assertTrue(lines[0].startswith(b'"TIDE",12.5,"') and len(lines[0]) >= 50, lines[0])
        self.assertEqual(b"-0.25", lines[0].split(b",")[4])
        with open(os.path.join(ads, "broken.png"), "wb") as f:
            f.write(b"\x89PNG not really")
        with self.assertRaises(urllib.error.HTTPError) as failed:
            get("/ads/broken8.bmp")
        self.assertEqual(500, failed.exception.code)

        report = "/Bin/Update.dll?TwlUpdate&AID=acct&SID=3&SL=60&VER=1.1.1043.1"
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
        connection.request("POST", report, body=base + "/Feed/AdStream3/AdStream.twl=1:3+2:0")
        self.assertEqual(200, connection.getresponse().status)
        connection.close()
        kept = []
        for _ in range(50):  # reports are written in batches, within a second
            kept = [(r["path"], r["body"]) for r in state_module.read_reports(state)]
            if kept:
                break
            time.sleep(0.1)
        self.assertEqual([(report, base + "/Feed/AdStream3/AdStream.twl=1:3+2:0")], kept)

    @unittest.skipUnless(os.path.exists(loopback.NGINX) and os.path.exists(loopback.GUNICORN),
                         "nginx or gunicorn is not installed")
    def test_static_files_and_the_application_behind_nginx(self):
        path = write_opml(self.opml, [(None, "One", self.server.add("/1", corpus("rss20.xml"))),
                                      (None, "Two", self.server.add("/2", corpus("atom10.xml")))])
        os.chmod(self.work, 0o755)  # nginx's workers may run as another user
        port, app_port, out = free_port(), free_port(), os.path.join(self.work, "www", "feeds")
        state = os.path.join(self.work, "static.sqlite3")
        base = "http://127.0.0.1:%d" % port
        result = self.run_gateway("static", "--opml", path, "--state", state, "--out", out, "--base", base)
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertEqual(["one.twl", "two.twl"], sorted(os.listdir(out)))

        app = "127.0.0.1:%d" % app_port
        environment = dict(os.environ, TIDEWELL_GATEWAY_STATE=state, TIDEWELL_GATEWAY_OPML=path,
                           TIDEWELL_GATEWAY_LOG=os.path.join(self.work, "app.log"))
        for command in (loopback.gunicorn_command(app, SERVER_LIFETIME, "--workers", "2"),
                        loopback.nginx_command(os.path.join(self.work, "nginx"), port, os.path.dirname(out), app,
                                               SERVER_LIFETIME)):
            process = subprocess.Popen(command, env=environment, stderr=subprocess.DEVNULL)
            self.addCleanup(process.wait, 10)
            self.addCleanup(process.terminate)
        self.assertTrue(loopback.wait_listening(port) and loopback.wait_listening(app_port))

        def agent_request(request):
            """As the agent asks: HTTP/1.0, no Host header; (head, body) once the server closes."""
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.sendall(request)
                answer = b""
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        return answer.split(b"\r\n\r\n", 1)
                    answer += chunk

        def agent_get(path):
            return agent_request(b"GET " + path + b" HTTP/1.0\r\nAccept: */*\r\nUser-Agent: Tidewell\r\n\r\n")
        head, body = agent_get(b"/feeds/one.twl?Update&Have=2&AID=acct")
        self.assertTrue(head.startswith(b"HTTP/1.1 200"), head)
        self.assertIn(b"\r\nContent-Length: %d\r\n" % len(body), head)
        with open(os.path.join(out, "one.twl"), "rb") as f:
            self.assertEqual(f.read(), body)
        fields, messages = agent_view(body)
        self.assertEqual(base.encode() + b"/feeds/one.twl", fields["configurl"])
        # A static file holds every item; the agent takes those above what it has.
        first = min(messages)
        self.assertEqual(list(range(first, first + 4)), sorted(messages))
        self.assertIn(b"404", agent_get(b"/feeds/missing.twl")[0].split(b"\r\n")[0])

        # The usage report goes through nginx to the application, which keeps it.
        report = b"http://127.0.0.1/Feed/AdStream3/AdStream.twl=1:3+2:0"
        head, body = agent_request(b"POST /Bin/Update.dll?TwlUpdate&AID=acct HTTP/1.0\r\nContent-Length: %d\r\n"
                                   b"\r\n%s" % (len(report), report))
        self.assertEqual((b"HTTP/1.1 200", b"OK\r\n"), (head[:12], body))
        self.assertEqual(b"404", agent_get(b"/ads/none8.bmp")[0][9:12])  # the application answers: no ads here
        kept = []
        for _ in range(50):  # written in batches, within a second
            kept = [(r["client"], r["body"]) for r in state_module.read_reports(state)]
            if kept:
                break
            time.sleep(0.1)
        self.assertEqual([("127.0.0.1", report.decode())], kept)

        # Run again later: numbering goes on from the same state.
        self.server.add("/1", rss([("new", "Newer")]))
        self.assertEqual(0, self.run_gateway("static", "--opml", path, "--state", state, "--out", out).returncode)
        fields, messages = agent_view(agent_get(b"/feeds/one.twl")[1])
        self.assertEqual((b"%d-%d" % (first + 4, first + 4), {first + 4: ("http://example.test/new", "Newer")}),
                         (fields["msgrange"], messages))


if __name__ == "__main__":
    unittest.main()
