"""The feeds one gateway follows, read again when their list changes, and their subscription files."""

import os
import xml.etree.ElementTree as ElementTree

from .files import name_topics, subscription_file, write_atomically
from .opml import opml_document, read_opml
from .text import CodePage


class Catalogue:
    """The feeds of an OPML file (or None) and of addresses, named, with their state (None: a catalogue
    of empty topics). log: a callable taking a line, or None."""

    def __init__(self, opml, state, base, refresh=30, addresses=(), codepage=None, log=None):
        self.opml, self.state, self.base, self.refresh = opml, state, base, refresh
        self.addresses = list(addresses)
        self.codepage = codepage or CodePage()
        self.log = log or (lambda line: None)
        self.opml_stamp = None
        self.sources = {}
        self.reload()

    def reload(self):
        """Reads the OPML file again when it changed; a broken file leaves the feeds as they were."""
        try:
            stamp = os.stat(self.opml).st_mtime_ns if self.opml else None
            if stamp != self.opml_stamp or not self.sources:
                sources = name_topics(read_opml(self.opml, self.addresses), self.codepage)
                self.sources = {s.name: s for s in sources}
                self.opml_stamp = stamp
        except (OSError, ElementTree.ParseError) as error:
            self.log("opml %s: %s" % (self.opml, error))

    def subscription(self, name, have):
        """The feed's subscription file with the messages above have, or None for an unknown name."""
        source = self.sources.get(name)
        if source is None:
            return None
        row, items = (self.state.feed(name), self.state.items(name)) if self.state else (None, [])
        return subscription_file(source, row, items, have, self.base, self.refresh, self.codepage)

    def write_files(self, folder):
        os.makedirs(folder, exist_ok=True)
        for name in self.sources:
            write_atomically(os.path.join(folder, name + ".twl"), self.subscription(name, 0))

    def opml_export(self):
        """OPML of the feeds, each at the address it is fetched from now."""
        return opml_document(self.sources.values(), self.state.addresses() if self.state else {})
