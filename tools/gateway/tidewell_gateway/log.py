"""The gateway's log: one stamped line an event, from any thread."""

import sys
import threading
import time


class Log:
    def __init__(self, path=None):
        """Appends to the file at path, or writes to standard error."""
        self.file = open(path, "a", encoding="utf-8") if path else sys.stderr
        self.lock = threading.Lock()

    def __call__(self, line):
        with self.lock:
            self.file.write("%.3f %s\n" % (time.time(), line))
            self.file.flush()
