#!/usr/bin/env python3
"""newsd: a local Tidewell news service for the demo and the tests.

It plays the service's servers on loopback:
  - subscription requests ("<feed>.twl?Update&Have=N&AID=X") get subscription
    files whose headlines move on over time, with only the messages above N;
  - the ad-stream file (/Feed/AdStream3/AdStream.twl) names the ads of
    CONTENT/ads.json (none when it is missing or empty), whose bitmaps
    (/ads/<name>4.bmp and <name>8.bmp, the 16- and 256-colour variants) are
    drawn at start-up, and whose links lead to /adpages/<name>.html;
  - on the quote port, /d/quotes.csv?s=A+B answers one CSV line per symbol
    with prices that move between requests;
  - POST /Bin/Update.dll?TwlUpdate... (the usage report) is accepted and its
    path and body logged.
Every request is logged. It stops on SIGINT or SIGTERM, and by itself after
--lifetime seconds.

Any address can be made to fail on purpose, for fault tests: a path that
starts with /fault/<kind> (also in a full address, as through a proxy) is
served as the rest of the path would be, but
  short       announces more bytes than it sends
  length      announces fewer bytes than it sends
  500         answers 500 Internal Server Error
  cut-header  closes before the header ends
  cut-body    closes in the middle of the body
  long-header sends a header line of 3000 bytes
  noise       sends 3000 random bytes and closes
  stall       answers nothing and holds the connection (up to 120 s)
  hang        answers nothing for 3 s, then closes
  cut-bare    announces no length and closes in the middle of the body
  stall-body  announces no length, sends half the body and holds the
              connection (up to 120 s)
  endless     announces no length and sends body bytes until the client
              closes (up to 130 s)
  trickle     announces no length and sends the body a byte a second
and while the file CONTENT/fault holds one of these words, every request
fails that way, until the file is removed or emptied; the word "refuse"
closes the listening ports instead, so that connections are refused, and
they open again once the word is gone.

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
import random
import signal
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit, urlunsplit

# The BMP writer is the feed gateway's: the two serve the same ads.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gateway"))
from tidewell_gateway.bmp import painted  # noqa: E402 (found through the line above)


def ad_painter(colours):
    """Diagonal stripes in the ad's two colours on a white ground."""
    first, second = colours

    def paint(x, y):
        if x < 2 or y < 2 or x > 117 or y > 37:
            return (0, 0, 0)
        return first if ((x + y) // 8) % 2 == 0 else second
    return paint


class Service:
    def __init__(self, content, log_path):
        self.content = content
        self.started = time.time()
        self.log_lock = threading.Lock()
        self.log_file = open(log_path, "a", buffering=1) if log_path else sys.stdout
        self.ads = self.load_ads()
        self.prices = {}
        self.price_lock = threading.Lock()

    def load_ads(self):
        """The ads of ads.json, each with its two bitmaps drawn."""
        path = os.path.join(self.content, "ads.json")
        if not os.path.isfile(path):
            return []
        with open(path, encoding="utf-8") as f:
            text = f.read()
        ads = json.loads(text) if text.strip() else []
        for ad in ads:
            colours = [tuple(c) for c in ad.get("colours", [[0, 96, 160], [255, 200, 0]])]
            ad["bitmaps"] = {bits: painted(120, 40, bits, ad_painter(colours)) for bits in (4, 8)}
        return ads

    def ad_stream(self, host):
        """The ad-stream file: every ad of ads.json, or none (an empty range purges them all)."""
        lines = ["[General]", "ConfigVersion=1", "", "[Subscription1]", "Title=AdStream",
                 "ConfigUrl=http://%s/Feed/AdStream3/AdStream.twl" % host,
                 "MsgBaseUrl=http://%s/adpages/" % host, "Schedule=Interval %d" % AD_STREAM_MINUTES,
                 "MsgRange=%s" % ("1-%d" % len(self.ads) if self.ads else "0-0"), "PurgeOutOfRange=True"]
        for n, ad in enumerate(self.ads, 1):
            lines.append('Msg%d=%s.html "http://%s/ads/%sC.bmp"' % (n, ad["name"], host, ad["name"]))
        return ("\r\n".join(lines) + "\r\n").encode("latin-1", "replace")

    def ad_page(self, file_name):
        """The page an ad leads to, "<name>.html", or None."""
        for ad in self.ads:
            if file_name == ad["name"] + ".html":
                return ("<html><body><h1>%s</h1></body></html>\r\n" % ad["name"]).encode("latin-1", "replace")
        return None

    def ad_bitmap(self, file_name):
        """The bitmap for "<name>4.bmp" or "<name>8.bmp", or None."""
        for ad in self.ads:
            for bits in (4, 8):
                if file_name == "%s%d.bmp" % (ad["name"], bits):
                    return ad["bitmaps"][bits]
        return None

    def quotes(self, symbols):
        """One CSV line per symbol: symbol, last, date, time, change, open, high, low, volume."""
        now = time.localtime()
        stamp = time.strftime("%I:%M%p", now).lstrip("0")
        date = "%d/%d/%d" % (now.tm_mon, now.tm_mday, now.tm_year)
        lines = []
        with self.price_lock:
            for symbol in symbols:
                previous = self.prices.get(symbol, 40 + (sum(map(ord, symbol)) % 120))
                last = max(1.0, previous + random.choice([-0.5, -0.25, -0.125, 0, 0.125, 0.25, 0.375, 0.5]))
                self.prices[symbol] = last
                change = last - previous
                lines.append('"%s",%s,"%s","%s",%+.3f,%.3f,%.3f,%.3f,%d' % (
                    symbol, ("%.3f" % last).rstrip("0").rstrip("."), date, stamp, change, previous,
                    max(last, previous) + 0.25, min(last, previous) - 0.25, random.randint(100000, 900000)))
        return ("\r\n".join(lines) + "\r\n").encode("ascii")

    def fault_mode(self):
        """The word in CONTENT/fault, or None: the fault every request meets for now."""
        try:
            with open(os.path.join(self.content, "fault"), encoding="ascii") as f:
                return f.read().strip() or None
        except (OSError, UnicodeDecodeError):
            return None

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


# The agent asks for the ad stream every 6 minutes; the file says so too.
AD_STREAM_MINUTES = 6

FAULTS = ("short", "length", "500", "cut-header", "cut-body", "long-header", "noise", "stall", "hang", "cut-bare",
          "stall-body", "endless", "trickle")


def split_fault(target):
    """(KIND, the target without "/fault/KIND") for a request target whose path
    starts with /fault/KIND/, in the short form or as a full address (as a
    request through a proxy carries it); (None, target) otherwise."""
    url = urlsplit(target)
    parts = url.path.split("/", 3)
    if len(parts) < 4 or parts[0] or parts[1] != "fault" or parts[2] not in FAULTS:
        return None, target
    return parts[2], urlunsplit((url.scheme, url.netloc, "/" + parts[3], url.query, url.fragment))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "newsd/1.0"
    fault = None

    def log_message(self, format, *args):
        pass  # the service logs each request itself, in one line

    def answer(self, status, body, content_type="text/plain"):
        if self.fault == "500":
            status, body, content_type = 500, b"Internal Server Error\r\n", "text/plain"
        self.server.service.log("%s %s %s %d %d%s" % (self.client_address[0], self.command, self.path, status,
                                                      len(body), " fault " + self.fault if self.fault else ""))
        if self.fault and self.fault != "500":
            return self.faulty(status, body, content_type)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def faulty(self, status, body, content_type):
        """Answers with the fault asked for."""
        head = "HTTP/1.0 %d OK\r\nContent-Type: %s\r\n" % (status, content_type)
        fault = self.fault
        if fault == "short":
            self.wfile.write(("%sContent-Length: %d\r\n\r\n" % (head, len(body) + 100)).encode() + body)
        elif fault == "length":
            self.wfile.write(("%sContent-Length: %d\r\n\r\n" % (head, max(0, len(body) - 10))).encode() + body)
        elif fault == "cut-header":
            self.wfile.write(head.encode()[:20])
        elif fault == "cut-body":
            self.wfile.write(("%sContent-Length: %d\r\n\r\n" % (head, len(body))).encode() + body[:len(body) // 2])
        elif fault == "long-header":
            self.wfile.write(("%sX-Long: %s\r\n\r\n" % (head, "x" * 3000)).encode() + body)
        elif fault == "noise":
            self.wfile.write(os.urandom(3000))
        elif fault == "stall":
            self.hold(120)
        elif fault == "hang":
            time.sleep(3)
        elif fault in ("cut-bare", "stall-body"):
            self.wfile.write(("%s\r\n" % head).encode() + body[:len(body) // 2])
            if fault == "stall-body":
                self.wfile.flush()
                self.hold(120)
        elif fault in ("endless", "trickle"):
            self.wfile.write(("%s\r\n" % head).encode())
            self.pour(body or b"x", 1 if fault == "trickle" else 4096, 1.0 if fault == "trickle" else 0, 130)

    def hold(self, seconds):
        """Holds the connection silently until the client closes it, or the time is up."""
        self.wfile.flush()
        self.connection.settimeout(seconds)
        try:
            self.connection.recv(1)
        except OSError:
            pass

    def pour(self, body, size, pause, seconds):
        """Sends body over and over in pieces of size bytes, until the client closes or the time is up."""
        end, sent, repeated = time.time() + seconds, 0, body * (size // len(body) + 2)
        try:
            while time.time() < end:
                self.wfile.write(repeated[sent % len(body):sent % len(body) + size])
                self.wfile.flush()
                sent += size
                time.sleep(pause)
        except OSError:
            pass

    def parse_request(self):
        if not super().parse_request():
            return False
        fault, path = split_fault(self.path)
        if fault:
            self.fault, self.path = fault, path
        elif self.server.service.fault_mode() in FAULTS:
            self.fault = self.server.service.fault_mode()
        return True

    def do_GET(self):
        url = urlsplit(self.path)
        parts = url.path.strip("/").split("/")
        service = self.server.service
        host = "%s:%d" % self.server.server_address
        if len(parts) == 2 and parts[0] == "feeds" and parts[1].endswith(".twl"):
            return self.feed(parts[1][:-4], url.query)
        if url.path == "/Feed/AdStream3/AdStream.twl":
            return self.answer(200, service.ad_stream(host))
        if len(parts) == 2 and parts[0] == "ads":
            picture = service.ad_bitmap(parts[1])
            if picture is not None:
                return self.answer(200, picture, "image/bmp")
        if len(parts) == 2 and parts[0] == "adpages":
            page = service.ad_page(parts[1])
            if page is not None:
                return self.answer(200, page, "text/html")
        if url.path == "/d/quotes.csv":
            symbols = [s for s in parse_qs(url.query).get("s", [""])[0].split(" ") if s]
            return self.answer(200, service.quotes(symbols), "text/csv")
        self.answer(404, b"no such page\r\n")

    def do_POST(self):
        length = int(self.headers.get("Content-length") or self.headers.get("Content-Length") or 0)
        body = self.rfile.read(min(length, 65536)) if length > 0 else b""
        if urlsplit(self.path).path == "/Bin/Update.dll":
            self.server.service.log("report %s body %s" % (self.path, body.decode("latin-1")))
            return self.answer(200, b"OK\r\n")
        self.answer(404, b"no such script\r\n")

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
    parser.add_argument("--quote-port", type=int, default=8643)
    parser.add_argument("--content", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "content"))
    parser.add_argument("--log", help="append the request log to this file (default: standard output)")
    parser.add_argument("--lifetime", type=float, default=3600, help="stop by itself after this many seconds")
    args = parser.parse_args()

    service = Service(args.content, args.log)
    listeners = [Listener(service, args.host, port) for port in (args.news_port, args.quote_port)]
    stopped = threading.Event()
    signal.signal(signal.SIGINT, lambda *_: stopped.set())
    signal.signal(signal.SIGTERM, lambda *_: stopped.set())

    service.log("newsd serving %s on %s:%d, quotes on port %d" % (args.content, args.host, args.news_port,
                                                                   args.quote_port))
    deadline = time.time() + args.lifetime
    while not stopped.wait(0.1) and time.time() < deadline:
        refusing = service.fault_mode() == "refuse"
        for listener in listeners:
            listener.close() if refusing else listener.open()
    for listener in listeners:
        listener.close()
    service.log("newsd stopped")


class Listener:
    """One listening port, closed while the service refuses connections."""

    def __init__(self, service, host, port):
        self.service, self.address = service, (host, port)
        self.server = self.thread = None
        self.open()

    def open(self):
        if self.server:
            return
        self.server = ThreadingHTTPServer(self.address, Handler)
        self.server.daemon_threads = True
        self.server.service = self.service
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def close(self):
        if not self.server:
            return
        self.server.shutdown()
        self.server.server_close()
        self.thread.join()
        self.server = self.thread = None


if __name__ == "__main__":
    main()
