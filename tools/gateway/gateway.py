#!/usr/bin/python3
"""gateway: turns the RSS and Atom feeds of an OPML file into Tidewell subscriptions.

    gateway.py serve --opml FEEDS.opml --port PORT --state STATE.sqlite3 [--host 127.0.0.1] [--refresh MINUTES]
    gateway.py subscriptions --opml FEEDS.opml --base http://HOST:PORT --out DIR
    gateway.py static --opml FEEDS.opml --state STATE.sqlite3 --out DIR [--base URL]

`serve` fetches every feed in the background (each on its own worker, with a
time-out and a size cap, so one slow or broken feed never holds up another)
and answers the agent: /feeds/NAME.twl?Update&Have=N gives the feed as a
subscription file holding only the messages numbered above N. It also takes
the usage report (POST /Bin/Update.dll), and optionally serves an ad stream
made from a folder of images and stock quotes from a CSV file.

`subscriptions` writes a subscription file per feed, to hand to the agent.
`static` fetches every feed once and writes the complete files for a web
server: an agent adds only the messages above the highest it holds, so one
file serves every agent.

Message numbers live in the SQLite state, keyed by the item's id (its guid,
else its link, else its title and date): they never change and never repeat.
Runs with Debian's /usr/bin/python3 (python3-feedparser, python3-pil).
"""

import argparse
import concurrent.futures
import csv
import hashlib
import html.parser
import http.server
import io
import os
import re
import signal
import sqlite3
import struct
import sys
import tempfile
import threading
import time
import unicodedata
import urllib.error
import urllib.parse
import urllib.request
import warnings
import xml.etree.ElementTree as ElementTree
import zlib

import feedparser

# feedparser warns about its own future on every dated item; the gateway reads no dates.
warnings.filterwarnings("ignore", category=DeprecationWarning, module="feedparser")

VERSION = "1.0"

# What the agent's records hold (bytes, without the terminator).
TOPIC_TITLE_BYTES = 198
HINT_BYTES = 98
TOPIC_URL_BYTES = 1022
HEADLINE_BYTES = 199
LINK_BYTES = 1023
MSG_VALUE_BYTES = 1223
SCHEDULE_MINUTES = (5, 999)  # the only intervals the agent takes

RETRY_SECONDS = 60  # a feed whose fetch failed is tried again this soon, whatever --refresh says
MAX_ITEMS = 100  # items kept from one feed document, newest first
MAX_KEY_CHARS = 400  # longer item ids are kept as their hash
DEFAULT_CATEGORY = "News"
ELLIPSIS = "\u2026"

# Category numbers by folder name: the folder's name, or one of its words.
CATEGORIES = {
    1: ("news", "world", "headlines", "national", "international"),
    2: ("business", "finance", "economy", "markets", "money"),
    3: ("technology", "tech", "computing", "computers", "internet"),
    4: ("science",),
    5: ("sports", "sport"),
    6: ("entertainment", "arts", "culture", "music", "movies", "film", "tv"),
    7: ("health", "medicine"),
    8: ("politics",),
    9: ("local", "regional", "city"),
    10: ("weather",),
    11: ("travel",),
    12: ("lifestyle", "food", "home", "fashion"),
    13: ("opinion", "blogs", "comment"),
}

# Characters Windows-1252 lacks, written as their nearest plain form.
PLAIN = {
    "\u2010": "-", "\u2011": "-", "\u2012": "-", "\u2015": "-", "\u2212": "-", "\u2043": "-",
    "\u2032": "'", "\u2033": '"', "\u2018": "'", "\u2019": "'", "\u201a": ",", "\u201b": "'",
    "\u2039": "<", "\u203a": ">", "\u2024": ".", "\u2025": "..", "\u2044": "/", "\u2215": "/",
    "\u00a0": " ", "\u2002": " ", "\u2003": " ", "\u2009": " ", "\u200a": " ", "\u202f": " ",
    "\u200b": "", "\u200c": "", "\u200d": "", "\u2060": "", "\ufeff": "",
    "\u0141": "L", "\u0142": "l", "\u0110": "D", "\u0111": "d", "\u0131": "i", "\u0127": "h",
    "\u0126": "H", "\u2116": "No", "\u2122": "TM", "\u2190": "<-", "\u2192": "->", "\u2194": "<->",
    "\u2264": "<=", "\u2265": ">=", "\u2260": "!=", "\u2248": "~", "\u00b7": "\u00b7",
}
PERIOD_MINUTES = {"hourly": 60, "daily": 1440, "weekly": 10080, "monthly": 43200, "yearly": 525600}

VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]
AD_SIZE = (120, 40)
IMAGE_SUFFIXES = (".png", ".gif", ".jpg", ".jpeg", ".bmp")


