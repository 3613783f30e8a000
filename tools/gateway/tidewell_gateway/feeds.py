"""Feed documents: RSS, Atom and JSON Feed read into a topic's fields and its items, newest first;
and the feed a web page names (<link rel="alternate">)."""

import calendar
import datetime
import hashlib
import html.parser
import io
import json
import warnings

import feedparser

from .limits import MAX_ITEMS, SCHEDULE_MINUTES
from .text import plain_text, web_link

# feedparser warns about its own future on every dated item.
warnings.filterwarnings("ignore", category=DeprecationWarning, module=r"feedparser(\.|$)")

MAX_KEY_CHARS = 400  # longer item ids are kept as their hash
PERIOD_MINUTES = {"hourly": 60, "daily": 1440, "weekly": 10080, "monthly": 43200, "yearly": 525600}
JSON_FEED_VERSION = "https://jsonfeed.org/version/1"  # 1 and 1.1 both start so
FEED_TYPES = ("application/rss+xml", "application/atom+xml", "application/feed+json", "application/json",
              "application/rdf+xml", "application/xml", "text/xml")


class NotAFeed(Exception):
    pass


class Item:
    """One item: its key (guid, else link, else title and date), headline, link and date (seconds, or None)."""

    def __init__(self, key, headline, link, date=None):
        self.key, self.headline, self.link, self.date = key, headline, link, date

    def __iter__(self):
        return iter((self.key, self.headline, self.link))


def item_key(raw):
    raw = raw.strip()
    if len(raw) > MAX_KEY_CHARS:
        return "sha1:" + hashlib.sha1(raw.encode("utf-8", "replace")).hexdigest()
    return raw


def newest_first(items):
    """The items by date, newest first, where they have dates; an undated item stays after the item that
    comes before it in the document (so a feed without dates keeps its order, newest first); the newest
    MAX_ITEMS of them."""
    last, dated = None, []
    for position, item in enumerate(items):
        if item.date is not None:
            last = item.date
        dated.append((last, position, item))
    first = next((d for d, _, _ in dated if d is not None), None)
    order = sorted(dated, key=lambda t: (-(t[0] if t[0] is not None else first or 0), t[1]))
    return [item for _, _, item in order][:MAX_ITEMS]


def unique(items):
    """Of a repeated key only the first item counts."""
    seen, kept = set(), []
    for item in items:
        if item.key not in seen:
            seen.add(item.key)
            kept.append(item)
    return kept


def schedule_minutes(minutes):
    return min(max(int(minutes), SCHEDULE_MINUTES[0]), SCHEDULE_MINUTES[1])


def parse_feed(body, url, content_type):
    """(meta, items) of a feed document: meta the topic's fields, items newest first. NotAFeed when the
    body is none of RSS, Atom and JSON Feed."""
    if looks_like_json(body, content_type):
        meta, items = parse_json_feed(body, url)
    else:
        meta, items = parse_xml_feed(body, url, content_type)
    return meta, newest_first(unique(items))


def looks_like_json(body, content_type):
    return "json" in (content_type or "").lower() or body.lstrip()[:1] == b"{"


# ---- RSS and Atom, through feedparser

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
    return schedule_minutes(minutes) if minutes else None


def entry_date(entry):
    stamp = entry.get("published_parsed") or entry.get("updated_parsed")
    return calendar.timegm(stamp) if stamp else None


def enclosure_link(entry):
    for enclosure in entry.get("enclosures") or ():
        if enclosure.get("href"):
            return enclosure["href"]
    return ""


def parse_xml_feed(body, url, content_type):
    parsed = feedparser.parse(io.BytesIO(body), response_headers={
        "content-type": content_type or "application/xml", "content-location": url})
    if not parsed.get("version") and not parsed.entries:
        raise NotAFeed("not a feed")
    feed = parsed.feed
    homepage = web_link(feed.get("link", ""), url)
    meta = {"title": detail_text(feed, "title"), "hint": detail_text(feed, "subtitle"),
            "homepage": homepage, "period": feed_period(feed)}
    items = []
    for entry in parsed.entries:
        headline = detail_text(entry, "title") or detail_text(entry, "summary")
        raw_link = entry.get("link", "") or enclosure_link(entry)
        key = (entry.get("id") or raw_link or
               "%s|%s" % (entry.get("title", ""), entry.get("published", entry.get("updated", "")))).strip()
        link = web_link(raw_link, url) or homepage or web_link(url, None)
        if headline and key not in ("", "|") and link:
            items.append(Item(item_key(key), headline, link, entry_date(entry)))
    return meta, items


# ---- JSON Feed 1 and 1.1

def json_date(value):
    """Seconds of an RFC 3339 date, or None."""
    try:
        stamp = datetime.datetime.fromisoformat(str(value).strip())
    except ValueError:
        return None
    if stamp.tzinfo is None:
        stamp = stamp.replace(tzinfo=datetime.timezone.utc)
    return stamp.timestamp()


def json_text(value):
    return value if isinstance(value, str) else ""


def parse_json_feed(body, url):
    try:
        document = json.loads(body.decode("utf-8-sig"))
    except (UnicodeDecodeError, ValueError) as error:
        raise NotAFeed("not JSON: %s" % error)
    if not isinstance(document, dict) or not json_text(document.get("version")).startswith(JSON_FEED_VERSION):
        raise NotAFeed("not a JSON Feed")
    homepage = web_link(json_text(document.get("home_page_url")), url)
    meta = {"title": plain_text(json_text(document.get("title")), False),
            "hint": plain_text(json_text(document.get("description")), False), "homepage": homepage,
            "period": None}
    items = []
    for entry in document.get("items") if isinstance(document.get("items"), list) else ():
        if not isinstance(entry, dict):
            continue
        headline = (plain_text(json_text(entry.get("title")), False) or
                    plain_text(json_text(entry.get("summary")), False) or
                    plain_text(json_text(entry.get("content_text")), False) or
                    plain_text(json_text(entry.get("content_html")), True))
        attachments = [a for a in entry.get("attachments") or () if isinstance(a, dict)]
        raw_link = (json_text(entry.get("url")) or json_text(entry.get("external_url")) or
                    next((json_text(a.get("url")) for a in attachments if json_text(a.get("url"))), ""))
        key = str(entry.get("id") if entry.get("id") not in (None, "") else raw_link)
        link = web_link(raw_link, url) or homepage or web_link(url, None)
        if headline and key and link:
            date = json_date(entry.get("date_published") or entry.get("date_modified") or "")
            items.append(Item(item_key(key), headline, link, date))
    return meta, items


# ---- Discovery

class _FeedLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.found = []

    def handle_starttag(self, tag, attrs):
        attributes = {k: (v or "") for k, v in attrs}
        if (tag == "link" and "alternate" in attributes.get("rel", "").lower().split()
                and attributes.get("type", "").lower().split(";")[0].strip() in FEED_TYPES
                and attributes.get("href")):
            self.found.append(attributes["href"])


def feed_links(body, url):
    """The absolute addresses of the feeds an HTML page names in <link rel="alternate">, in its order."""
    parser = _FeedLinks()
    parser.feed(body.decode("utf-8", "replace"))
    parser.close()
    return [link for link in (web_link(h, url) for h in parser.found) if link]
