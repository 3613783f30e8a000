"""The list of feeds: OPML files and addresses, their file names, and OPML for a feed reader."""

import re
import urllib.parse
import xml.etree.ElementTree as ElementTree

from .text import plain_text

NAME_CHARS = 40  # a file name's length before its number


class Source:
    """One feed the gateway follows: its file name, address, folder and name as the list gives them."""

    def __init__(self, name, url, folder, title, homepage="", hint=""):
        self.name, self.url, self.folder, self.title, self.homepage, self.hint = (
            name, url, folder, title, homepage, hint)
        self.topic = b""  # the topic's title in the agent's bytes, unique per gateway (see files.name_topics)


class Namer:
    """Unique names: the first of a base keeps it, the next ones get "-2", "-3", ... In linear time:
    each base remembers the number it reached."""

    def __init__(self, separator="-"):
        self.taken, self.reached, self.separator = set(), {}, separator

    def take(self, base, numbered=None):
        """base when it is free, else numbered(n) (default base + separator + n) for the first free n >= 2."""
        numbered = numbered or (lambda n: "%s%s%d" % (base, self.separator, n))
        name, n = base, self.reached.get(base, 1)
        while name in self.taken:
            n += 1
            name = numbered(n)
        self.reached[base] = n
        self.taken.add(name)
        return name


def file_base(title):
    return "-".join(re.findall(r"[a-z0-9]+", title.lower()))[:NAME_CHARS].strip("-") or "feed"


def outline_source(outline, folder, namer):
    """The outline's feed, or None for a folder (an outline without an address)."""
    url = (outline.get("xmlUrl") or outline.get("xmlurl") or "").strip()
    if not url:
        return None
    label = plain_text(outline.get("text") or outline.get("title") or "", False)
    title = label or urllib.parse.urlsplit(url).hostname or url
    return Source(namer.take(file_base(title)), url, folder, title, (outline.get("htmlUrl") or "").strip(),
                  plain_text(outline.get("description") or "", True))


def read_opml(path, addresses=(), namer=None):
    """The feeds of an OPML file (None: none) in document order, then those of the addresses, each with a
    file name of its own. Nesting of any depth is walked without recursion."""
    namer = namer or Namer()
    sources = []
    if path:
        root = ElementTree.parse(path).getroot()
        body = root.find("body")
        stack = [(iter(body if body is not None else root), "")]
        while stack:
            children, folder = stack[-1]
            outline = next(children, None)
            if outline is None:
                stack.pop()
            elif outline.tag == "outline":
                source = outline_source(outline, folder, namer)
                if source:
                    sources.append(source)
                else:
                    folder = plain_text(outline.get("text") or outline.get("title") or "", False) or folder
                stack.append((iter(outline), folder))
    for url in addresses:
        sources.append(outline_source(ElementTree.Element("outline", xmlUrl=url), "", namer))
    return sources


def opml_document(sources, addresses, title="Tidewell gateway feeds"):
    """OPML 2.0 of the sources, folders as outlines; addresses maps a feed's name to the address it is
    fetched from now (after a permanent move or discovery), when that differs from the list's."""
    root = ElementTree.Element("opml", version="2.0")
    ElementTree.SubElement(ElementTree.SubElement(root, "head"), "title").text = title
    body = ElementTree.SubElement(root, "body")
    folders = {}
    for source in sources:
        parent = body
        if source.folder:
            if source.folder not in folders:
                folders[source.folder] = ElementTree.SubElement(body, "outline", text=source.folder)
            parent = folders[source.folder]
        attributes = {"type": "rss", "text": source.title, "title": source.title,
                      "xmlUrl": addresses.get(source.name) or source.url}
        if source.homepage:
            attributes["htmlUrl"] = source.homepage
        if source.hint:
            attributes["description"] = source.hint
        ElementTree.SubElement(parent, "outline", attributes)
    ElementTree.indent(root)
    return ElementTree.tostring(root, encoding="utf-8", xml_declaration=True) + b"\n"
