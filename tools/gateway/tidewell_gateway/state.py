"""The gateway's SQLite state: feeds, their items' numbers, ad numbers, settings; and the usage
reports, written in batches by a thread of their own.

Numbers do not repeat across a lost state: a feed's (and the ad stream's)
numbering never falls behind the clock (seconds since NUMBER_EPOCH), and
one the state does not know starts MAX_ITEMS above it. A fetch can put a
feed's numbers ahead of the clock by the items it brought, and the clock
catches up at one a second; so as long as a feed brings less than one new
item a second on average, a state lost two minutes or more after the last
new items starts every feed above every number it handed out. Items that
left their feed are deleted ITEM_KEEP_SECONDS later.
"""

import queue
import sqlite3
import threading
import time

from .limits import MAX_ITEMS

NUMBER_EPOCH = 1577836800  # 2020-01-01 00:00 UTC; numbers stay within 32 bits until 2156
ITEM_KEEP_SECONDS = 7 * 24 * 3600
BUSY_SECONDS = 30
BASE_SETTING = "static base"  # the address static's files are served under

SCHEMA = """
CREATE TABLE IF NOT EXISTS feeds (name TEXT PRIMARY KEY, url TEXT, etag TEXT, modified TEXT, title TEXT,
    hint TEXT, homepage TEXT, period INTEGER, fetched REAL, status TEXT, next_number INTEGER NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS items (feed TEXT NOT NULL, key TEXT NOT NULL, number INTEGER NOT NULL,
    headline TEXT NOT NULL, link TEXT NOT NULL, present INTEGER NOT NULL, first_seen REAL,
    PRIMARY KEY (feed, key), UNIQUE (feed, number));
CREATE TABLE IF NOT EXISTS ads (name TEXT PRIMARY KEY, number INTEGER UNIQUE NOT NULL);
CREATE TABLE IF NOT EXISTS settings (key TEXT PRIMARY KEY, value TEXT);
"""
# Columns later versions added, with their definitions: an older state file gets them on opening.
ADDED_COLUMNS = {
    "feeds": (("address", "TEXT"), ("failures", "INTEGER NOT NULL DEFAULT 0"), ("hold_until", "REAL"),
              ("gone", "INTEGER NOT NULL DEFAULT 0")),
    "items": (("last_seen", "REAL"),),
}
REPORTS_SCHEMA = "CREATE TABLE IF NOT EXISTS reports (id INTEGER PRIMARY KEY, received REAL, client TEXT, " \
                 "path TEXT, body TEXT)"


def connect(path):
    db = sqlite3.connect(path, timeout=BUSY_SECONDS, check_same_thread=False)
    db.execute("PRAGMA journal_mode=WAL")  # readers never wait for the writer
    return db


