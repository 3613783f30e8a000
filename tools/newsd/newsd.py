#!/usr/bin/env python3
"""newsd: a local Tidewell news service for the demo and the tests.

It plays the service's servers on loopback: it answers the agent's
subscription requests ("<feed>.twl?Update&Have=N&AID=X") with subscription
files whose headlines move on over time, sending only the messages above N.
Every request is logged. It stops on SIGINT or SIGTERM, and by itself after
--lifetime seconds.

A feed is a JSON file in CONTENT/feeds/<name>.json:

    {"title": "News / Harbour", "hint": "...", "homepage": "...",
     "msgbase": "http://127.0.0.1:8642/harbour/", "schedule": "Interval 5",
     "category": 2, "keep": 8, "period": 20, "purge": true,
     "headlines": ["Ferry runs late", "..."]}

Message n has the headline headlines[(n - 1) % len] and the file story<n>.html.
At start every headline has a number; then one more appears every "period"
seconds, and the range offered is the newest "keep" of them. Feeds are read
at every request, so tests may change them while the service runs.
"""

import argparse
import json
import os
import signal
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit


class Service:
    def __init__(self, content, log_path):
        self.content = content
        self.started = time.time()
        self.log_lock = threading.Lock()
        self.log_file = open(log_path, "a", buffering=1) if log_path else sys.stdout

    def log(self, line):
        with self.log_lock:
            self.log_file.write("%.3f %s\n" % (time.time(), line))

    def feed(self, name):
        path = os.path.join(self.content, "feeds", name + ".json")
        if "/" in name or "\\" in name or name.startswith(".") or not os.path.isfile(path):
            return None
        with open(path, encoding="utf-8") as f:
            return json.load(f)

    def newest(self, feed):
        period = max(1, int(feed.get("period", 60)))
        return len(feed.get("headlines", [])) + int((time.time() - self.started) / period)

    def subscription(self, name, feed, have, host):
        headlines = feed.get("headlines") or ["No news"]
        last = self.newest(feed)
        first = max(1, last - int(feed.get("keep", 10)) + 1)
        lines = [
            "[General]",
            "ConfigVersion=1",
            "",
            "[Subscription1]",
            "Title=" + feed["title"],
            "Hint=" + feed.get("hint", ""),
            "HomepageUrl=" + feed.get("homepage", ""),
            "ConfigUrl=http://%s/feeds/%s.twl" % (host, name),
            "MsgBaseUrl=" + feed.get("msgbase", ""),
            "Category=%d" % int(feed.get("category", 0)),
            "Schedule=" + feed.get("schedule", "Interval 5"),
            "MsgRange=%d-%d" % (first, last),
            "PurgeOutOfRange=" + ("True" if feed.get("purge", True) else "False"),
        ]
        for n in range(max(first, have + 1), last + 1):
            headline = headlines[(n - 1) % len(headlines)].replace("&", "&amp;")
            lines.append('Msg%d=story%d.html "%s"' % (n, n, headline))
        return ("\r\n".join(lines) + "\r\n").encode("latin-1", "replace")


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "newsd/1.0"

    def log_message(self, format, *args):
        pass  # the service logs each request itself, in one line

    def answer(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.server.service.log("%s %s %s %d %d" % (self.client_address[0], self.command, self.path, status, len(body)))

    def do_GET(self):
        url = urlsplit(self.path)
        parts = url.path.strip("/").split("/")
        if len(parts) == 2 and parts[0] == "feeds" and parts[1].endswith(".twl"):
            return self.feed(parts[1][:-4], url.query)
        self.answer(404, b"no such page\r\n")

    def feed(self, name, query):
        service = self.server.service
        feed = service.feed(name)
        if feed is None:
            return self.answer(404, b"no such feed\r\n")
        fields = parse_qs(query, keep_blank_values=True)
        try:
            have = int(fields.get("Have", ["0"])[0])
        except ValueError:
            have = 0
        host = "%s:%d" % self.server.server_address
        self.answer(200, service.subscription(name, feed, have, host))


def main():
    parser = argparse.ArgumentParser(description="A local Tidewell news service.")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--news-port", type=int, default=8642)
    parser.add_argument("--content", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "content"))
    parser.add_argument("--log", help="append the request log to this file (default: standard output)")
    parser.add_argument("--lifetime", type=float, default=3600, help="stop by itself after this many seconds")
    args = parser.parse_args()

    service = Service(args.content, args.log)
    news = ThreadingHTTPServer((args.host, args.news_port), Handler)
    news.daemon_threads = True
    news.service = service
    servers = [news]

    def stop(*_):
        for server in servers:
            threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    timer = threading.Timer(args.lifetime, stop)
    timer.daemon = True
    timer.start()

    service.log("newsd serving %s on %s:%d" % (args.content, args.host, args.news_port))
    threads = [threading.Thread(target=server.serve_forever, daemon=True) for server in servers]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    for server in servers:
        server.server_close()
    service.log("newsd stopped")


if __name__ == "__main__":
    main()