# ---- Text for the agent ------------------------------------------------------------------------------

class _TextOnly(html.parser.HTMLParser):
    """Collects the text of an HTML fragment; tags become blanks."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []

    def handle_data(self, data):
        self.parts.append(data)

    def handle_starttag(self, tag, attrs):
        self.parts.append(" ")

    def handle_endtag(self, tag):
        self.parts.append(" ")


def strip_markup(text):
    parser = _TextOnly()
    parser.feed(text)
    parser.close()
    return "".join(parser.parts)


def plain_text(text, is_html):
    """Readable one-line text: markup stripped, entities resolved, white space collapsed."""
    if not text:
        return ""
    if is_html:
        text = strip_markup(text)
    text = "".join(" " if unicodedata.category(c) in ("Cc", "Zl", "Zp") else c for c in text)
    return " ".join(text.split())


def to_single_bytes(text):
    """Windows-1252 bytes; characters it lacks get a plain form, or "?"."""
    out = bytearray()
    for char in text:
        try:
            out += char.encode("cp1252")
            continue
        except UnicodeEncodeError:
            pass
        plain = PLAIN.get(char)
        if plain is None:
            decomposed = unicodedata.normalize("NFKD", char)
            plain = "".join(c for c in decomposed if not unicodedata.combining(c))
        try:
            out += plain.encode("cp1252") if plain else b"?"
        except UnicodeEncodeError:
            out += b"?"
    return bytes(out)


def cut_at_word(data, limit):
    """At most limit bytes, cut at a blank with an ellipsis when it must be cut."""
    if len(data) <= limit:
        return data
    room = data[:limit - 1]
    blank = room.rfind(b" ")
    if blank > limit // 2:
        room = room[:blank]
    return room.rstrip() + ELLIPSIS.encode("cp1252")


def field_text(text, limit):
    """Plain text for a topic field the agent shows as it is: Windows-1252, cut to fit."""
    return cut_at_word(to_single_bytes(text), limit)


def headline_entities(data):
    """A headline in the form the agent decodes: ASCII, with &#N; for the bytes above 127."""
    out = []
    for byte in data:
        if byte == 0x26:
            out.append("&amp;")
        elif byte == 0x22:
            out.append("&quot;")
        elif byte >= 0x80:
            out.append("&#%d;" % byte)
        elif byte >= 0x20:
            out.append(chr(byte))
    return "".join(out)


def message_value(link, headline):
    """The value of a message line: the link, a blank and the quoted headline, within the agent's limits."""
    data = cut_at_word(to_single_bytes(headline), HEADLINE_BYTES)
    room = MSG_VALUE_BYTES - len(link) - 3
    encoded = headline_entities(data)
    while len(encoded) > room and data:
        data = cut_at_word(data, len(data) - 1)
        encoded = headline_entities(data)
    return '%s "%s"' % (link, encoded)


def web_link(link, base):
    """An absolute http(s) link in ASCII that fits the agent, or "" when there is none."""
    if not link:
        return ""
    link = urllib.parse.urljoin(base or "", link.strip())
    parts = urllib.parse.urlsplit(link)
    if parts.scheme not in ("http", "https") or not parts.netloc:
        return ""
    netloc = parts.netloc.rsplit("@", 1)[-1]
    if not netloc.isascii():
        try:
            netloc = parts.hostname.encode("idna").decode("ascii") + (":%d" % parts.port if parts.port else "")
        except (UnicodeError, ValueError):
            return ""
    safe = "/:@!$&'()*+,;=-._~%?#[]"
    link = urllib.parse.urlunsplit((parts.scheme, netloc, urllib.parse.quote(parts.path, safe=safe),
                                    urllib.parse.quote(parts.query, safe=safe), ""))
    return link if len(link) <= LINK_BYTES else ""


def category_number(folder):
    words = set(re.findall(r"[a-z]+", folder.lower()))
    for number, names in CATEGORIES.items():
        if folder.lower().strip() in names or words.intersection(names):
            return number
    return 0


# ---- The OPML file -----------------------------------------------------------------------------------

class Source:
    """One feed of the OPML file."""

    def __init__(self, name, url, folder, title, homepage, hint):
        self.name, self.url, self.folder, self.title, self.homepage, self.hint = (
            name, url, folder, title, homepage, hint)


def read_opml(path):
    """The feeds of an OPML file in document order, each with a file name of its own."""
    root = ElementTree.parse(path).getroot()
    body = root.find("body")
    sources, names = [], set()

    def visit(element, folder):
        for outline in element.findall("outline"):
            url = (outline.get("xmlUrl") or outline.get("xmlurl") or "").strip()
            label = plain_text(outline.get("text") or outline.get("title") or "", False)
            if not url:
                visit(outline, label or folder)
                continue
            title = label or urllib.parse.urlsplit(url).hostname or url
            name = unique_name(title, names)
            sources.append(Source(name, url, folder, title, (outline.get("htmlUrl") or "").strip(),
                                  plain_text(outline.get("description") or "", True)))
            visit(outline, folder)

    visit(body if body is not None else root, "")
    return sources


