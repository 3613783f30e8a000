"""Text for the agent: one-line plain text, a Windows code page's bytes, records' limits, web links."""

import functools
import html.parser
import re
import unicodedata
import urllib.parse

from .limits import HEADLINE_BYTES, LINK_BYTES, MSG_VALUE_BYTES

DEFAULT_CODEPAGE = "cp1252"
# The Windows code pages the agent's users' systems show; cp932 to cp950 have characters of two bytes.
CODEPAGES = ("cp874", "cp932", "cp936", "cp949", "cp950", "cp1250", "cp1251", "cp1252", "cp1253", "cp1254",
             "cp1255", "cp1256", "cp1257", "cp1258")
ELLIPSIS = "\u2026"

# Tags that end a line of text: they become a blank; every other tag (b, i, a, span, ...) becomes nothing.
BLOCK_TAGS = frozenset("address article aside blockquote br dd div dl dt figcaption figure footer h1 h2 h3 h4 h5 h6 "
                       "header hr img li main nav ol p pre section table tbody td tfoot th thead tr ul".split())

# Characters a code page may lack, written as their nearest plain form.
PLAIN = {
    "\u2010": "-", "\u2011": "-", "\u2012": "-", "\u2013": "-", "\u2014": "-", "\u2015": "-", "\u2212": "-",
    "\u2043": "-", "\u2032": "'", "\u2033": '"', "\u2018": "'", "\u2019": "'", "\u201a": ",", "\u201b": "'",
    "\u201c": '"', "\u201d": '"', "\u201e": '"', "\u02bb": "'", "\u02bc": "'", "\u02b9": "'", "\u02ba": '"',
    "\u2039": "<", "\u203a": ">", "\u2024": ".", "\u2025": "..", "\u2026": "...", "\u2044": "/", "\u2215": "/",
    "\u00a0": " ", "\u2002": " ", "\u2003": " ", "\u2009": " ", "\u200a": " ", "\u202f": " ",
    "\u0141": "L", "\u0142": "l", "\u0110": "D", "\u0111": "d", "\u0131": "i", "\u0127": "h",
    "\u0126": "H", "\u2116": "No", "\u2122": "TM", "\u2190": "<-", "\u2192": "->", "\u2194": "<->",
    "\u2264": "<=", "\u2265": ">=", "\u2260": "!=", "\u2248": "~",
}


class _TextOnly(html.parser.HTMLParser):
    """Collects the text of an HTML fragment; block tags become blanks, inline tags nothing."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []

    def handle_data(self, data):
        self.parts.append(data)

    def handle_starttag(self, tag, attrs):
        self.handle_endtag(tag)

    def handle_endtag(self, tag):
        if tag in BLOCK_TAGS:
            self.parts.append(" ")


def strip_markup(text):
    parser = _TextOnly()
    parser.feed(text)
    parser.close()
    return "".join(parser.parts)


def plain_text(text, is_html):
    """Readable one-line text: markup stripped, entities resolved, composed (NFC), invisible
    characters dropped, white space collapsed to single blanks."""
    if not text:
        return ""
    if is_html:
        text = strip_markup(text)
    text = unicodedata.normalize("NFC", text)
    kept = []
    for char in text:
        category = unicodedata.category(char)
        if category in ("Cc", "Zl", "Zp"):
            kept.append(" ")
        elif category != "Cf":  # zero-width spaces and joiners, soft hyphens, direction marks
            kept.append(char)
    return " ".join("".join(kept).split())


def codepage_name(name):
    """The codec of a Windows code page given as "cp1251", "windows-1251" or "1251"; ValueError otherwise."""
    digits = re.sub(r"^(cp|windows-?)", "", name.strip().lower())
    codec = "cp" + digits
    if codec not in CODEPAGES:
        raise ValueError("not a Windows code page the agent shows: %s (one of %s)" % (name, ", ".join(CODEPAGES)))
    return codec


class CodePage:
    """Text as the bytes of one Windows code page: what the agent's users' systems show."""

    def __init__(self, name=DEFAULT_CODEPAGE):
        self.codec = codepage_name(name)
        self.charset = "windows-" + self.codec[2:]
        self.ellipsis = self.char_bytes(ELLIPSIS)

    def char_bytes(self, char):
        """One character's bytes; a character the code page lacks gets its plain form, a lone accent
        nothing, anything else "?"."""
        return _char_bytes(self.codec, char)

    def encode(self, text):
        return b"".join(self.char_bytes(c) for c in text)

    def fit(self, text, limit):
        """The text's bytes, at most limit of them: when it must be cut, at a blank (if one is in
        its second half) and with an ellipsis; never inside a character of two bytes."""
        pieces = [self.char_bytes(c) for c in text]
        if sum(map(len, pieces)) <= limit:
            return b"".join(pieces)
        room, kept, blank = limit - len(self.ellipsis), [], None
        size = 0
        for piece in pieces:
            if size + len(piece) > room:
                break
            if piece == b" ":
                blank = len(kept)
            kept.append(piece)
            size += len(piece)
        if blank is not None and blank > len(kept) // 2:
            kept = kept[:blank]
        return b"".join(kept).rstrip() + self.ellipsis


@functools.lru_cache(maxsize=65536)
def _char_bytes(codec, char):
    for form in (char, PLAIN.get(char)):
        if form is not None:
            try:
                return form.encode(codec)
            except UnicodeEncodeError:
                pass
    bare = "".join(c for c in unicodedata.normalize("NFKD", char) if not unicodedata.combining(c))
    if not bare and unicodedata.combining(char):
        return b""
    try:
        return bare.encode(codec) if bare else b"?"
    except UnicodeEncodeError:
        return b"?"


def headline_entities(data):
    """A headline in the form the agent decodes: ASCII, with &#N; for every byte above 127."""
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


def message_value(link, headline, codepage):
    """The value of a message line: the link, a blank and the quoted headline, within the agent's limits."""
    room = MSG_VALUE_BYTES - len(link) - 3
    limit = HEADLINE_BYTES
    encoded = headline_entities(codepage.fit(headline, limit))
    while len(encoded) > room and limit > 0:
        limit -= 1
        encoded = headline_entities(codepage.fit(headline, limit))
    return '%s "%s"' % (link, encoded)


def web_link(link, base):
    """An absolute http(s) link in ASCII (fragment kept) that fits the agent, or "" when there is none."""
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
                                    urllib.parse.quote(parts.query, safe=safe),
                                    urllib.parse.quote(parts.fragment, safe=safe)))
    return link if len(link) <= LINK_BYTES else ""
