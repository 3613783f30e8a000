#!/usr/bin/python3
"""The feed gateway against what broke it once: hostile and slow origins, feeds listed oldest first, repeated
titles, foreign text, huge OPML files, politeness, a lost state, its service under load; and the record limits."""

import os
import re
import socket
import sqlite3
import threading
import time
import unittest
import urllib.error
import urllib.request

from gateway_support import HERE, SERVER_LIFETIME, GatewayCase, Route, agent_view, http_date, rss, write_opml
from tidewell_gateway import ads, limits, opml, service, state
from tidewell_gateway.catalogue import Catalogue
from tidewell_gateway.files import name_topics
from tidewell_gateway.text import CodePage


def answer(*headers, body=b""):
    return [(b"HTTP/1.0 200 OK\r\n" + b"".join(h + b"\r\n" for h in headers) + b"\r\n" + body, 0)]


# Answers that once made http.client raise past the gateway, by the feed that gives them.
HOSTILE = {"bad-status": [(b"FOO 200 OK\r\n\r\n<rss version='2.0'/>", 0)],
           "long-header": answer(b"X-Long: " + b"x" * 70000),
           "many-headers": answer(*[b"X-Header-%d: 1" % i for i in range(101)]),
           "cut-chunked": [(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n100\r\n<rss version='2.0'>", 0)]}


class HostileOrigins(GatewayCase):
    def test_static_writes_every_file_it_can_and_exits_non_zero(self):
        feeds = [(None, name, self.server.add("/" + name, b"", raw=data)) for name, data in HOSTILE.items()]
        feeds += [(None, "down", self.server.add("/down", b"", status=503)),
                  (None, "good", self.server.add("/good", rss([("a", "A")])))]
        write_opml(self.opml, feeds)
        result = self.run_gateway("static", "--opml", self.opml, "--state", "%(work)s/s.sqlite3", "--out",
                                  "%(work)s/feeds", "--base", "http://127.0.0.1:9", "--log", "%(work)s/static.log")
        self.assertEqual(1, result.returncode, result.stderr)
        # What the files hold the real agent reads behind nginx: gateway_agent_production_test.
        self.assertEqual(sorted(n + ".twl" for _, n, _ in feeds), sorted(os.listdir(self.work + "/feeds")))
        with open(self.work + "/static.log") as f:
            log = f.read()
        for name in [n for _, n, _ in feeds if n != "good"]:  # each failure logged, and named at the end
            self.assertIn("feed %s: " % name, log)
            self.assertIn(name, result.stderr)

    def test_the_time_limit_covers_the_whole_fetch_and_holds_up_no_other_feed(self):
        slow = {"header-drip": [(bytes([c]), 0.5) for c in answer(b"Content-Type: text/xml")[0][0]],
                "body-drip": answer() + [(b"<", 0.5)] * 20, "silent": [(b"", 30)]}
        made = self.make([(None, name, self.server.add("/" + name, b"", raw=raw)) for name, raw in slow.items()] +
                         [(None, "fast", self.server.add("/fast", rss([("a", "A")])))], timeout=2)
        started = time.monotonic()
        made.refresh_due()
        self.assertEqual("ok", made.running["fast"].result(timeout=5))
        self.assertLess(time.monotonic() - started, 1.5, "the fast feed waited")
        self.assertEqual(["error"] * 3, [made.running[name].result(timeout=5) for name in slow])
        self.assertLess(time.monotonic() - started, 3.0, "a slow feed outlived its time-out")
        self.assertEqual({"error: took longer than 2 s"}, {made.state.feed(name)["status"] for name in slow})

    def test_serve_stops_at_the_end_of_its_lifetime_whatever_its_feeds_do(self):
        drip = self.server.add("/d", b"", raw=[(b"H", 1)] * 60)
        write_opml(self.opml, [(None, "drip%d" % i, drip) for i in range(8)])
        started = time.monotonic()
        result = self.run_gateway("serve", "--opml", self.opml, "--port", "0", "--state", "%(work)s/s.sqlite3",
                                  "--timeout", "2", "--lifetime", "2", "--log", "%(work)s/serve.log")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertLess(time.monotonic() - started, 8)


class ItemsAndTopics(GatewayCase):
    def test_newest_items_by_date_get_the_highest_numbers_and_survive_the_cap(self):
        oldest_first = [("i%d" % i, "Item %d" % i, 1700000000 + i * 60) for i in range(150)]
        made = self.make([(None, "feed", self.server.add("/f", rss(oldest_first)))])
        made.refresh_all()
        self.assertEqual(["Item %d" % i for i in range(50, 150)], self.headlines(made, "feed"))
        # Newer items at the end of the document, one older item among them: all above every number before.
        self.server.add("/f", rss(oldest_first[60:] + [("old", "Late but old", 1), ("n", "New", 1800000000)]))
        made.refresh_all()
        self.assertEqual(["Late but old", "New"], self.headlines(made, "feed", have=100))

    def test_order_without_dates_is_the_documents(self):
        for case, items, expected in (
                ("undated, newest first", [("b", "B", None), ("a", "A", None)], ["A", "B"]),
                ("dated, newest first", [("b", "B", 2000), ("a", "A", 1000)], ["A", "B"]),
                ("dated, oldest first", [("a", "A", 1000), ("b", "B", 2000)], ["A", "B"]),
                ("undated after its dated neighbour", [("a", "A", 1000), ("x", "X", None), ("b", "B", 2000)],
                 ["X", "A", "B"])):
            with self.subTest(case):
                made = self.make([(None, "feed", self.server.add("/f", rss(items)))], state_name=case + ".sqlite3")
                made.refresh_all()
                self.assertEqual(expected, self.headlines(made, "feed"))

    def test_topic_titles_are_unique_the_same_every_run_and_quick_to_give(self):
        names = ["Same Name", "Same Name", "L" * 200 + "1", "L" * 200 + "2"] + ["One Title"] * 10000
        wide = write_opml(self.opml, [("Folder", name, "http://127.0.0.1:1/%d" % i) for i, name in enumerate(names)])
        started = time.monotonic()
        runs = [name_topics(opml.read_opml(wide), CodePage()) for _ in range(2)]
        self.assertLess(time.monotonic() - started, 4.0)
        titles = [s.topic for s in runs[0]]
        self.assertEqual(titles, [s.topic for s in runs[1]])
        self.assertEqual((len(names), len(names)), (len(set(titles)), len({s.name for s in runs[0]})))
        self.assertEqual([b"Folder / Same Name", b"Folder / Same Name (2)"], titles[:2])
        self.assertTrue(all(len(t) <= limits.TOPIC_TITLE_BYTES for t in titles))

    def test_deep_opml_files_are_read_whole(self):
        deep = os.path.join(self.work, "deep.opml")
        with open(deep, "w") as f:
            f.write('<opml version="2.0"><body>' + '<outline text="f" xmlUrl="http://127.0.0.1:1/x">' * 1200 +
                    "</outline>" * 1200 + "</body></opml>")
        self.assertEqual(1200, len(Catalogue(deep, None, "http://127.0.0.1:9").sources))

    def test_headlines_and_topics_in_the_agents_code_page(self):
        for title, codepage, shown in (  # the title as the feed gives it, the code page, what the agent shows
                ("Cafe\u0301 reopens", "cp1252", "Caf\u00e9 reopens"),
                ("zero\u200bwidth\u00adsoft\u200dhyphen", "cp1252", "zerowidthsofthyphen"),
                ("X&lt;b&gt;HTML&lt;/b&gt; and &lt;p&gt;a&lt;/p&gt;&lt;p&gt;b&lt;/p&gt;", "cp1252", "XHTML and a b"),
                ("Hawai\u02bbi\u02bcs coast", "cp1252", "Hawai'i's coast"),
                ("\u041d\u043e\u0432\u043e\u0441\u0442\u0438 \u0434\u043d\u044f", "cp1251", None),  # None: the same
                ("\u0395\u03b9\u03b4\u03ae\u03c3\u03b5\u03b9\u03c2", "cp1253", None),
                ("\u0141\u00f3d\u017a i \u0160ibenik", "cp1250", None),
                ("ab" + "\u65e5" * 150, "cp932", "ab" + "\u65e5" * 97 + "\u2026")):  # a cut by bytes would halve one
            with self.subTest(title=title, codepage=codepage):
                folder = None if shown else title[:3]  # the topic's title in the code page too
                extra = "<item><title>%s</title><link>http://example.test/a#part-2</link></item>" % title
                made = self.make([(folder, title, self.server.add("/f", rss([], extra=extra)))],
                                 state_name=codepage + title[:8] + ".sqlite3", codepage=CodePage(codepage))
                made.refresh_all()
                fields, messages = agent_view(made.subscription(next(iter(made.sources)), 0), codepage)
                self.assertEqual([("http://example.test/a#part-2", shown or title)], list(messages.values()))
                self.assertEqual(folder and folder + " / " + title, folder and fields["title"].decode(codepage))


class Politeness(GatewayCase):
    def hold(self, made, name):
        return made.state.feed(name)["hold_until"] - self.now

    def test_failures_back_off_up_to_the_refresh_interval(self):
        made = self.make([(None, "down", self.server.add("/d", b"", status=503))], refresh=30)
        delays = []
        for _ in range(7):
            self.assertEqual([{"down": "error"}, {"down": "waiting"}], [made.refresh_all(), made.refresh_all()])
            delays.append(self.hold(made, "down"))
            self.now += delays[-1]
        self.assertEqual([60, 120, 240, 480, 960, 1800, 1800], delays)
        self.assertEqual(7, len(self.server.requests("/d")))

    def test_retry_after_gone_and_moved(self):
        routes = {"/busy": Route(b"", status=503, headers={"Retry-After": "7200"}),
                  "/limited": Route(b"", status=429, headers={"Retry-After": http_date(time.time() + 3600)}),
                  "/gone": Route(b"", status=410), "/new": Route(rss([("a", "A")]))}
        routes.update({path: Route(b"", status=status, location="/new")
                       for path, status in (("/moved", 301), ("/moved308", 308), ("/found", 302))})
        self.server.server.routes.update(routes)
        lines = []
        made = self.make([(None, path[1:], self.server.url(path)) for path in routes if path != "/new"],
                         refresh=30, log=lines.append)
        self.assertEqual({"busy": "error", "limited": "error", "gone": "gone", "moved": "ok", "moved308": "ok",
                          "found": "ok"}, made.refresh_all())
        self.assertEqual(7200, self.hold(made, "busy"))
        self.assertAlmostEqual(3600, self.hold(made, "limited"), delta=5)
        self.assertIn("feed gone: gone (HTTP 410): no longer fetched", lines)
        self.now += 8000
        self.assertEqual("gone", made.refresh_all()["gone"])
        self.assertEqual({"/busy": 2, "/limited": 2, "/gone": 1, "/moved": 1, "/moved308": 1, "/found": 2, "/new": 6},
                         {path: len(self.server.requests(path)) for path in routes})

    def test_serve_waits_for_the_hold_and_takes_new_feeds(self):
        made = self.make([(None, "down", self.server.add("/d", b"", status=503))], refresh=30)
        made.refresh_due()
        self.assertEqual("error", made.running["down"].result(timeout=10))
        self.server.add("/d", rss([("b", "B")]))
        self.now += 30
        made.refresh_due()
        self.assertEqual(1, len(self.server.requests("/d")))  # held 60 s after the failure
        self.now += 31
        made.refresh_due()
        self.assertEqual("ok", made.running["down"].result(timeout=10))
        # A feed added to the OPML file while the gateway runs is fetched on the next round.
        write_opml(made.opml, [("Sports", "new", self.server.add("/n", rss([("c", "C")])))])
        os.utime(made.opml, ns=(0, 1))
        made.refresh_due()
        self.assertEqual("ok", made.running["new"].result(timeout=10))
        self.assertEqual((b"Sports / new", None), (self.view(made, "new")[0]["title"], made.subscription("down", 0)))


class Service(GatewayCase):
    """The service on loopback over a fetched feed, an ad folder and a quotes file."""

    def setUp(self):
        super().setUp()
        from PIL import Image
        self.made = self.make([(None, "feed", self.server.add("/f", rss([("a", "A")])))])
        self.made.refresh_all()
        folder = os.path.join(self.work, "ads")
        os.makedirs(folder)
        Image.new("RGB", (300, 50), (200, 30, 30)).save(os.path.join(folder, "ferry.png"))
        Image.new("RGB", (10, 10), (0, 0, 255)).save(os.path.join(folder, "boats.gif"))
        for name, text in (("broken.png", "\x89PNG not"), ("quotes.csv", "symbol,last,change\nTIDE,12.5,-0.25\n")):
            with open(os.path.join(folder, name), "w", encoding="latin-1") as f:
                f.write(text)
        self.reports_path = os.path.join(self.work, "reports.sqlite3")
        self.reports = state.Reports(self.reports_path, keep=50)
        self.addCleanup(self.reports.close)
        answers = service.Service(self.made, self.reports, ads.Ads(folder, self.made.state), folder + "/quotes.csv")
        self.listening = service.listen(answers, "127.0.0.1", 0, connection_seconds=1)
        timer = threading.Timer(SERVER_LIFETIME, self.listening.shutdown)  # stops by itself, whatever the test does
        timer.start()
        for stop in (self.listening.server_close, self.listening.shutdown, timer.cancel):
            self.addCleanup(stop)

    def get(self, path, body=None):
        url = "http://127.0.0.1:%d%s" % (self.listening.server_address[1], path)
        with urllib.request.urlopen(urllib.request.Request(url, data=body), timeout=5) as answer:
            return answer.read()

    def test_ads_quotes_and_reports(self):
        stream, messages = agent_view(self.get("/Feed/AdStream3/AdStream.twl?Update&Have=0&AID=acct"))
        first = min(messages)  # boats, broken, ferry
        self.assertEqual((b"%d-%d" % (first, first + 2), "http://127.0.0.1:9/ads/boatsC.bmp"),
                         (stream["msgrange"], messages[first][1]))
        for bits in (4, 8):  # scaled to the agent's 120 by 40
            picture = self.get("/ads/ferry%d.bmp?AID=acct" % bits)
            self.assertEqual((b"BM", len(picture), 120, 40, bits), (picture[:2], *(int.from_bytes(picture[i:i + 4],
                             "little") for i in (2, 18, 22)), picture[28]))
        with self.assertRaises(urllib.error.HTTPError) as failed:
            self.get("/ads/broken8.bmp")
        self.assertEqual(500, failed.exception.code)
        lines = self.get("/d/quotes.csv?s=TIDE+NOPE&f=sl1d1t1c1ohgv&e=.csv").split(b"\r\n")
        self.assertEqual((2, b"-0.25"), (len(lines), lines[0].split(b",")[4]))
        self.assertTrue(lines[0].startswith(b'"TIDE",12.5,"') and len(lines[0]) >= 50, lines[0])

    def test_the_listen_queue_takes_a_crowd(self):
        waiting = service.Server(("127.0.0.1", 0), None)  # not accepting: every connection waits in the queue
        self.addCleanup(waiting.server_close)
        for _ in range(300):  # one the queue has no room for times out
            self.addCleanup(socket.create_connection(waiting.server_address, timeout=1).close)

    def test_a_half_request_is_closed_at_the_time_limit(self):
        with socket.create_connection(self.listening.server_address, timeout=0.2) as client:
            started = time.monotonic()
            client.sendall(b"GET /feeds/feed.twl HTTP/1.0\r\n")
            for _ in range(25):  # a byte every 0.2 s, as a client that would hold a thread for ever
                try:
                    client.sendall(b"X")
                    if client.recv(1) == b"":
                        break
                except socket.timeout:
                    continue
                except OSError:
                    break  # reset: closed as well
            self.assertLess(time.monotonic() - started, 3)

    def test_reports_never_hold_up_the_answers(self):
        locker = sqlite3.connect(self.reports_path, timeout=1, isolation_level=None)
        locker.execute("BEGIN EXCLUSIVE")  # as a slow disk or a long write would
        started = time.monotonic()
        self.assertEqual(b"OK\r\n", self.get("/Bin/Update.dll?TwlUpdate&AID=a", b"report 1"))
        self.assertIn(b"Msg", self.get("/feeds/feed.twl?Update&Have=0"))
        self.assertLess(time.monotonic() - started, 1)
        locker.execute("COMMIT")
        locker.close()
        for i in range(2, 121):  # written in batches later; only the newest 50 kept
            self.reports.add("127.0.0.1", "/Bin/Update.dll", "report %d" % i)
        self.reports.close()
        self.assertEqual(["report %d" % i for i in range(71, 121)],
                         [r["body"] for r in state.read_reports(self.reports_path)])


class KeptState(GatewayCase):
    def test_items_that_left_their_feed_are_kept_a_week(self):
        made = self.make([(None, "churn", self.server.add("/c", rss([])))])
        for day in range(20):  # a feed that gives its items new ids at every fetch, fetched daily
            self.server.add("/c", rss([("d%d-%d" % (day, i), "Item") for i in range(100)]))
            self.assertEqual({"churn": "ok"}, made.refresh_all())
            self.now += 24 * 3600
        self.assertEqual(800, made.state.item_count("churn"))

    def test_numbers_after_a_lost_state_are_above_those_agents_hold(self):
        self.now = state.NUMBER_EPOCH + 10 ** 8
        url = self.server.add("/f", rss([("a%d" % i, "A") for i in range(100)]))
        made = self.make([(None, "feed", url)], state_name="lost.sqlite3")
        made.refresh_all()
        self.now += 600
        self.server.add("/f", rss([("b%d" % i, "B") for i in range(100)]))
        made.refresh_all()
        held = max(self.view(made, "feed")[1])
        made.close()
        made.state.close()
        os.remove(os.path.join(self.work, "lost.sqlite3"))
        # Lost right after that fetch, and found the feed as it was with one more item.
        self.server.add("/f", rss([("c", "C")] + [("b%d" % i, "B") for i in range(99)]))
        made = self.make([(None, "feed", url)], state_name="lost.sqlite3")
        made.refresh_all()
        self.assertGreater(min(self.view(made, "feed")[1]), held)
        # The ad numbers too, the state lost two minutes after they were given.
        held = max(made.state.ad_numbers(["ferry", "boats"]).values())
        made.state.close()
        os.remove(os.path.join(self.work, "lost.sqlite3"))
        self.now += 120
        kept = state.State(os.path.join(self.work, "lost.sqlite3"), clock=self.clock)
        self.addCleanup(kept.close)
        self.assertGreater(min(kept.ad_numbers(["ferry", "boats", "gulls"]).values()), held)


class RecordLimits(unittest.TestCase):
    def test_the_limits_match_the_agents_sources(self):
        with open(os.path.join(HERE, "..", "..", "src", "shared", "records.h"), encoding="utf-8") as f:
            records = f.read()
        with open(os.path.join(HERE, "..", "..", "src", "jobs", "config_file.cpp"), encoding="utf-8") as f:
            reader = f.read()

        def number(pattern, text=records):
            return int(re.search(pattern, text, re.S).group(1))
        # Topic fields are read with one byte less than the array: their text keeps two less.
        for field, limit in (("Title", limits.TOPIC_TITLE_BYTES), ("Hint", limits.HINT_BYTES),
                             ("HomepageUrl", limits.TOPIC_URL_BYTES)):
            self.assertRegex(reader, r'ReadValue\(path, "%s", topic\.%s, sizeof topic\.%s - 1\)' % ((field,) * 3))
            self.assertEqual(number(r"struct TopicRecord \{[^}]*char %s\[(\d+)\];" % field) - 2, limit)
        self.assertEqual(number(r"struct MsgRecord \{[^}]*char Title\[(\d+)\];") - 1, limits.HEADLINE_BYTES)
        self.assertEqual(number(r"kMsgUrlMax = (\d+);"), limits.LINK_BYTES)
        self.assertEqual(number(r"kMessageValueSize = (\d+);", reader) - 1, limits.MSG_VALUE_BYTES)
        self.assertRegex(reader, r"minutes >= %d && minutes <= %d" % limits.SCHEDULE_MINUTES)


if __name__ == "__main__":
    unittest.main()