def unique_name(title, taken):
    base = "-".join(re.findall(r"[a-z0-9]+", title.lower()))[:40].strip("-") or "feed"
    name, n = base, 1
    while name in taken:
        n += 1
        name = "%s-%d" % (base, n)
    taken.add(name)
    return name


# ---- Fetching and parsing ----------------------------------------------------------------------------

def web_opener():
    """HTTP and HTTPS only (proxies from the environment, redirects followed): a feed address or a
    redirect naming file: or ftp: gets nothing."""
    opener = urllib.request.OpenerDirector()
    for handler in (urllib.request.ProxyHandler(), urllib.request.HTTPHandler(), urllib.request.HTTPSHandler(),
                    urllib.request.HTTPRedirectHandler(), urllib.request.HTTPDefaultErrorHandler(),
                    urllib.request.HTTPErrorProcessor(), urllib.request.UnknownHandler()):
        opener.add_handler(handler)
    return opener


class Fetched:
    def __init__(self, status, body=b"", etag=None, modified=None, url=None, content_type=None, error=None):
        self.status, self.body, self.etag, self.modified = status, body, etag, modified
        self.url, self.content_type, self.error = url, content_type, error


def fetch(url, etag, modified, timeout, max_bytes):
    """One conditional GET: "ok" with the body, "not-modified", or "error"."""
    request = urllib.request.Request(url, headers={
        "User-Agent": "Tidewell-gateway/" + VERSION,
        "Accept": "application/rss+xml, application/atom+xml, application/xml;q=0.9, */*;q=0.8",
        "Accept-Encoding": "gzip",
    })
    if etag:
        request.add_header("If-None-Match", etag)
    if modified:
        request.add_header("If-Modified-Since", modified)
    deadline = time.monotonic() + timeout
    try:
        with web_opener().open(request, timeout=timeout) as response:
            body = read_capped(response, deadline, max_bytes)
            if response.headers.get("Content-Encoding", "").lower() in ("gzip", "x-gzip"):
                body = gunzip_capped(body, max_bytes)
            return Fetched("ok", body, response.headers.get("ETag"), response.headers.get("Last-Modified"),
                           response.geturl(), response.headers.get("Content-Type"))
    except urllib.error.HTTPError as error:
        if error.code == 304:
            return Fetched("not-modified")
        return Fetched("error", error="HTTP %d" % error.code)
    except (urllib.error.URLError, OSError, ValueError, zlib.error) as error:
        return Fetched("error", error=str(getattr(error, "reason", error)) or type(error).__name__)


def read_capped(response, deadline, max_bytes):
    chunks, size = [], 0
    while True:
        if time.monotonic() > deadline:
            raise TimeoutError("took too long")
        chunk = response.read1(65536)  # whatever has come: a server that drips bytes meets the deadline
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


class NotAFeed(Exception):
    pass


def detail_text(container, key):
    detail = container.get(key + "_detail") or {}
    return plain_text(container.get(key, ""), "html" in detail.get("type", "text/html"))


def feed_period(feed):
    """Minutes between updates as the feed announces them, or None."""
    minutes = None
    period = str(feed.get("sy_updateperiod", "")).strip().lower()
    if period in PERIOD_MINUTES:
        try:
            frequency = max(1, int(str(feed.get("sy_updatefrequency", "1")).strip()))
        except ValueError:
            frequency = 1
        minutes = PERIOD_MINUTES[period] // frequency
    elif str(feed.get("ttl", "")).strip().isdigit():
        minutes = int(str(feed.get("ttl")).strip())
    if minutes is None or minutes <= 0:
        return None
    return min(max(minutes, SCHEDULE_MINUTES[0]), SCHEDULE_MINUTES[1])


def parse_feed(body, url, content_type):
    """(meta, items) of a feed document; items are (key, headline, link), newest first."""
    parsed = feedparser.parse(io.BytesIO(body), response_headers={
        "content-type": content_type or "application/xml", "content-location": url})
    if not parsed.get("version") and not parsed.entries:
        raise NotAFeed("not a feed")
    feed = parsed.feed
    homepage = web_link(feed.get("link", ""), url)
    meta = {"title": detail_text(feed, "title"), "hint": detail_text(feed, "subtitle"),
            "homepage": homepage, "period": feed_period(feed)}
    items, seen = [], set()
    for entry in parsed.entries:
        headline = detail_text(entry, "title") or detail_text(entry, "summary")
        raw_link = entry.get("link", "")
        key = (entry.get("id") or raw_link or
               ("%s|%s" % (entry.get("title", ""), entry.get("published", entry.get("updated", ""))))).strip()
        if not headline or key in ("", "|") or key in seen:
            continue
        seen.add(key)
        if len(key) > MAX_KEY_CHARS:
            key = "sha1:" + hashlib.sha1(key.encode("utf-8", "replace")).hexdigest()
        link = web_link(raw_link, url) or homepage or web_link(url, None)
        if link:
            items.append((key, headline, link))
        if len(items) == MAX_ITEMS:
            break
    return meta, items


