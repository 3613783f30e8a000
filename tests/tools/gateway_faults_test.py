#!/usr/bin/python3
"""The feed gateway against what broke it once: hostile and slow feed
servers, feeds listed oldest first, titles that repeat, text the agent's
code page lacks, huge OPML files, a service under load, origins that ask for
politeness, a lost state; and the record limits it copies from the agent.
"""

import os
import re
import selectors
import socket
import sqlite3
import subprocess
import sys
import threading
import time
import unittest
import urllib.request

from gateway_support import (GATEWAY_PY, HERE, SERVER_LIFETIME, GatewayCase, HostileServer, Route, agent_view,
                             dated_rss, rss, write_opml)
from tidewell_gateway import fetch, limits, opml, service, state
from tidewell_gateway.catalogue import Catalogue
from tidewell_gateway.files import name_topics
from tidewell_gateway.text import CodePage

SOURCE = os.path.join(HERE, "..", "..", "src")
DAY = 24 * 3600


def status_line(*headers, body=b""):
    return b"HTTP/1.0 200 OK\r\n" + b"".join(h + b"\r\n" for h in headers) + b"\r\n" + body


def hostile_answers():
    """Answers that once made http.client raise past the gateway, by the path that gives them."""
    return {
        "/bad-status": [(b"FOO 200 OK\r\n\r\n<rss version='2.0'/>", 0)],
        "/long-header": [(status_line(b"X-Long: " + b"x" * 70000), 0)],
        "/many-headers": [(status_line(*[b"X-Header-%d: 1" % i for i in range(101)]), 0)],
        "/cut-chunked": [(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: application/rss+xml\r\n"
                          b"\r\n100\r\n<rss version='2.0'><channel>", 0)],
    }


