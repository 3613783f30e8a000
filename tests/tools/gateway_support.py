"""What the feed gateway's tests share: the agent's reading of a subscription file, feed servers
on loopback (a well-behaved one and a hostile one), a clock the tests move, and a test case with a
gateway over a work folder.
"""

import gzip
import http.server
import os
import re
import shutil
import socket
import ssl
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


def rss(items, title="Changing", extra=""):
    """An RSS 2.0 document; items are (guid, title) pairs, newest first."""
    body = "".join("<item><title>%s</title><link>http://example.test/%s</link><guid>%s</guid></item>" % (t, g, g)
                   for g, t in items)
    return ('<?xml version="1.0"?><rss version="2.0"><channel><title>%s</title><link>http://example.test/</link>'
            '<description>d</description>%s%s</channel></rss>' % (title, extra, body)).encode()


# ---- The agent's reading of a subscription file ---------------------------------------------------------

def agent_entities(text):
    """The agent's entity decoding: &quot; &amp; &lt; &gt; &nbsp; and &#N; (its low 8 bits), on bytes."""
    out, i = bytearray(), 0
    names = [(b"&quot;", 34), (b"&amp;", 38), (b"&lt;", 60), (b"&gt;", 62), (b"&nbsp;", 32)]
    while i < len(text):
        end = text.find(b";", i)
        if text[i] == 0x26 and 3 <= end - i <= 9:
            value = next((v for n, v in names if text[i:i + len(n)].lower() == n), None)
            if value is None and text[i + 1:i + 2] == b"#":
                digits = text[i + 2:end]
                value = int(digits) & 255 if digits.isdigit() else 0
            out.append(value or 0x26)
            i = end + 1
            continue
        out.append(text[i])
        i += 1
    return bytes(out)


def agent_view(data, codepage="cp1252"):
    """(fields, messages) as the agent takes a subscription file: fields by lower-case key, messages
    {n: (url, headline)} within the range, with the headline decoded and shown in the code page."""
    fields, section = {}, None
    for line in data.split(b"\r\n"):
        if line.startswith(b"["):
            section = line.strip(b"[]").lower()
        elif b"=" in line and section == b"subscription1":
            key, value = line.split(b"=", 1)
            fields.setdefault(key.strip().lower().decode(), value.strip())
    first, last = (int(x) for x in fields["msgrange"].split(b"-"))
    messages = {}
    for key, value in fields.items():
        n = int(key[3:]) if re.fullmatch(r"msg[0-9]+", key) else 0
        if not first <= n <= last or b' "' not in value[:1223]:
            continue
        name, headline = value[:1223].split(b' "', 1)
        headline = agent_entities(headline[:-1] if headline.endswith(b'"') else headline).strip()
        assert len(headline) <= 199, headline
        messages[n] = ((fields.get("msgbaseurl", b"") + name).decode("ascii"), headline.decode(codepage))
    return fields, dict(sorted(messages.items()))


# ---- A feed server on loopback ----------------------------------------------------------------------

class Route:
    def __init__(self, body, content_type="application/rss+xml", etag=None, modified=None, gzipped=False,
                 delay=0.0, status=200, location=None, drip=0.0, headers=None):
        self.body, self.content_type, self.etag, self.modified = body, content_type, etag, modified
        self.headers = headers or {}
        self.gzipped, self.delay, self.status, self.location = gzipped, delay, status, location
        self.drip = drip  # seconds between the body's bytes, sent one by one


