#!/usr/bin/python3
"""gateway: turns the RSS, Atom and JSON feeds of an OPML file into Tidewell subscriptions.

    gateway.py serve --opml FEEDS.opml --port PORT --state STATE.sqlite3 [--host 127.0.0.1] [--refresh MINUTES]
    gateway.py subscriptions --opml FEEDS.opml --base http://HOST:PORT --out DIR
    gateway.py static --opml FEEDS.opml --state STATE.sqlite3 --out DIR [--base URL]
    gateway.py opml --opml FEEDS.opml [--state STATE.sqlite3] [--out FILE]

--feed URL (repeatable) adds a feed, or a web page naming one, besides or
instead of --opml. The code lives in the package tidewell_gateway beside
this file; docs/gateway.md describes it. Runs with Debian's /usr/bin/python3
(python3-feedparser, python3-pil).
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from tidewell_gateway.commands import main  # noqa: E402 (found through the line above)

if __name__ == "__main__":
    sys.exit(main())