# ---- State -------------------------------------------------------------------------------------------

SCHEMA = """
CREATE TABLE IF NOT EXISTS feeds (name TEXT PRIMARY KEY, url TEXT, etag TEXT, modified TEXT, title TEXT,
    hint TEXT, homepage TEXT, period INTEGER, fetched REAL, status TEXT, next_number INTEGER NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS items (feed TEXT NOT NULL, key TEXT NOT NULL, number INTEGER NOT NULL,
    headline TEXT NOT NULL, link TEXT NOT NULL, present INTEGER NOT NULL, first_seen REAL,
    PRIMARY KEY (feed, key), UNIQUE (feed, number));
CREATE TABLE IF NOT EXISTS ads (name TEXT PRIMARY KEY, number INTEGER UNIQUE NOT NULL);
CREATE TABLE IF NOT EXISTS reports (id INTEGER PRIMARY KEY, received REAL, client TEXT, path TEXT, body TEXT);
CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT);
"""


class State:
    """The SQLite state: feeds, their items' numbers, ad numbers and usage reports. One lock for all."""

    def __init__(self, path):
        self.lock = threading.Lock()
        self.db = sqlite3.connect(path, timeout=30, check_same_thread=False)
        self.db.row_factory = sqlite3.Row
        with self.lock, self.db:
            self.db.executescript(SCHEMA)

    def close(self):
        with self.lock:
            self.db.close()

    def feed(self, name):
        with self.lock:
            row = self.db.execute("SELECT * FROM feeds WHERE name = ?", (name,)).fetchone()
        return dict(row) if row else None

    def validators(self, name, url):
        """The ETag and Last-Modified of the feed's last answer, when it came from this address."""
        row = self.feed(name)
        if not row or row["url"] != url:
            return None, None
        return row["etag"], row["modified"]

    def _ensure(self, name, url):
        self.db.execute("INSERT OR IGNORE INTO feeds (name, url) VALUES (?, ?)", (name, url))

    def note(self, name, url, status):
        with self.lock, self.db:
            self._ensure(name, url)
            self.db.execute("UPDATE feeds SET fetched = ?, status = ? WHERE name = ?", (time.time(), status, name))

    def store(self, name, url, fetched, meta, items):
        """Takes a feed's items: new ids get the next numbers (the oldest first), the rest keep theirs."""
        with self.lock, self.db:
            self._ensure(name, url)
            known = dict(self.db.execute("SELECT key, number FROM items WHERE feed = ?", (name,)).fetchall())
            number = self.db.execute("SELECT next_number FROM feeds WHERE name = ?", (name,)).fetchone()[0]
            self.db.execute("UPDATE items SET present = 0 WHERE feed = ?", (name,))
            now = time.time()
            new = 0
            for key, headline, link in reversed(items):
                if key in known:
                    self.db.execute("UPDATE items SET headline = ?, link = ?, present = 1 WHERE feed = ? AND key = ?",
                                    (headline, link, name, key))
                    continue
                self.db.execute("INSERT INTO items VALUES (?, ?, ?, ?, ?, 1, ?)",
                                (name, key, number, headline, link, now))
                number += 1
                new += 1
            self.db.execute("UPDATE feeds SET url = ?, etag = ?, modified = ?, title = ?, hint = ?, homepage = ?,"
                            " period = ?, fetched = ?, status = ?, next_number = ? WHERE name = ?",
                            (url, fetched.etag, fetched.modified, meta["title"], meta["hint"], meta["homepage"],
                             meta["period"], now, "ok", number, name))
            return new

    def items(self, name):
        """The items the feed holds now: (number, headline, link), by number."""
        with self.lock:
            return [tuple(r) for r in self.db.execute(
                "SELECT number, headline, link FROM items WHERE feed = ? AND present = 1 ORDER BY number", (name,))]

    def ad_numbers(self, names):
        """A number per ad name, kept for good: a new name gets the next free number."""
        with self.lock, self.db:
            for name in names:
                self.db.execute("INSERT OR IGNORE INTO ads VALUES (?, (SELECT IFNULL(MAX(number), 0) + 1 FROM ads))",
                                (name,))
            return dict(self.db.execute("SELECT name, number FROM ads").fetchall())

    def add_report(self, client, path, body):
        with self.lock, self.db:
            self.db.execute("INSERT INTO reports (received, client, path, body) VALUES (?, ?, ?, ?)",
                            (time.time(), client, path, body))

    def reports(self):
        with self.lock:
            return [dict(r) for r in self.db.execute("SELECT * FROM reports ORDER BY id")]

    def setting(self, key, value=None):
        with self.lock, self.db:
            if value is not None:
                self.db.execute("INSERT OR REPLACE INTO settings VALUES (?, ?)", (key, value))
            row = self.db.execute("SELECT value FROM settings WHERE key = ?", (key,)).fetchone()
        return row[0] if row else None


