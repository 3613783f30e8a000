"""gunicorn's settings for the gateway's WSGI application (tidewell_gateway/wsgi.py):

    TIDEWELL_GATEWAY_STATE=/srv/tidewell/gateway.sqlite3 TIDEWELL_GATEWAY_OPML=/srv/tidewell/feeds.opml \\
        gunicorn -c tools/gateway/gunicorn.conf.py

with Debian's gunicorn (package gunicorn). Behind nginx (nginx.conf here);
--bind, --workers and the rest override these on the command line.
"""

import multiprocessing
import os

pythonpath = os.path.dirname(os.path.abspath(__file__))
wsgi_app = "tidewell_gateway.wsgi:application"
bind = "127.0.0.1:8651"
workers = 2 * multiprocessing.cpu_count() + 1
worker_class = "gthread"  # threads keep nginx's connections alive between requests
threads = 4
backlog = 2048
timeout = 30
graceful_timeout = 10
keepalive = 5
