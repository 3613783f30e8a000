"""The agent's side of the gateway: the answers to its requests, served by `serve` itself
(http.server, for one machine) or as a WSGI application (gunicorn behind nginx, for many).

Every connection `serve` accepts is closed CONNECTION_SECONDS after it was
accepted, whatever its client does; the listen queue holds LISTEN_QUEUE
connections waiting for their thread.
"""

import collections
import http
import http.server
import socket
import sys
import threading
import time
import urllib.parse

from . import VERSION
from .ads import quote_lines
from .files import have_number

CONNECTION_SECONDS = 10
LISTEN_QUEUE = 1024
MAX_REPORT_BYTES = 65536
MAX_QUOTE_SYMBOLS = 200
TEXT = "text/plain; charset=%s"


class Service:
    """What the gateway answers, from its catalogue: feeds, the usage report, ads and quotes.
    Each answer is (status, content type, body)."""

    def __init__(self, catalogue, reports, ads=None, quotes=None, log=None):
        self.catalogue, self.reports, self.ads, self.quotes = catalogue, reports, ads, quotes
        self.log = log or (lambda line: None)
        self.text = TEXT % catalogue.codepage.charset

    def get(self, target):
        try:
            return self.route(urllib.parse.urlsplit(target))
        except Exception as error:  # a broken image or quotes file must not leave the agent without an answer
            self.log("%s: %s: %s" % (target, type(error).__name__, error))
            return 500, self.text, b"the gateway failed\r\n"

    def route(self, url):
        catalogue, parts = self.catalogue, url.path.strip("/").split("/")
        if len(parts) == 2 and parts[0] == "feeds" and parts[1].endswith(".twl"):
            body = catalogue.subscription(parts[1][:-4], have_number(url.query))
            return (200, self.text, body) if body else (404, self.text, b"no such feed\r\n")
        if url.path == "/Feed/AdStream3/AdStream.twl" and self.ads:
            return 200, self.text, self.ads.stream(catalogue.base)
        if len(parts) == 2 and parts[0] == "ads" and self.ads:
            picture = self.ads.bitmap(parts[1])
            return (200, "image/bmp", picture) if picture else (404, self.text, b"no such ad\r\n")
        if url.path == "/d/quotes.csv" and self.quotes:
            symbols = [s for s in urllib.parse.parse_qs(url.query).get("s", [""])[0].split(" ") if s]
            return 200, "text/csv", quote_lines(self.quotes, symbols[:MAX_QUOTE_SYMBOLS])
        if url.path in ("", "/"):
            listing = "".join("%s/feeds/%s.twl\r\n" % (catalogue.base.rstrip("/"), n) for n in catalogue.sources)
            return 200, self.text, listing.encode("ascii", "replace")
        return 404, self.text, b"no such page\r\n"

    def post(self, target, body, client):
        if urllib.parse.urlsplit(target).path == "/Bin/Update.dll":
            self.reports.add(client, target, body.decode("latin-1"))
            return 200, self.text, b"OK\r\n"
        return 404, self.text, b"no such script\r\n"


def content_length(text):
    """A request's body length, within MAX_REPORT_BYTES; 0 when missing or not a number."""
    try:
        return min(max(0, int(text or 0)), MAX_REPORT_BYTES)
    except ValueError:
        return 0


# ---- `serve`: http.server, for one machine

class Reaper:
    """Shuts down every connection CONNECTION_SECONDS after it was accepted. All have the same time
    limit, so the oldest is always first: one thread and a queue suffice."""

    def __init__(self, seconds):
        self.seconds = seconds
        self.waiting = collections.deque()
        self.arrived = threading.Condition()
        threading.Thread(target=self.run, name="reaper", daemon=True).start()

    def watch(self, sock):
        with self.arrived:
            self.waiting.append((time.monotonic() + self.seconds, sock))
            self.arrived.notify()

    def run(self):
        while True:
            with self.arrived:
                while not self.waiting:
                    self.arrived.wait()
                end, sock = self.waiting[0]
                if end > time.monotonic():
                    self.arrived.wait(end - time.monotonic())
                    continue
                self.waiting.popleft()
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass  # closed already: the usual case


class Handler(http.server.BaseHTTPRequestHandler):
    """The agent's requests; HTTP/1.0, every answer with its length."""
    protocol_version = "HTTP/1.0"
    server_version = "Tidewell-gateway/" + VERSION

    def log_message(self, format, *args):
        self.server.service.log("%s %s" % (self.client_address[0], format % args))

    def answer(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        self.answer(*self.server.service.get(self.path))

    do_HEAD = do_GET

    def do_POST(self):
        length = content_length(self.headers.get("Content-Length"))
        body = self.rfile.read(length) if length else b""
        self.answer(*self.server.service.post(self.path, body, self.client_address[0]))


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = LISTEN_QUEUE
    daemon_threads = True

    def __init__(self, address, service, connection_seconds=CONNECTION_SECONDS):
        self.service = service
        self.reaper = Reaper(connection_seconds)
        super().__init__(address, Handler)

    def process_request(self, request, client_address):
        self.reaper.watch(request)
        super().process_request(request, client_address)

    def handle_error(self, request, client_address):
        """A client that went away (or was cut off at its time limit) is no error worth a trace."""
        error = sys.exc_info()[1]
        if not isinstance(error, OSError):
            self.service.log("%s: %s: %s" % (client_address[0], type(error).__name__, error))


def listen(service, host, port, connection_seconds=CONNECTION_SECONDS):
    """A server answering on host:port on a thread of its own; stop it with shutdown() and server_close()."""
    server = Server((host, port), service, connection_seconds)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---- WSGI, for gunicorn behind nginx

def wsgi_application(service):
    """The service as a WSGI application."""

    def application(environ, start_response):
        target = environ.get("PATH_INFO", "/")
        if environ.get("QUERY_STRING"):
            target += "?" + environ["QUERY_STRING"]
        method = environ.get("REQUEST_METHOD", "GET")
        if method == "POST":
            length = content_length(environ.get("CONTENT_LENGTH"))
            body = environ["wsgi.input"].read(length) if length else b""
            client = environ.get("HTTP_X_REAL_IP") or environ.get("REMOTE_ADDR", "")
            status, content_type, answer = service.post(target, body, client)
        else:
            service.catalogue.reload()  # the fetcher may have changed the list
            status, content_type, answer = service.get(target)
        start_response("%d %s" % (status, http.HTTPStatus(status).phrase),
                       [("Content-Type", content_type), ("Content-Length", str(len(answer)))])
        return [b"" if method == "HEAD" else answer]
    return application
