"""The WSGI application for gunicorn: `gunicorn -c tools/gateway/gunicorn.conf.py`.

It answers from the state that one fetcher (`gateway.py static`, from cron)
keeps; it never fetches a feed. Its settings come from the environment:

    TIDEWELL_GATEWAY_STATE     the state file (required)
    TIDEWELL_GATEWAY_OPML      the OPML file of the feeds
    TIDEWELL_GATEWAY_FEEDS     feed addresses besides, separated by blanks
    TIDEWELL_GATEWAY_BASE      the address agents reach (default: the one `static` keeps)
    TIDEWELL_GATEWAY_REPORTS   where usage reports go (default: the state file)
    TIDEWELL_GATEWAY_CODEPAGE  the agent's code page (default cp1252)
    TIDEWELL_GATEWAY_ADS, TIDEWELL_GATEWAY_QUOTES   as serve's --ads and --quotes
    TIDEWELL_GATEWAY_REFRESH   minutes, for a topic's schedule (default 30)
    TIDEWELL_GATEWAY_LOG       append errors here (default: standard error)

Each worker process builds the application at its first request.
"""

import atexit
import os
import threading

from .ads import Ads
from .catalogue import Catalogue
from .log import Log
from .service import Service, wsgi_application
from .state import BASE_SETTING, Reports, State
from .text import CodePage

PREFIX = "TIDEWELL_GATEWAY_"


def setting(name, default=None):
    return os.environ.get(PREFIX + name) or default


def build():
    """The application of this process, from the environment."""
    state = State(setting("STATE"))
    log = Log(setting("LOG"))
    base = setting("BASE") or state.setting(BASE_SETTING) or "http://127.0.0.1"
    catalogue = Catalogue(setting("OPML"), state, base, float(setting("REFRESH", "30")),
                          setting("FEEDS", "").split(), CodePage(setting("CODEPAGE", "cp1252")), log)
    reports = Reports(setting("REPORTS", setting("STATE")))
    atexit.register(reports.close)
    ads = Ads(setting("ADS"), state) if setting("ADS") else None
    return wsgi_application(Service(catalogue, reports, ads, setting("QUOTES"), log))


class _Lazy:
    """Builds the application at the first request, in the worker that answers it."""

    def __init__(self):
        self.built, self.lock = None, threading.Lock()

    def __call__(self, environ, start_response):
        if self.built is None:
            with self.lock:
                if self.built is None:
                    self.built = build()
        return self.built(environ, start_response)


application = _Lazy()
