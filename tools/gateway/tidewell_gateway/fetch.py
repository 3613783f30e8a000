"""One conditional GET of a feed, within one time limit from connect to last byte.

Whatever a feed server does (a broken status line, endless or oversized
headers, a cut body, bytes dripped one at a time) ends as that fetch's
result, never as an exception in the caller.
"""

import email.utils
import http.client
import socket
import threading
import time
import urllib.error
import urllib.request
import zlib

from . import VERSION

ACCEPT = ("application/rss+xml, application/atom+xml, application/feed+json, application/json;q=0.9, "
          "application/xml;q=0.9, text/html;q=0.5, */*;q=0.3")
PERMANENT_REDIRECTS = (301, 308)
MAX_RETRY_AFTER = 7 * 24 * 3600  # a Retry-After further off than this is taken as this
READ_PIECE = 65536


class Fetched:
    """The outcome of a fetch. status: "ok" (with the body), "not-modified", "gone" (410) or "error".
    moved_to: the address every redirect on the way called permanent, if any; retry_after: the seconds
    the server asked to be left alone, if it did."""

    def __init__(self, status, body=b"", etag=None, modified=None, url=None, content_type=None, error=None,
                 moved_to=None, retry_after=None):
        self.status, self.body, self.etag, self.modified = status, body, etag, modified
        self.url, self.content_type, self.error = url, content_type, error
        self.moved_to, self.retry_after = moved_to, retry_after


class Deadline:
    """Shuts every socket of one fetch down when its time is up, so that no read waits past it."""

    def __init__(self, seconds):
        self.end = time.monotonic() + seconds
        self.expired = False
        self.sockets = []
        self.lock = threading.Lock()
        self.timer = threading.Timer(seconds, self.expire)
        self.timer.daemon = True

    def __enter__(self):
        self.timer.start()
        return self

    def __exit__(self, *exc):
        self.timer.cancel()

    def remaining(self):
        return max(0.001, self.end - time.monotonic())

    def passed(self):
        """True once the time is up, also when a socket's own time-out, set to the same end, came first."""
        return self.expired or time.monotonic() >= self.end

    def watch(self, sock):
        with self.lock:
            self.sockets.append(sock)
            if not self.expired:
                return
        self.expire()

    def expire(self):
        with self.lock:
            self.expired = True
            sockets = list(self.sockets)
        for sock in sockets:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass  # closed already


def watched(connection_class, deadline):
    """A connection class whose sockets the deadline watches, from creation on."""

    class Watched(connection_class):
        def __init__(self, *args, **kwargs):
            kwargs["timeout"] = deadline.remaining()
            super().__init__(*args, **kwargs)
            self._create_connection = self.create_watched

        def create_watched(self, *args, **kwargs):
            sock = socket.create_connection(*args, **kwargs)
            deadline.watch(sock)
            return sock

        def connect(self):
            super().connect()
            deadline.watch(self.sock)  # a TLS connection's socket is a new object
    return Watched


class _Http(urllib.request.HTTPHandler):
    def __init__(self, deadline):
        super().__init__()
        self.deadline = deadline

    def http_open(self, req):
        return self.do_open(watched(http.client.HTTPConnection, self.deadline), req)


class _Https(urllib.request.HTTPSHandler):
    def __init__(self, deadline):
        super().__init__()
        self.deadline = deadline

    def https_open(self, req):
        return self.do_open(watched(http.client.HTTPSConnection, self.deadline), req,
                            context=self._context, check_hostname=self._check_hostname)


class _Redirects(urllib.request.HTTPRedirectHandler):
    """Follows redirects, noting whether every one of them was permanent."""

    def __init__(self):
        super().__init__()
        self.count, self.permanent = 0, True

    def redirect_request(self, req, fp, code, msg, headers, newurl):
        self.count += 1
        self.permanent = self.permanent and code in PERMANENT_REDIRECTS
        return super().redirect_request(req, fp, code, msg, headers, newurl)


def web_opener(deadline, redirects):
    """HTTP and HTTPS only (proxies from the environment, redirects followed): a feed address or a
    redirect naming file: or ftp: gets nothing."""
    opener = urllib.request.OpenerDirector()
    for handler in (urllib.request.ProxyHandler(), _Http(deadline), _Https(deadline), redirects,
                    urllib.request.HTTPDefaultErrorHandler(), urllib.request.HTTPErrorProcessor(),
                    urllib.request.UnknownHandler()):
        opener.add_handler(handler)
    return opener


def retry_after(headers, now=None):
    """The seconds a Retry-After header asks for (a number or an HTTP date), or None."""
    value = (headers.get("Retry-After") or "").strip() if headers else ""
    if not value:
        return None
    if value.isdigit():
        seconds = int(value)
    else:
        try:
            seconds = email.utils.parsedate_to_datetime(value).timestamp() - (now or time.time())
        except (TypeError, ValueError, IndexError, OverflowError):
            return None
    return min(max(0, seconds), MAX_RETRY_AFTER)


def fetch(url, etag, modified, timeout, max_bytes):
    """One conditional GET; every failure is a Fetched("error") with its reason."""
    request = urllib.request.Request(url, headers={
        "User-Agent": "Tidewell-gateway/" + VERSION, "Accept": ACCEPT, "Accept-Encoding": "gzip"})
    if etag:
        request.add_header("If-None-Match", etag)
    if modified:
        request.add_header("If-Modified-Since", modified)
    redirects = _Redirects()
    with Deadline(timeout) as deadline:
        try:
            with web_opener(deadline, redirects).open(request, timeout=timeout) as response:
                body = read_capped(response, deadline, max_bytes)
                if response.headers.get("Content-Encoding", "").lower() in ("gzip", "x-gzip"):
                    body = gunzip_capped(body, max_bytes)
                final = response.geturl()
                return Fetched("ok", body, response.headers.get("ETag"), response.headers.get("Last-Modified"),
                               final, response.headers.get("Content-Type"),
                               moved_to=final if redirects.count and redirects.permanent else None)
        except urllib.error.HTTPError as error:
            return http_error(error)
        except (urllib.error.URLError, http.client.HTTPException, OSError, ValueError, zlib.error) as error:
            if deadline.passed():
                return Fetched("error", error="took longer than %g s" % timeout)
            reason = getattr(error, "reason", error)
            return Fetched("error", error="%s: %s" % (type(error).__name__, reason) if str(reason) else
                           type(error).__name__)


def http_error(error):
    error.close()
    if error.code == 304:
        return Fetched("not-modified")
    if error.code == 410:
        return Fetched("gone", error="HTTP 410 Gone")
    return Fetched("error", error="HTTP %d" % error.code, retry_after=retry_after(error.headers))


def read_capped(response, deadline, max_bytes):
    chunks, size = [], 0
    while True:
        chunk = response.read1(READ_PIECE)
        if deadline.passed():  # the end of a body cut short by the deadline is no end
            raise TimeoutError("took too long")
        if not chunk:
            return b"".join(chunks)
        size += len(chunk)
        if size > max_bytes:
            raise ValueError("larger than %d bytes" % max_bytes)
        chunks.append(chunk)


def gunzip_capped(data, max_bytes):
    inflater = zlib.decompressobj(16 + zlib.MAX_WBITS)
    out = inflater.decompress(data, max_bytes + 1)
    if len(out) > max_bytes:
        raise ValueError("larger than %d bytes unpacked" % max_bytes)
    return out