class HostileOrigins(GatewayCase):
    def hostile(self, answers):
        server = HostileServer(answers)
        self.addCleanup(server.stop)
        return server

    def test_any_broken_answer_is_that_feeds_failure_alone(self):
        server = self.hostile(hostile_answers())
        lines = []
        made = self.make([(None, path.strip("/"), server.url(path)) for path in hostile_answers()] +
                         [(None, "good", self.server.add("/good", rss([("a", "A")])))], log=lines.append)
        outcomes = made.refresh_all()
        self.assertEqual(dict({path.strip("/"): "error" for path in hostile_answers()}, good="ok"), outcomes)
        self.assertEqual([("http://example.test/a", "A")], list(self.view(made, "good")[1].values()))
        for path in hostile_answers():
            name = path.strip("/")
            self.assertTrue(any(line.startswith("feed %s: " % name) for line in lines), (name, lines))

    def test_the_time_limit_covers_the_whole_fetch(self):
        drip = [(bytes([c]), 0.5) for c in status_line(b"Content-Type: application/rss+xml")]
        server = self.hostile({
            "/header-drip": drip,
            "/body-drip": [(status_line(), 0)] + [(b"<", 0.5)] * 20,
            "/silent": [(b"", 30)],
        })
        for path in ("/header-drip", "/body-drip", "/silent"):
            with self.subTest(path):
                started = time.monotonic()
                fetched = fetch.fetch(server.url(path), None, None, 2, 1 << 20)
                self.assertEqual("error", fetched.status)
                self.assertIn("took longer than 2 s", fetched.error)
                self.assertLess(time.monotonic() - started, 3.0)

    def test_serve_stops_at_the_end_of_its_lifetime_whatever_its_feeds_do(self):
        server = self.hostile({"/drip": [(b"H", 1)] * 60})
        path = write_opml(self.opml, [(None, "drip%d" % i, server.url("/drip")) for i in range(8)])
        started = time.monotonic()
        result = subprocess.run([sys.executable, GATEWAY_PY, "serve", "--opml", path, "--port", "0", "--state",
                                 os.path.join(self.work, "serve.sqlite3"), "--timeout", "2", "--lifetime", "2",
                                 "--log", os.path.join(self.work, "serve.log")], timeout=60)
        self.assertEqual(0, result.returncode)
        self.assertLess(time.monotonic() - started, 8)

    def test_static_exits_non_zero_after_writing_every_file_it_could(self):
        server = self.hostile(hostile_answers())
        feeds = [(None, path.strip("/"), server.url(path)) for path in hostile_answers()]
        feeds += [(None, "down", self.server.add("/down", b"", status=503)),
                  (None, "good", self.server.add("/good", rss([("a", "A")])))]
        path = write_opml(self.opml, feeds)
        out = os.path.join(self.work, "feeds")
        result = subprocess.run([sys.executable, GATEWAY_PY, "static", "--opml", path, "--state",
                                 os.path.join(self.work, "static.sqlite3"), "--out", out, "--base",
                                 "http://127.0.0.1:9", "--log", os.path.join(self.work, "static.log")],
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(1, result.returncode, result.stderr)
        self.assertEqual(sorted(n + ".twl" for _, n, _ in feeds), sorted(os.listdir(out)))
        with open(os.path.join(out, "good.twl"), "rb") as f:
            self.assertEqual(["A"], [h for _, h in agent_view(f.read())[1].values()])
        for name in [n for _, n, _ in feeds if n != "good"]:
            self.assertIn(name, result.stderr)


class ItemOrder(GatewayCase):
    def test_newest_items_by_date_get_the_highest_numbers_and_survive_the_cap(self):
        start = 1700000000
        oldest_first = [("i%d" % i, "Item %d" % i, start + i * 60) for i in range(150)]
        made = self.make([(None, "feed", self.server.add("/f", dated_rss(oldest_first)))])
        made.refresh_all()
        _, messages = self.view(made, "feed")
        self.assertEqual(["Item %d" % i for i in range(50, 150)], [h for _, h in messages.values()])

        # Newer items at the end of the document, one older item among them: all above every number before.
        later = oldest_first[60:] + [("old", "Late but old", start - 60), ("n1", "New 1", start + 9001),
                                     ("n2", "New 2", start + 9002)]
        self.server.add("/f", dated_rss(later))
        made.refresh_all()
        _, after = self.view(made, "feed", have=max(messages))
        self.assertEqual(["Late but old", "New 1", "New 2"], [h for _, h in after.values()])

    def test_order_without_dates_is_the_documents(self):
        cases = {
            "undated, newest first": ([("b", "B", None), ("a", "A", None)], ["A", "B"]),
            "dated, newest first": ([("b", "B", 2000), ("a", "A", 1000)], ["A", "B"]),
            "dated, oldest first": ([("a", "A", 1000), ("b", "B", 2000)], ["A", "B"]),
            "undated after its dated neighbour": ([("a", "A", 1000), ("x", "X", None), ("b", "B", 2000)],
                                                  ["X", "A", "B"]),
        }
        for case, (items, expected) in cases.items():
            with self.subTest(case):
                made = self.make([(None, "feed", self.server.add("/f", dated_rss(items)))],
                                 state_name=case + ".sqlite3")
                made.refresh_all()
                self.assertEqual(expected, [h for _, h in self.view(made, "feed")[1].values()])


class TopicTitles(GatewayCase):
    def test_titles_are_unique_and_the_same_every_run(self):
        long_name = "L" * 200
        feeds = [("Folder", "Same Name", self.server.add("/1", rss([]))),
                 ("Folder", "Same Name", self.server.add("/2", rss([]))),
                 ("Folder", long_name + "1", self.server.add("/3", rss([]))),
                 ("Folder", long_name + "2", self.server.add("/4", rss([])))]
        runs = []
        for run in range(2):
            made = self.make(feeds, state_name="run%d.sqlite3" % run)
            runs.append([self.view(made, name)[0]["title"] for name in made.sources])
        titles = runs[0]
        self.assertEqual(runs[0], runs[1])
        self.assertEqual(len(titles), len(set(titles)), titles)
        self.assertEqual([b"Folder / Same Name", b"Folder / Same Name (2)"], titles[:2])
        self.assertTrue(all(len(t) <= limits.TOPIC_TITLE_BYTES for t in titles))

    def test_huge_opml_files_are_read_and_named_quickly(self):
        deep = os.path.join(self.work, "deep.opml")
        with open(deep, "w") as f:
            f.write('<opml version="2.0"><body>' + '<outline text="f" xmlUrl="http://127.0.0.1:1/x">' * 1200 +
                    "</outline>" * 1200 + "</body></opml>")
        self.assertEqual(1200, len(Catalogue(deep, None, "http://127.0.0.1:9").sources))

        wide = write_opml(os.path.join(self.work, "wide.opml"),
                          [(None, "One Title", "http://127.0.0.1:1/%d" % i) for i in range(10000)])
        started = time.monotonic()
        sources = name_topics(opml.read_opml(wide), CodePage())
        self.assertLess(time.monotonic() - started, 2.0)
        self.assertEqual(10000, len({s.name for s in sources}))
        self.assertEqual(10000, len({s.topic for s in sources}))


class Text(GatewayCase):
    def test_headlines_in_the_agents_code_page(self):
        cases = [
            # (title as the feed gives it, code page, the headline the agent shows)
            ("Cafe\u0301 reopens", "cp1252", "Caf\u00e9 reopens"),
            ("zero\u200bwidth\u00adsoft\u200dhyphen", "cp1252", "zerowidthsofthyphen"),
            ("X&lt;b&gt;HTML&lt;/b&gt; and &lt;p&gt;a&lt;/p&gt;&lt;p&gt;b&lt;/p&gt;", "cp1252", "XHTML and a b"),
            ("Hawai\u02bbi\u02bcs coast", "cp1252", "Hawai'i's coast"),
            ("\u041d\u043e\u0432\u043e\u0441\u0442\u0438 \u0434\u043d\u044f", "cp1251",
             "\u041d\u043e\u0432\u043e\u0441\u0442\u0438 \u0434\u043d\u044f"),
            ("\u0395\u03b9\u03b4\u03ae\u03c3\u03b5\u03b9\u03c2", "cp1253",
             "\u0395\u03b9\u03b4\u03ae\u03c3\u03b5\u03b9\u03c2"),
            ("\u0141\u00f3d\u017a i \u0160ibenik", "cp1250", "\u0141\u00f3d\u017a i \u0160ibenik"),
            ("ab" + "\u65e5" * 150, "cp932", "ab" + "\u65e5" * 97 + "\u2026"),  # a cut by bytes would halve one
        ]
        for title, codepage, shown in cases:
            with self.subTest(title=title, codepage=codepage):
                extra = "<item><title>%s</title><link>http://example.test/a#part-2</link></item>" % title
                made = self.make([(None, "feed", self.server.add("/f", rss([], extra=extra)))],
                                 state_name=codepage + title[:8] + ".sqlite3", codepage=CodePage(codepage))
                made.refresh_all()
                data = made.subscription("feed", 0)
                self.assertEqual({("http://example.test/a#part-2", shown)},
                                 set(agent_view(data, codepage)[1].values()))

    def test_topic_fields_in_the_code_page(self):
        made = self.make([("\u041c\u0438\u0440", "\u0413\u0430\u0437\u0435\u0442\u0430",
                           self.server.add("/f", rss([])))], codepage=CodePage("windows-1251"))
        self.assertEqual("\u041c\u0438\u0440 / \u0413\u0430\u0437\u0435\u0442\u0430",
                         self.view(made, next(iter(made.sources)))[0]["title"].decode("cp1251"))


class Politeness(GatewayCase):
    def hold(self, made, name):
        return made.state.feed(name)["hold_until"] - self.clock()

    def test_failures_back_off_up_to_the_refresh_interval(self):
        made = self.make([(None, "down", self.server.add("/d", b"", status=503))], refresh=30)
        delays = []
        for _ in range(7):
            self.assertEqual({"down": "error"}, made.refresh_all())
            delays.append(self.hold(made, "down"))
            self.assertEqual({"down": "waiting"}, made.refresh_all())
            self.clock.advance(delays[-1])
        self.assertEqual([60, 120, 240, 480, 960, 1800, 1800], delays)
        self.assertEqual(7, len(self.server.requests("/d")))

    def test_retry_after_gone_and_moved(self):
        in_an_hour = time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(time.time() + 3600))
        routes = {"/busy": Route(b"", status=503, headers={"Retry-After": "7200"}),
                  "/limited": Route(b"", status=429, headers={"Retry-After": in_an_hour}),
                  "/gone": Route(b"", status=410),
                  "/moved": Route(b"", status=301, location="/new"), "/moved308": Route(b"", status=308,
                                                                                        location="/new"),
                  "/found": Route(b"", status=302, location="/new"), "/new": Route(rss([("a", "A")]))}
        self.server.server.routes.update(routes)
        lines = []
        made = self.make([(None, path.strip("/"), self.server.url(path)) for path in routes if path != "/new"],
                         refresh=30, log=lines.append)
        self.assertEqual({"busy": "error", "limited": "error", "gone": "gone", "moved": "ok", "moved308": "ok",
                          "found": "ok"}, made.refresh_all())
        self.assertEqual(7200, self.hold(made, "busy"))
        self.assertAlmostEqual(3600, self.hold(made, "limited"), delta=5)
        self.assertTrue(any("gone" in line and "no longer fetched" in line for line in lines), lines)

        self.clock.advance(8000)
        self.assertEqual("gone", made.refresh_all()["gone"])
        requests = {path: len(self.server.requests(path)) for path in routes}
        self.assertEqual({"/busy": 2, "/limited": 2, "/gone": 1, "/moved": 1, "/moved308": 1, "/found": 2,
                          "/new": 6}, requests)

    def test_serve_waits_for_the_hold_and_takes_new_feeds(self):
        made = self.make([(None, "down", self.server.add("/d", b"", status=503))], refresh=30)
        made.refresh_due()
        self.assertEqual("error", made.running["down"].result(timeout=10))
        self.server.add("/d", rss([("b", "B")]))
        self.clock.advance(30)
        made.refresh_due()
        self.assertEqual(1, len(self.server.requests("/d")))
        self.clock.advance(31)
        made.refresh_due()
        self.assertEqual("ok", made.running["down"].result(timeout=10))

        # A feed added to the OPML file while the gateway runs is fetched on the next round.
        write_opml(made.opml, [("Sports", "new", self.server.add("/n", rss([("c", "C")])))])
        os.utime(made.opml, ns=(0, 1))
        made.refresh_due()
        self.assertEqual("ok", made.running["new"].result(timeout=10))
        self.assertEqual(b"Sports / new", self.view(made, "new")[0]["title"])
        self.assertIsNone(made.subscription("down", 0))


