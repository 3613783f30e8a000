"""Subscription files: the topic a feed becomes, its messages, and writing files for a web server."""

import os
import re
import tempfile
import urllib.parse

from .limits import HINT_BYTES, SCHEDULE_MINUTES, TOPIC_TITLE_BYTES, TOPIC_URL_BYTES
from .opml import Namer
from .text import message_value, web_link

DEFAULT_FOLDER = "News"

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


def category_number(folder):
    words = set(re.findall(r"[a-z]+", folder.lower()))
    for number, names in CATEGORIES.items():
        if folder.lower().strip() in names or words.intersection(names):
            return number
    return 0


def name_topics(sources, codepage):
    """Gives each source its topic title, "FOLDER / NAME" in the code page's bytes, unique among them
    (the agent finds a topic by its title): a repeat gets " (2)", " (3)", ... in list order, so that
    the same list gives the same titles every run."""
    namer = Namer()
    for source in sources:
        text = "%s / %s" % (source.folder or DEFAULT_FOLDER, source.title)
        base = codepage.fit(text, TOPIC_TITLE_BYTES)

        def numbered(n, text=text):
            suffix = b" (%d)" % n
            return codepage.fit(text, TOPIC_TITLE_BYTES - len(suffix)) + suffix
        source.topic = namer.take(base, numbered)
    return sources


def schedule(row, refresh):
    minutes = row.get("period") or min(max(int(refresh), SCHEDULE_MINUTES[0]), SCHEDULE_MINUTES[1])
    return b"Schedule=Interval %d" % minutes


def topic_lines(source, row, base, refresh, codepage):
    """The subscription section's topic fields, as bytes lines."""
    row = row or {}
    hint = codepage.fit(row.get("hint") or source.hint or row.get("title") or "", HINT_BYTES)
    homepage = web_link(source.homepage, None) or row.get("homepage") or ""
    return [b"Title=" + source.topic, b"Hint=" + hint,
            b"HomepageUrl=" + (homepage if len(homepage) <= TOPIC_URL_BYTES else "").encode("ascii"),
            b"ConfigUrl=" + ("%s/feeds/%s.twl" % (base.rstrip("/"), source.name)).encode("ascii", "replace"),
            b"MsgBaseUrl=", b"Category=%d" % category_number(source.folder), schedule(row, refresh)]


def subscription_file(source, row, items, have, base, refresh, codepage):
    """A whole subscription file: the topic, the range of the items held now and those above have."""
    numbers = [n for n, _, _ in items]
    lines = [b"[General]", b"ConfigVersion=1", b"", b"[Subscription1]"]
    lines += topic_lines(source, row, base, refresh, codepage)
    lines.append(b"MsgRange=%d-%d" % (min(numbers), max(numbers)) if numbers else b"MsgRange=0-0")
    lines.append(b"PurgeOutOfRange=True")
    for number, headline, link in items:
        if number > have:
            lines.append(b"Msg%d=%s" % (number, message_value(link, headline, codepage).encode("ascii")))
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