class FeedHandler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_extra(self, route):
        for name, value in route.headers.items():
            self.send_header(name, value)

    def do_GET(self):
        server = self.server
        server.requests.append((self.path, dict(self.headers)))
        route = server.routes.get(self.path)
        if route is None:
            self.send_error(404)
            return
        if route.delay:
            time.sleep(route.delay)
        if route.location:
            self.send_response(route.status)
            self.send_extra(route)
            self.send_header("Location", route.location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if route.etag and self.headers.get("If-None-Match") == route.etag:
            self.send_response(304)
            self.end_headers()
            return
        body = gzip.compress(route.body) if route.gzipped else route.body
        self.send_response(route.status)
        self.send_extra(route)
        self.send_header("Content-Type", route.content_type)
        self.send_header("Content-Length", str(len(body)))
        if route.gzipped:
            self.send_header("Content-Encoding", "gzip")
        if route.etag:
            self.send_header("ETag", route.etag)
        if route.modified:
            self.send_header("Last-Modified", route.modified)
        self.end_headers()
        try:
            for start in range(0, len(body), 1 if route.drip else len(body) or 1):
                self.wfile.write(body[start:start + (1 if route.drip else len(body))])
                self.wfile.flush()
                time.sleep(route.drip)
        except OSError:
            pass  # the gateway gave up on a body too large


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
        self.server.routes, self.server.requests = {}, []
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.timer = threading.Timer(SERVER_LIFETIME, self.server.shutdown)
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


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Clock:
    """A wall clock the test moves: it stands still until told. It starts where message numbers
    start at 1, so that the tests can name them."""

    def __init__(self, now=state.NUMBER_EPOCH - 1000):
        self.now = now

    def __call__(self):
        return self.now

    def advance(self, seconds):
        self.now += seconds


class GatewayCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tidewell-gateway-")
        self.opml = os.path.join(self.work, "feeds.opml")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.server = FeedServer()
        self.addCleanup(self.server.stop)
        self.clock = Clock()

    def make(self, feeds, state_name="state.sqlite3", **options):
        """A gateway over the feeds (see write_opml), with its state in the work folder and the test's clock."""
        path = write_opml(self.opml, feeds)
        kept = state.State(os.path.join(self.work, state_name), clock=self.clock)
        self.addCleanup(kept.close)
        made = refresher.Gateway(path, kept, "http://127.0.0.1:9/", clock=self.clock, **options)
        self.addCleanup(made.close)
        return made

    def view(self, made, name, have=0):
        return agent_view(made.subscription(name, have))




class HostileServer:
    """A feed server on loopback that answers each path with raw bytes of its own, sent in pieces
    with pauses: {path: [(bytes, seconds to wait after them), ...]}. Unknown paths get a 404."""

    def __init__(self, answers):
        self.answers = answers
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(0.2)
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.listener.getsockname()[1], path)

    def serve(self):
        end = time.monotonic() + SERVER_LIFETIME
        while not self.stopping.is_set() and time.monotonic() < end:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                continue
            threading.Thread(target=self.answer, args=(connection, end), daemon=True).start()
        self.listener.close()

    def answer(self, connection, end):
        with connection:
            connection.settimeout(5)
            request = b""
            try:
                while b"\r\n\r\n" not in request and len(request) < 65536:
                    piece = connection.recv(4096)
                    if not piece:
                        return
                    request += piece
                path = request.split(b" ")[1].decode("latin-1")
                for data, pause in self.answers.get(path, [(b"HTTP/1.0 404 Not Found\r\n\r\n", 0)]):
                    connection.sendall(data)
                    if self.stopping.wait(min(pause, max(0, end - time.monotonic()))):
                        return
            except (OSError, IndexError):
                pass  # the gateway hung up: as it should

    def stop(self):
        self.stopping.set()
        self.thread.join(5)


def dated_rss(items, oldest_first=False):
    """RSS 2.0 whose items (guid, title, seconds since 1970 or None) go in the order given."""
    extra = "".join("<item><title>%s</title><link>http://example.test/%s</link><guid>%s</guid>%s</item>"
                    % (t, g, g, "<pubDate>%s</pubDate>" % time.strftime("%a, %d %b %Y %H:%M:%S GMT",
                                                                       time.gmtime(d)) if d else "")
                    for g, t, d in items)
    return rss([], extra=extra)