class ServiceUnderLoad(GatewayCase):
    def serve(self, **options):
        made = self.make([(None, "feed", self.server.add("/f", rss([("a", "A")])))])
        made.refresh_all()
        reports = state.Reports(os.path.join(self.work, "reports.sqlite3"), **options)
        self.addCleanup(reports.close)
        server = service.listen(service.Service(made, reports), "127.0.0.1", 0, connection_seconds=1)
        timer = threading.Timer(SERVER_LIFETIME, server.shutdown)  # stops by itself, whatever the test does
        timer.start()
        self.addCleanup(server.server_close)
        self.addCleanup(server.shutdown)
        self.addCleanup(timer.cancel)
        return server, reports

    def get(self, server, path, timeout=5):
        with urllib.request.urlopen("http://127.0.0.1:%d%s" % (server.server_address[1], path),
                                    timeout=timeout) as answer:
            return answer.read()

    def post(self, server, body):
        request = urllib.request.Request("http://127.0.0.1:%d/Bin/Update.dll?TwlUpdate&AID=a" %
                                         server.server_address[1], data=body, method="POST")
        with urllib.request.urlopen(request, timeout=5) as answer:
            return answer.read()

    def test_the_listen_queue_takes_a_crowd(self):
        server = service.Server(("127.0.0.1", 0), None)  # not accepting yet: every connection waits in the queue
        self.addCleanup(server.server_close)
        selector, sockets = selectors.DefaultSelector(), []
        for _ in range(300):
            client = socket.socket()
            client.setblocking(False)
            client.connect_ex(server.server_address)
            selector.register(client, selectors.EVENT_WRITE)
            sockets.append(client)
        connected, end = set(), time.monotonic() + 3
        while len(connected) < len(sockets) and time.monotonic() < end:
            for key, _ in selector.select(0.2):
                if key.fileobj.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) == 0:
                    connected.add(key.fileobj)
                selector.unregister(key.fileobj)
        for client in sockets:
            client.close()
        self.assertEqual(300, len(connected))

    def test_a_half_request_is_closed_at_the_time_limit(self):
        server, _ = self.serve()
        with socket.create_connection(server.server_address, timeout=5) as client:
            started = time.monotonic()
            client.sendall(b"GET /feeds/feed.twl HTTP/1.0\r\n")
            closed = False
            for _ in range(25):  # a byte every 0.2 s, as a client that would hold a thread for ever
                try:
                    client.sendall(b"X")
                    client.settimeout(0.2)
                    closed = client.recv(1) == b""
                except socket.timeout:
                    continue
                except OSError:
                    closed = True
                if closed:
                    break
            self.assertTrue(closed)
            self.assertLess(time.monotonic() - started, 3)

    def test_reports_never_hold_up_the_answers(self):
        server, reports = self.serve()
        path = os.path.join(self.work, "reports.sqlite3")
        locker = sqlite3.connect(path, timeout=1, isolation_level=None)
        locker.execute("BEGIN EXCLUSIVE")  # as a slow disk or a long write would
        started = time.monotonic()
        self.assertEqual(b"OK\r\n", self.post(server, b"report 1"))
        self.assertIn(b"Msg", self.get(server, "/feeds/feed.twl?Update&Have=0"))
        self.assertLess(time.monotonic() - started, 1)
        locker.execute("COMMIT")
        locker.close()
        reports.close()
        self.assertEqual(["report 1"], [r["body"] for r in state.read_reports(path)])

    def test_the_state_stays_bounded(self):
        _, reports = self.serve(keep=50)
        for i in range(120):
            reports.add("127.0.0.1", "/Bin/Update.dll", "report %d" % i)
        reports.close()
        kept = state.read_reports(os.path.join(self.work, "reports.sqlite3"))
        self.assertEqual(["report %d" % i for i in range(70, 120)], [r["body"] for r in kept])

        # A feed that gives its items new ids at every fetch, fetched daily: a week of them is kept.
        made = self.make([(None, "churn", self.server.add("/c", rss([])))], state_name="churn.sqlite3")
        for day in range(20):
            self.server.add("/c", rss([("d%d-%d" % (day, i), "Item") for i in range(100)]))
            self.assertEqual({"churn": "ok"}, made.refresh_all())
            self.clock.advance(DAY)
        self.assertEqual(800, made.state.item_count("churn"))


