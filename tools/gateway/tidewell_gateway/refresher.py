"""Keeping feeds current: fetching each on a worker, politely.

A failed feed is tried again after FIRST_RETRY_SECONDS, then twice as
long each time up to the refresh interval, and never before a Retry-After
the server sent; a feed answering 410 Gone is fetched no more while the
list names the same address; a permanent redirect (301, 308) and a feed
found through its web page are remembered, so the next fetch goes straight
there. Any failure of a feed, whatever raised it, is that feed's alone.
"""

import concurrent.futures
import time

from .catalogue import Catalogue
from .feeds import NotAFeed, feed_links, parse_feed
from .fetch import Fetched, fetch

FIRST_RETRY_SECONDS = 60
# The outcomes of refresh_feed and refresh_all that leave a feed up to date.
UP_TO_DATE = ("ok", "not-modified")


class Gateway(Catalogue):
    """A catalogue whose feeds it fetches: all at once (refresh_all), or each when due (refresh_due).
    clock: the wall clock, in seconds."""

    def __init__(self, opml, state, base, refresh=30, timeout=20, max_bytes=4 << 20, workers=8, log=None,
                 addresses=(), codepage=None, clock=time.time):
        super().__init__(opml, state, base, refresh, addresses, codepage, log)
        self.timeout, self.max_bytes, self.clock = timeout, max_bytes, clock
        self.pool = concurrent.futures.ThreadPoolExecutor(max_workers=workers)
        self.running, self.next_due = {}, {}

    def close(self):
        self.pool.shutdown(wait=False, cancel_futures=True)

    def held(self, source):
        """"gone" or "waiting" when the feed is not to be fetched now, else None."""
        row = self.state.feed(source.name)
        if not row or row["url"] != source.url:
            return None
        if row["gone"]:
            return "gone"
        return "waiting" if (row["hold_until"] or 0) > self.clock() else None

    def refresh_feed(self, source):
        """Fetches one feed and stores what it holds; returns "ok", "not-modified", "gone" or "error"."""
        try:
            return self.fetch_and_store(source)
        except Exception as error:  # a feed's failure must cost no other feed anything
            return self.failed(source, Fetched("error", error="%s: %s" % (type(error).__name__, error)))

    def fetch_and_store(self, source):
        address, etag, modified = self.state.fetch_plan(source.name, source.url)
        fetched = fetch(address, etag, modified, self.timeout, self.max_bytes)
        if fetched.status == "not-modified":
            self.state.note(source.name, source.url, "not-modified")
            self.log("feed %s: not modified" % source.name)
            return "not-modified"
        if fetched.status == "gone":
            self.state.note(source.name, source.url, "gone", gone=True)
            self.log("feed %s: gone (HTTP 410): no longer fetched" % source.name)
            return "gone"
        if fetched.status != "ok":
            return self.failed(source, fetched)
        try:
            used, meta, items, found = self.read_or_discover(fetched, address)
        except NotAFeed as error:
            return self.failed(source, Fetched("error", error=str(error)))
        moved = found or (address if address != source.url else None)
        new = self.state.store(source.name, source.url, used, meta, items, moved)
        self.log("feed %s: %d items, %d new%s" % (source.name, len(items), new, " from " + moved if moved else ""))
        return "ok"

    def read_or_discover(self, fetched, address):
        """(the answer read, meta, items, the feed's new address or None): the document itself, or the
        feed its web page names."""
        base = fetched.url or address
        try:
            meta, items = parse_feed(fetched.body, base, fetched.content_type)
            return fetched, meta, items, fetched.moved_to
        except NotAFeed:
            links = feed_links(fetched.body, base) if b"<" in fetched.body[:4096] else []
            if not links:
                raise
        found = fetch(links[0], None, None, self.timeout, self.max_bytes)
        if found.status != "ok":
            raise NotAFeed("the page's feed %s: %s" % (links[0], found.error or found.status))
        meta, items = parse_feed(found.body, found.url or links[0], found.content_type)
        return found, meta, items, found.moved_to or links[0]

    def failed(self, source, fetched):
        """Notes a failure and when to try again; returns "error"."""
        row = self.state.feed(source.name) or {}
        failures = (row.get("failures") or 0) + 1 if row.get("url") == source.url else 1
        delay = min(FIRST_RETRY_SECONDS * 2 ** min(failures - 1, 30), self.refresh * 60)
        delay = max(delay, fetched.retry_after or 0)
        self.state.note(source.name, source.url, "error: " + fetched.error, failures, self.clock() + delay)
        self.next_due[source.name] = 0  # from now on the hold decides
        self.log("feed %s: %s (failure %d, next try in %d s)" % (source.name, fetched.error, failures, delay))
        return "error"

    def refresh_all(self):
        """Fetches every feed not held back at once, each on a worker; {name: outcome}, where a feed
        held back is "gone" or "waiting"."""
        outcomes, futures = {}, {}
        for name, source in self.sources.items():
            held = self.held(source)
            if held:
                outcomes[name] = held
            else:
                futures[name] = self.pool.submit(self.refresh_feed, source)
        outcomes.update({name: f.result() for name, f in futures.items()})
        return outcomes

    def refresh_due(self):
        """Starts a fetch of every feed that is due, not held back and not under way; returns at once."""
        self.reload()
        now = self.clock()
        for name, source in self.sources.items():
            running = self.running.get(name)
            if (running and not running.done()) or self.next_due.get(name, 0) > now or self.held(source):
                continue
            self.next_due[name] = now + self.refresh * 60
            self.running[name] = self.pool.submit(self.refresh_feed, source)