# ---- Subscription files ------------------------------------------------------------------------------

def topic_lines(source, row, base, refresh):
    """The subscription section's topic fields, as bytes lines."""
    row = row or {}
    folder = source.folder or DEFAULT_CATEGORY
    title = field_text("%s / %s" % (folder, source.title), TOPIC_TITLE_BYTES)
    hint = field_text(row.get("hint") or source.hint or row.get("title") or "", HINT_BYTES)
    homepage = web_link(source.homepage, None) or row.get("homepage") or ""
    minutes = row.get("period") or min(max(int(refresh), SCHEDULE_MINUTES[0]), SCHEDULE_MINUTES[1])
    return [b"Title=" + title, b"Hint=" + hint,
            b"HomepageUrl=" + (homepage if len(homepage) <= TOPIC_URL_BYTES else "").encode("ascii"),
            b"ConfigUrl=" + ("%s/feeds/%s.twl" % (base.rstrip("/"), source.name)).encode("ascii", "replace"),
            b"MsgBaseUrl=", b"Category=%d" % category_number(source.folder),
            b"Schedule=Interval %d" % minutes]


def subscription_file(source, row, items, have, base, refresh):
    """A whole subscription file: the topic, the range of the items held now and those above have."""
    numbers = [n for n, _, _ in items]
    lines = [b"[General]", b"ConfigVersion=1", b"", b"[Subscription1]"]
    lines += topic_lines(source, row, base, refresh)
    lines.append(b"MsgRange=%d-%d" % (min(numbers), max(numbers)) if numbers else b"MsgRange=0-0")
    lines.append(b"PurgeOutOfRange=True")
    for number, headline, link in items:
        if number > have:
            lines.append(b"Msg%d=%s" % (number, message_value(link, headline).encode("ascii")))
    return b"\r\n".join(lines) + b"\r\n"


def have_number(query):
    """N of ?Update&Have=N; 0 when it is missing or not a number."""
    fields = urllib.parse.parse_qs(query, keep_blank_values=True)
    try:
        return max(0, int(fields.get("Have", ["0"])[0]))
    except ValueError:
        return 0


def write_atomically(path, data):
    """Replaces the file in one step, so that a web server never serves half of it."""
    folder = os.path.dirname(path) or "."
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".tmp-")
    try:
        with os.fdopen(handle, "wb") as f:
            f.write(data)
        os.chmod(temporary, 0o644)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


# ---- Ads and quotes ----------------------------------------------------------------------------------

