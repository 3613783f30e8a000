"""The feed gateway: RSS, Atom and JSON feeds as Tidewell subscriptions.

Importing the package loads nothing: each module brings in what it needs, so
that the local news service can take the BMP writer without feedparser.
"""

VERSION = "1.1"