class State:
    """Feeds, items, ad numbers and settings, behind one lock. clock: the wall clock (seconds)."""

    def __init__(self, path, clock=time.time):
        self.lock = threading.Lock()
        self.clock = clock
        self.db = connect(path)
        self.db.row_factory = sqlite3.Row
        with self.lock, self.db:
            self.db.executescript(SCHEMA)
            for table, columns in ADDED_COLUMNS.items():
                have = {row[1] for row in self.db.execute("PRAGMA table_info(%s)" % table)}
                for column, definition in columns:
                    if column not in have:
                        self.db.execute("ALTER TABLE %s ADD COLUMN %s %s" % (table, column, definition))

    def close(self):
        with self.lock:
            self.db.close()

    def floor(self, ahead=0):
        """The lowest number the clock lets a new item have now (plus ahead)."""
        return max(1, int(self.clock()) - NUMBER_EPOCH + ahead)

    def feed(self, name):
        with self.lock:
            row = self.db.execute("SELECT * FROM feeds WHERE name = ?", (name,)).fetchone()
        return dict(row) if row else None

    def fetch_plan(self, name, url):
        """(address, etag, modified) to fetch the feed with: the address it moved to or was found at,
        and the validators of its last answer, while the list still names the same url."""
        row = self.feed(name)
        if not row or row["url"] != url:
            return url, None, None
        return row["address"] or url, row["etag"], row["modified"]

    def _ensure(self, name, url):
        """The feed's row for this url; a new url starts afresh (numbering goes on)."""
        self.db.execute("INSERT OR IGNORE INTO feeds (name, url, next_number) VALUES (?, ?, ?)",
                        (name, url, self.floor(MAX_ITEMS)))
        self.db.execute("UPDATE feeds SET url = ?, address = NULL, etag = NULL, modified = NULL, failures = 0,"
                        " hold_until = NULL, gone = 0 WHERE name = ? AND url IS NOT ?", (url, name, url))

    def note(self, name, url, status, failures=0, hold_until=None, gone=False, address=None):
        """Records the outcome of a fetch that brought no items."""
        with self.lock, self.db:
            self._ensure(name, url)
            self.db.execute("UPDATE feeds SET fetched = ?, status = ?, failures = ?, hold_until = ?, gone = ?,"
                            " address = IFNULL(?, address) WHERE name = ?",
                            (self.clock(), status, failures, hold_until, int(gone), address, name))

    def store(self, name, url, fetched, meta, items, address=None):
        """Takes a feed's items (newest first): new keys get numbers above every number given before,
        oldest first; known keys keep theirs. Returns how many were new."""
        now = self.clock()
        with self.lock, self.db:
            self._ensure(name, url)
            known = {row[0] for row in self.db.execute("SELECT key FROM items WHERE feed = ?", (name,))}
            stored = self.db.execute("SELECT next_number FROM feeds WHERE name = ?", (name,)).fetchone()[0]
            number = max(stored, self.floor())
            self.db.execute("UPDATE items SET present = 0 WHERE feed = ?", (name,))
            new = 0
            for key, headline, link in reversed(items):
                if key in known:
                    self.db.execute("UPDATE items SET headline = ?, link = ?, present = 1, last_seen = ?"
                                    " WHERE feed = ? AND key = ?", (headline, link, now, name, key))
                    continue
                self.db.execute("INSERT INTO items (feed, key, number, headline, link, present, first_seen,"
                                " last_seen) VALUES (?, ?, ?, ?, ?, 1, ?, ?)",
                                (name, key, number, headline, link, now, now))
                number += 1
                new += 1
            self.db.execute("DELETE FROM items WHERE feed = ? AND present = 0 AND IFNULL(last_seen, 0) < ?",
                            (name, now - ITEM_KEEP_SECONDS))
            self.db.execute("UPDATE feeds SET address = ?, etag = ?, modified = ?, title = ?, hint = ?,"
                            " homepage = ?, period = ?, fetched = ?, status = 'ok', failures = 0, hold_until = NULL,"
                            " next_number = ? WHERE name = ?",
                            (address, fetched.etag, fetched.modified, meta["title"], meta["hint"],
                             meta["homepage"], meta["period"], now, max(number, stored), name))
            return new

    def items(self, name):
        """The items the feed holds now: (number, headline, link), by number."""
        with self.lock:
            return [tuple(r) for r in self.db.execute(
                "SELECT number, headline, link FROM items WHERE feed = ? AND present = 1 ORDER BY number", (name,))]

    def item_count(self, name):
        with self.lock:
            return self.db.execute("SELECT COUNT(*) FROM items WHERE feed = ?", (name,)).fetchone()[0]

    def addresses(self):
        """{name: the address a feed is fetched from now} for the feeds that moved or were found."""
        with self.lock:
            return dict(self.db.execute("SELECT name, address FROM feeds WHERE address IS NOT NULL"))

    def ad_numbers(self, names):
        """A number per ad name, kept for good: a new name gets the next free number, never below the
        clock's floor, and the first one MAX_ITEMS above it (as a feed's first item)."""
        with self.lock, self.db:
            for name in names:
                self.db.execute("INSERT OR IGNORE INTO ads VALUES (?, (SELECT CASE WHEN COUNT(*) = 0 THEN ?"
                                " ELSE MAX(MAX(number) + 1, ?) END FROM ads))",
                                (name, self.floor(MAX_ITEMS), self.floor()))
            return dict(self.db.execute("SELECT name, number FROM ads").fetchall())

    def setting(self, key, value=None):
        with self.lock, self.db:
            if value is not None:
                self.db.execute("INSERT OR REPLACE INTO settings VALUES (?, ?)", (key, value))
            row = self.db.execute("SELECT value FROM settings WHERE key = ?", (key,)).fetchone()
        return row[0] if row else None


class Reports:
    """The usage reports: add() queues and returns at once; a thread of this object writes what has
    queued in one transaction every FLUSH_SECONDS (or BATCH reports), over a connection of its own, and
    keeps only the newest keep reports. close() writes what is left."""

    FLUSH_SECONDS = 0.5
    BATCH = 2000

    def __init__(self, path, keep=1000000, clock=time.time):
        self.path, self.keep, self.clock = path, keep, clock
        self.queue = queue.Queue()
        self.lost = 0  # reports the database refused
        self.ready = threading.Event()
        self.thread = threading.Thread(target=self.run, name="reports", daemon=True)
        self.thread.start()
        self.ready.wait(BUSY_SECONDS)

    def add(self, client, path, body):
        self.queue.put((self.clock(), client, path, body))

    def close(self):
        self.queue.put(None)
        self.thread.join(BUSY_SECONDS)

    def run(self):
        db = connect(self.path)
        with db:
            db.execute(REPORTS_SCHEMA)
        self.ready.set()
        stopping = False
        while not stopping:
            batch = []
            try:
                batch.append(self.queue.get(timeout=self.FLUSH_SECONDS))
                while len(batch) < self.BATCH:
                    batch.append(self.queue.get_nowait())
            except queue.Empty:
                pass
            stopping = None in batch
            rows = [r for r in batch if r is not None]
            if rows:
                self.write(db, rows)
        db.close()

    def write(self, db, rows):
        try:
            with db:
                db.executemany("INSERT INTO reports (received, client, path, body) VALUES (?, ?, ?, ?)", rows)
                db.execute("DELETE FROM reports WHERE id <= (SELECT MAX(id) FROM reports) - ?", (self.keep,))
        except sqlite3.Error:
            self.lost += len(rows)  # a report is worth less than the thread that writes the next ones


def read_reports(path):
    """Every report kept, oldest first, as dictionaries."""
    db = sqlite3.connect(path, timeout=BUSY_SECONDS)
    db.row_factory = sqlite3.Row
    try:
        return [dict(r) for r in db.execute("SELECT * FROM reports ORDER BY id")]
    except sqlite3.OperationalError:
        return []
    finally:
        db.close()