def bmp(indices, width, height, palette, bits):
    """A bottom-up Windows BMP of 4 or 8 bits a pixel from palette indices in rows from the top."""
    stride = ((width * bits + 31) // 32) * 4
    pixels = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        line = indices[y * width:(y + 1) * width]
        if bits == 8:
            row[:width] = bytes(line)
        else:
            for x, i in enumerate(line):
                row[x // 2] |= (i & 15) << (4 if x % 2 == 0 else 0)
        pixels += row
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(pixels), 2835, 2835, len(palette), 0)
    return header + info + table + bytes(pixels)


def ad_bitmap(path, bits, size=AD_SIZE):
    """The image fitted into the ad's size on white, as a 16-colour (4) or 256-colour (8) BMP."""
    from PIL import Image
    with Image.open(path) as image:
        image.load()
        picture = image.convert("RGBA")
    picture.thumbnail(size)
    canvas = Image.new("RGB", size, (255, 255, 255))
    canvas.paste(picture, ((size[0] - picture.width) // 2, (size[1] - picture.height) // 2), picture)
    if bits == 4:
        palette_image = Image.new("P", (1, 1))
        palette_image.putpalette([c for rgb in VGA for c in rgb] + [0] * (768 - 48))
        quantized = canvas.quantize(palette=palette_image)
        palette = VGA
    else:
        quantized = canvas.quantize(colors=256)
        flat = quantized.getpalette()[:768]
        flat += [0] * (768 - len(flat))
        palette = [tuple(flat[i:i + 3]) for i in range(0, 768, 3)]
    return bmp(list(quantized.getdata()), size[0], size[1], palette, bits)


class Ads:
    """The ad stream made from a folder of images; each image keeps its number in the state."""

    def __init__(self, folder, state):
        self.folder, self.state = folder, state
        self.cache = {}
        self.cache_lock = threading.Lock()

    def images(self):
        """{ad name: image path} for the images in the folder."""
        found = {}
        for entry in sorted(os.listdir(self.folder)):
            stem, suffix = os.path.splitext(entry)
            name = re.sub(r"[^A-Za-z0-9_-]", "", stem)[:40]
            if suffix.lower() in IMAGE_SUFFIXES and name and name not in found:
                found[name] = os.path.join(self.folder, entry)
        return found

    def stream(self, base):
        images = self.images()
        numbers = self.state.ad_numbers(sorted(images))
        held = sorted((numbers[name], name) for name in images)
        lines = [b"[General]", b"ConfigVersion=1", b"", b"[Subscription1]", b"Title=AdStream",
                 ("ConfigUrl=%s/Feed/AdStream3/AdStream.twl" % base.rstrip("/")).encode("ascii"),
                 b"MsgRange=%d-%d" % (held[0][0], held[-1][0]) if held else b"MsgRange=0-0",
                 b"PurgeOutOfRange=True"]
        for number, name in held:
            lines.append(('Msg%d=%s.bmp "%s/ads/%sC.bmp"' % (number, name, base.rstrip("/"), name)).encode("ascii"))
        return b"\r\n".join(lines) + b"\r\n"

    def bitmap(self, file_name):
        """The BMP for "<name>4.bmp" or "<name>8.bmp", or None."""
        match = re.fullmatch(r"([A-Za-z0-9_-]+)([48])\.bmp", file_name)
        path = match and self.images().get(match.group(1))
        if not path:
            return None
        key = (path, os.path.getmtime(path), match.group(2))
        with self.cache_lock:
            if key not in self.cache:
                for stale in [k for k in self.cache if k[0] == path and k[2] == key[2]]:
                    del self.cache[stale]  # an image that changed is converted again, and only its latest kept
                self.cache[key] = ad_bitmap(path, int(match.group(2)))
            return self.cache[key]


def quote_field(row, key, default):
    """A CSV field when it looks like a number, a date or a time; else the default."""
    text = (row.get(key) or "").strip()
    return text if re.fullmatch(r"[-+0-9.:/APMapm ]{1,20}", text) else default


def quote_lines(path, symbols):
    """The agent's quote lines for the symbols the CSV file knows (columns symbol, last, change, ...)."""
    with open(path, newline="", encoding="utf-8") as f:
        rows = {(row.get("symbol") or "").strip(): row for row in csv.DictReader(f)}
    stamp = time.localtime(os.path.getmtime(path))
    lines = []
    for symbol in symbols:
        row = rows.get(symbol)
        if not row or not re.fullmatch(r"[A-Za-z0-9.^=-]{1,15}", symbol):
            continue
        line = '"%s",%s,"%s","%s",%s,%s,%s,%s,' % (
            symbol, quote_field(row, "last", "0"), quote_field(row, "date", time.strftime("%m/%d/%Y", stamp)),
            quote_field(row, "time", time.strftime("%I:%M%p", stamp).lstrip("0")), quote_field(row, "change", "0"),
            quote_field(row, "open", "0"), quote_field(row, "high", "0"), quote_field(row, "low", "0"))
        volume = quote_field(row, "volume", "0")
        lines.append(line + volume.rjust(max(len(volume), 50 - len(line)), "0"))  # the agent stops at lines under 50
    return "".join(line + "\r\n" for line in lines).encode("ascii")


# ---- The gateway -------------------------------------------------------------------------------------

class Gateway:
    """The feeds of one OPML file, their state, and the fetching that keeps them current."""

    def __init__(self, opml, state, base, refresh=30, timeout=20, max_bytes=4 << 20, workers=8, log=None):
        self.opml, self.state, self.base = opml, state, base
        self.refresh, self.timeout, self.max_bytes = refresh, timeout, max_bytes
        self.log_file = log
        self.log_lock = threading.Lock()
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=workers)
        self.running, self.started, self.next_due = {}, {}, {}
        self.opml_stamp = None
        self.sources = {}
        self.reload()

    def log(self, line):
        if self.log_file:
            with self.log_lock:
                self.log_file.write("%.3f %s\n" % (time.time(), line))
                self.log_file.flush()

    def reload(self):
        """Reads the OPML file again when it changed."""
        try:
            stamp = os.stat(self.opml).st_mtime_ns
            if stamp != self.opml_stamp:
                self.sources = {s.name: s for s in read_opml(self.opml)}
                self.opml_stamp = stamp
        except (OSError, ElementTree.ParseError) as error:
            self.log("opml %s: %s" % (self.opml, error))

    def refresh_feed(self, source):
        """Fetches one feed and stores what it holds; returns the outcome as a word."""
        etag, modified = self.state.validators(source.name, source.url)
        fetched = fetch(source.url, etag, modified, self.timeout, self.max_bytes)
        if fetched.status == "ok":
            try:
                meta, items = parse_feed(fetched.body, fetched.url or source.url, fetched.content_type)
            except NotAFeed:
                fetched = Fetched("error", error="not a feed")
            else:
                new = self.state.store(source.name, source.url, fetched, meta, items)
                self.log("feed %s: %d items, %d new" % (source.name, len(items), new))
                return "ok"
        if fetched.status == "not-modified":
            self.state.note(source.name, source.url, "not-modified")
            self.log("feed %s: not modified" % source.name)
            return "not-modified"
        self.state.note(source.name, source.url, "error: " + fetched.error)
        self.log("feed %s: %s" % (source.name, fetched.error))
        return "error"

    def refresh_all(self):
        """Fetches every feed at once, each on a worker; {name: outcome}."""
        futures = {name: self.pool.submit(self.refresh_feed, s) for name, s in self.sources.items()}
        return {name: f.result() for name, f in futures.items()}

    def refresh_due(self):
        """Starts a fetch of every feed that is due and not under way; returns at once."""
        self.reload()
        now = time.monotonic()
        for name, source in self.sources.items():
            running = self.running.get(name)
            if running and not running.done():
                continue
            due = self.next_due.get(name, 0)
            if running and running.result() == "error":
                due = min(due, self.started[name] + RETRY_SECONDS)
            if due > now:
                continue
            self.started[name], self.next_due[name] = now, now + self.refresh * 60
            self.running[name] = self.pool.submit(self.refresh_feed, source)

    def subscription(self, name, have):
        source = self.sources.get(name)
        if source is None:
            return None
        return subscription_file(source, self.state.feed(name), self.state.items(name), have, self.base,
                                 self.refresh)

    def write_files(self, folder):
        os.makedirs(folder, exist_ok=True)
        for name in self.sources:
            write_atomically(os.path.join(folder, name + ".twl"), self.subscription(name, 0))

    def close(self):
        self.pool.shutdown(wait=False, cancel_futures=True)


class Handler(http.server.BaseHTTPRequestHandler):
    """The agent's requests; HTTP/1.0, every answer with its length."""
    protocol_version = "HTTP/1.0"
    server_version = "Tidewell-gateway/" + VERSION

    def log_message(self, format, *args):
        self.server.gateway.log("%s %s" % (self.client_address[0], format % args))

    def answer(self, status, body, content_type="text/plain; charset=windows-1252"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        try:
            self.route()
        except Exception as error:  # a broken image or quotes file must not leave the agent without an answer
            self.server.gateway.log("%s: %s: %s" % (self.path, type(error).__name__, error))
            self.answer(500, b"the gateway failed\r\n")

    def route(self):
        url = urllib.parse.urlsplit(self.path)
        gateway, parts = self.server.gateway, url.path.strip("/").split("/")
        if len(parts) == 2 and parts[0] == "feeds" and parts[1].endswith(".twl"):
            body = gateway.subscription(parts[1][:-4], have_number(url.query))
            return self.answer(200, body) if body else self.answer(404, b"no such feed\r\n")
        if url.path == "/Feed/AdStream3/AdStream.twl" and self.server.ads:
            return self.answer(200, self.server.ads.stream(gateway.base))
        if len(parts) == 2 and parts[0] == "ads" and self.server.ads:
            picture = self.server.ads.bitmap(parts[1])
            return self.answer(200, picture, "image/bmp") if picture else self.answer(404, b"no such ad\r\n")
        if url.path == "/d/quotes.csv" and self.server.quotes:
            symbols = [s for s in urllib.parse.parse_qs(url.query).get("s", [""])[0].split(" ") if s][:200]
            return self.answer(200, quote_lines(self.server.quotes, symbols), "text/csv")
        if url.path in ("", "/"):
            listing = "".join("%s/feeds/%s.twl\r\n" % (gateway.base, n) for n in gateway.sources)
            return self.answer(200, listing.encode("ascii", "replace"))
        self.answer(404, b"no such page\r\n")

    do_HEAD = do_GET

    def do_POST(self):
        try:
            length = min(max(0, int(self.headers.get("Content-Length") or 0)), 65536)
        except ValueError:
            length = 0
        body = self.rfile.read(length) if length else b""
        if urllib.parse.urlsplit(self.path).path == "/Bin/Update.dll":
            self.server.gateway.state.add_report(self.client_address[0], self.path, body.decode("latin-1"))
            return self.answer(200, b"OK\r\n")
        self.answer(404, b"no such script\r\n")


def listen(gateway, host, port, ads, quotes):
    server = http.server.ThreadingHTTPServer((host, port), Handler)
    server.daemon_threads = True
    server.gateway, server.ads, server.quotes = gateway, ads, quotes
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


# ---- Commands ----------------------------------------------------------------------------------------

def open_log(path):
    return open(path, "a", encoding="utf-8") if path else sys.stderr


def serve(args):
    state = State(args.state)
    base = args.base or "http://%s:%d" % (args.host, args.port)
    gateway = Gateway(args.opml, state, base, args.refresh, args.timeout, args.max_bytes, args.workers,
                      open_log(args.log))
    ads = Ads(args.ads, state) if args.ads else None
    servers = [listen(gateway, args.host, args.port, ads, args.quotes)]
    if args.quote_port:
        servers.append(listen(gateway, args.host, args.quote_port, ads, args.quotes))
    stopped = threading.Event()
    signal.signal(signal.SIGINT, lambda *_: stopped.set())
    signal.signal(signal.SIGTERM, lambda *_: stopped.set())
    gateway.log("gateway serving %d feeds of %s at %s" % (len(gateway.sources), args.opml, base))
    deadline = time.monotonic() + args.lifetime if args.lifetime else None
    while not stopped.is_set() and not (deadline and time.monotonic() > deadline):
        gateway.refresh_due()
        stopped.wait(1.0)
    for server in servers:
        server.shutdown()
        server.server_close()
    gateway.close()
    gateway.log("gateway stopped")
    return 0


def subscriptions(args):
    os.makedirs(args.out, exist_ok=True)
    for source in read_opml(args.opml):
        write_atomically(os.path.join(args.out, source.name + ".twl"),
                         subscription_file(source, None, [], 0, args.base, args.refresh))
        print(os.path.join(args.out, source.name + ".twl"))
    return 0


def static(args):
    state = State(args.state)
    base = args.base or state.setting("static base")
    if not base:
        print("gateway: --base is needed once (the address the files are served from)", file=sys.stderr)
        return 2
    state.setting("static base", base)
    gateway = Gateway(args.opml, state, base, args.refresh, args.timeout, args.max_bytes, args.workers,
                      open_log(args.log))
    outcomes = gateway.refresh_all()
    gateway.write_files(args.out)
    gateway.close()
    state.close()
    failed = sorted(name for name, outcome in outcomes.items() if outcome == "error")
    if failed:
        print("gateway: not fetched: %s" % " ".join(failed), file=sys.stderr)
    return 0


def main(argv=None):
    parser = argparse.ArgumentParser(description="Turns RSS and Atom feeds into Tidewell subscriptions.")
    commands = parser.add_subparsers(dest="command", required=True)

    def fetching(command):
        command.add_argument("--opml", required=True)
        command.add_argument("--refresh", type=float, default=30, help="minutes between fetches (default 30)")
        command.add_argument("--timeout", type=float, default=20, help="seconds a feed may take (default 20)")
        command.add_argument("--max-bytes", type=int, default=4 << 20, help="size cap of a feed (default 4 MiB)")
        command.add_argument("--workers", type=int, default=8, help="feeds fetched at once (default 8)")
        command.add_argument("--log", help="append the log here (default: standard error)")

    serve_command = commands.add_parser("serve", help="fetch the feeds and answer the agent")
    fetching(serve_command)
    serve_command.add_argument("--port", type=int, required=True)
    serve_command.add_argument("--state", required=True)
    serve_command.add_argument("--host", default="127.0.0.1")
    serve_command.add_argument("--base", help="the address agents reach (default http://HOST:PORT)")
    serve_command.add_argument("--ads", help="a folder of images to serve as the ad stream")
    serve_command.add_argument("--quotes", help="a CSV file of quotes (symbol,last,change[,date,time,...])")
    serve_command.add_argument("--quote-port", type=int, help="a second port for the quote requests")
    serve_command.add_argument("--lifetime", type=float, help="stop by itself after this many seconds")

    subscriptions_command = commands.add_parser("subscriptions", help="write a subscription file per feed")
    subscriptions_command.add_argument("--opml", required=True)
    subscriptions_command.add_argument("--base", required=True)
    subscriptions_command.add_argument("--out", required=True)
    subscriptions_command.add_argument("--refresh", type=float, default=30)

    static_command = commands.add_parser("static", help="fetch once and write the files for a web server")
    fetching(static_command)
    static_command.add_argument("--state", required=True)
    static_command.add_argument("--out", required=True)
    static_command.add_argument("--base", help="the address the files are served from (kept in the state)")

    args = parser.parse_args(argv)
    return {"serve": serve, "subscriptions": subscriptions, "static": static}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