class LostState(GatewayCase):
    def test_numbers_after_a_lost_state_are_above_those_agents_hold(self):
        self.clock.now = state.NUMBER_EPOCH + 10 ** 8
        url = self.server.add("/f", rss([("a%d" % i, "A") for i in range(100)]))
        made = self.make([(None, "feed", url)], state_name="lost.sqlite3")
        made.refresh_all()
        self.clock.advance(600)
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

    def test_ad_numbers_after_a_lost_state_are_above_those_agents_hold(self):
        self.clock.now = state.NUMBER_EPOCH + 10 ** 8
        path = os.path.join(self.work, "ads.sqlite3")
        kept = state.State(path, clock=self.clock)
        held = max(kept.ad_numbers(["ferry", "boats"]).values())
        kept.close()
        os.remove(path)
        self.clock.advance(120)
        kept = state.State(path, clock=self.clock)
        self.addCleanup(kept.close)
        self.assertGreater(min(kept.ad_numbers(["ferry", "boats", "gulls"]).values()), held)


class RecordLimits(unittest.TestCase):
    def read(self, path):
        with open(os.path.join(SOURCE, path), encoding="utf-8") as f:
            return f.read()

    def array(self, text, struct, field):
        body = re.search(r"struct %s \{(.*?)\};" % struct, text, re.S).group(1)
        return int(re.search(r"char %s\[(\d+)\];" % field, body).group(1))

    def test_the_limits_match_the_agents_sources(self):
        records, reader = self.read("shared/records.h"), self.read("jobs/config_file.cpp")
        # Topic fields are read with one byte less than the array: their text keeps two less.
        for key, field in (("Title", "Title"), ("Hint", "Hint"), ("HomepageUrl", "HomepageUrl")):
            self.assertRegex(reader, r'ReadValue\(path, "%s", topic\.%s, sizeof topic\.%s - 1\)' % (key, field, field))
        self.assertEqual(self.array(records, "TopicRecord", "Title") - 2, limits.TOPIC_TITLE_BYTES)
        self.assertEqual(self.array(records, "TopicRecord", "Hint") - 2, limits.HINT_BYTES)
        self.assertEqual(self.array(records, "TopicRecord", "HomepageUrl") - 2, limits.TOPIC_URL_BYTES)
        self.assertEqual(self.array(records, "MsgRecord", "Title") - 1, limits.HEADLINE_BYTES)
        self.assertEqual(int(re.search(r"kMsgUrlMax = (\d+);", records).group(1)), limits.LINK_BYTES)
        self.assertEqual(int(re.search(r"kMessageValueSize = (\d+);", reader).group(1)) - 1, limits.MSG_VALUE_BYTES)
        self.assertRegex(reader, r"minutes >= %d && minutes <= %d" % limits.SCHEDULE_MINUTES)


if __name__ == "__main__":
    unittest.main()
