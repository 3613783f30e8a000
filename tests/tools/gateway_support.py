"""What the feed gateway's tests share: the agent's reading of a subscription file, a feed server on
loopback (each route answering well, or as a hostile origin would), a clock the tests move, and a gateway."""

import gzip
import http.server
import os
import re
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "gateway_corpus")
GATEWAY_DIR = os.path.join(HERE, "..", "..", "tools", "gateway")
GATEWAY_PY = os.path.join(GATEWAY_DIR, "gateway.py")
SERVER_LIFETIME = 120  # seconds; every server here stops by itself after it

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, GATEWAY_DIR)
from tidewell_gateway import refresher, state  # noqa: E402 (found through the line above)


def corpus(name):
    with open(os.path.join(CORPUS, name), "rb") as f:
        return f.read()


def http_date(seconds):
    return time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(seconds))


def rss(items, extra=""):
    """An RSS 2.0 document; items are (guid, title) or (guid, title, seconds since 1970 or None), in order."""
    body = "".join("<item><title>%s</title><link>http://example.test/%s</link><guid>%s</guid>%s</item>"
                   % (i[1], i[0], i[0], "<pubDate>%s</pubDate>" % http_date(i[2]) if i[2:] and i[2] else "")
                   for i in items)
    return ('<?xml version="1.0"?><rss version="2.0"><channel><title>Changing</title><link>http://example.test/'
            '</link><description>d</description>%s%s</channel></rss>' % (extra, body)).encode()


ENTITIES = {b"quot": 34, b"amp": 38, b"lt": 60, b"gt": 62, b"nbsp": 32}  # those the agent decodes


def agent_entity(match):
    """As the agent takes an & with a ; 3 to 9 bytes on: an entity, &#N; its low 8 bits, anything else an &."""
    name = match[1].lower()
    value = ENTITIES.get(name) or (int(name[1:]) & 255 if name[:1] == b"#" and name[1:].isdigit() else 0)
    return bytes([value or 0x26])


def agent_view(data, codepage="cp1252"):
    """(fields, messages) as the agent takes a subscription file: fields by lower-case key, messages {n: (url,
    headline)} within the range, the headline's entities decoded and shown in the code page."""
    pairs = (line.split(b"=", 1) for line in data.split(b"\r\n") if b"=" in line and line[:1] != b"[")
    fields = {key.strip().lower().decode(): value.strip() for key, value in pairs}
    first, last = (int(x) for x in fields["msgrange"].split(b"-"))
    messages = {}
    for key, value in fields.items():
        if re.fullmatch(r"msg[0-9]+", key) and first <= int(key[3:]) <= last:
            assert len(value) <= 1223 and value.endswith(b'"'), value
            link, headline = value[:-1].split(b' "', 1)
            headline = re.sub(rb"&([^;]{2,8});", agent_entity, headline).strip()
            assert len(headline) <= 199, headline
            link = fields.get("msgbaseurl", b"").decode() + link.decode("ascii")
            messages[int(key[3:])] = (link, headline.decode(codepage))
    return fields, dict(sorted(messages.items()))


class Route:
    """What a path answers: raw, [(bytes, seconds to wait after them), ...] as a hostile origin would send them, or
    else a status, headers and a body (a 304 when the request names the etag)."""

    def __init__(self, body, content_type="application/rss+xml", etag=None, modified=None, gzipped=False,
                 status=200, location=None, headers=(), raw=None):
        body = gzip.compress(body) if gzipped else body
        fields = dict(headers, **{"Content-Type": content_type, "Content-Length": len(body), "ETag": etag,
                                  "Last-Modified": modified, "Location": location,
                                  "Content-Encoding": "gzip" if gzipped else None})
        head = "HTTP/1.0 %d Answer\r\n" % status + "".join("%s: %s\r\n" % f for f in fields.items() if f[1] is not None)
        self.etag, self.raw = etag, raw or [(head.encode() + b"\r\n" + body, 0)]


class FeedHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.requests.append((self.path, dict(self.headers)))
        route = self.server.routes.get(self.path, Route(b"", status=404))
        not_modified = route.etag and self.headers.get("If-None-Match") == route.etag
        try:
            for data, pause in [(b"HTTP/1.0 304 Not Modified\r\n\r\n", 0)] if not_modified else route.raw:
                self.wfile.write(data)
                self.wfile.flush()
                if self.server.stopping.wait(pause):
                    return
        except OSError:
            pass  # the gateway hung up: on a body too large, or at its deadline


class FeedServer:
    def __init__(self, tls=None):
        """tls: (certificate, key) files to serve HTTPS with."""
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), FeedHandler)
        self.scheme = "https" if tls else "http"
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        self.server.daemon_threads = True
        self.server.routes, self.server.requests, self.server.stopping = {}, [], threading.Event()
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.timer = threading.Timer(SERVER_LIFETIME, self.stop)
        self.timer.start()

    def url(self, path):
        return "%s://127.0.0.1:%d%s" % (self.scheme, self.server.server_address[1], path)

    def add(self, path, *args, **kwargs):
        self.server.routes[path] = Route(*args, **kwargs)
        return self.url(path)

    def requests(self, path):
        return [headers for p, headers in self.server.requests if p == path]

    def stop(self):
        self.timer.cancel()
        self.server.stopping.set()
        self.server.shutdown()
        self.server.server_close()


def write_opml(path, feeds):
    """Writes an OPML file and gives its path; feeds are (folder or None, text, url)."""
    lines = ['<?xml version="1.0"?>', '<opml version="2.0"><head><title>t</title></head><body>']
    for folder, text, url in feeds:
        outline = '<outline type="rss" text="%s" xmlUrl="%s"/>' % (text, url)
        lines.append('<outline text="%s">%s</outline>' % (folder, outline) if folder else outline)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines + ["</body></opml>"]))
    return path


class GatewayCase(unittest.TestCase):
    """A work folder, a feed server and a wall clock the test moves, starting where message numbers start at 1
    (so that tests can name them); gateways over them, the gateway's commands run in them."""

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tidewell-gateway-")
        self.opml = os.path.join(self.work, "feeds.opml")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.server = FeedServer()
        self.addCleanup(self.server.stop)
        self.now = state.NUMBER_EPOCH - 1000

    def clock(self):
        return self.now

    def make(self, feeds, state_name="state.sqlite3", **options):
        """A gateway over the feeds (see write_opml), with its state in the work folder and the test's clock."""
        kept = state.State(os.path.join(self.work, state_name), clock=self.clock)
        self.addCleanup(kept.close)
        made = refresher.Gateway(write_opml(self.opml, feeds), kept, "http://127.0.0.1:9/", clock=self.clock,
                                 **options)
        self.addCleanup(made.close)
        return made

    def view(self, made, name, have=0):
        return agent_view(made.subscription(name, have))

    def headlines(self, made, name, have=0):
        return [h for _, h in self.view(made, name, have)[1].values()]

    def run_gateway(self, *args):
        """The gateway's command line, its state, log and files in the work folder."""
        return subprocess.run([sys.executable, GATEWAY_PY] + [a % {"work": self.work} for a in args],
                              capture_output=True, text=True, timeout=60)
