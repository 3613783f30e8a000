"""The command line: serve, subscriptions, static and opml."""

import argparse
import os
import signal
import sys
import threading
import time

from .ads import Ads
from .catalogue import Catalogue
from .log import Log
from .refresher import UP_TO_DATE, Gateway
from .service import Service, listen
from .state import BASE_SETTING, Reports, State
from .text import CODEPAGES, DEFAULT_CODEPAGE, CodePage, codepage_name

FAILED = 1
USAGE = 2
SERVE_TICK_SECONDS = 1.0


def gateway_for(args, state, base, log):
    return Gateway(args.opml, state, base, args.refresh, args.timeout, args.max_bytes, args.workers, log,
                   args.feed, CodePage(args.codepage))


def serve(args):
    state = State(args.state)
    base = args.base or "http://%s:%d" % (args.host, args.port)
    log = Log(args.log)
    gateway = gateway_for(args, state, base, log)
    reports = Reports(args.reports or args.state, args.keep_reports)
    service = Service(gateway, reports, Ads(args.ads, state) if args.ads else None, args.quotes, log)
    servers = [listen(service, args.host, port) for port in (args.port, args.quote_port) if port is not None]
    stopped = threading.Event()
    signal.signal(signal.SIGINT, lambda *_: stopped.set())
    signal.signal(signal.SIGTERM, lambda *_: stopped.set())
    log("gateway serving %d feeds at %s" % (len(gateway.sources), base))
    deadline = time.monotonic() + args.lifetime if args.lifetime else None
    while not stopped.is_set() and not (deadline and time.monotonic() > deadline):
        gateway.refresh_due()
        stopped.wait(SERVE_TICK_SECONDS)
    for server in servers:
        server.shutdown()
        server.server_close()
    gateway.close()
    reports.close()
    log("gateway stopped")
    return 0


def subscriptions(args):
    catalogue = Catalogue(args.opml, None, args.base, args.refresh, args.feed, CodePage(args.codepage))
    catalogue.write_files(args.out)
    for name in catalogue.sources:
        print(os.path.join(args.out, name + ".twl"))
    return 0


def static(args):
    state = State(args.state)
    base = args.base or state.setting(BASE_SETTING)
    if not base:
        print("gateway: --base is needed once (the address the files are served from)", file=sys.stderr)
        return USAGE
    state.setting(BASE_SETTING, base)
    gateway = gateway_for(args, state, base, Log(args.log))
    outcomes = gateway.refresh_all()
    gateway.write_files(args.out)
    gateway.close()
    state.close()
    behind = sorted("%s (%s)" % (name, outcome) for name, outcome in outcomes.items() if outcome not in UP_TO_DATE)
    if behind:
        print("gateway: not brought up to date: %s" % ", ".join(behind), file=sys.stderr)
        return FAILED
    return 0


def opml(args):
    state = State(args.state) if args.state else None
    catalogue = Catalogue(args.opml, state, "http://127.0.0.1", addresses=args.feed)
    document = catalogue.opml_export()
    if args.out:
        with open(args.out, "wb") as f:
            f.write(document)
    else:
        sys.stdout.buffer.write(document)
    return 0


def feed_list(command):
    command.add_argument("--opml", help="the OPML file of the feeds to follow")
    command.add_argument("--feed", action="append", default=[], metavar="URL",
                         help="a feed to follow besides (or a web page naming one); may be repeated")


def fetching(command):
    feed_list(command)
    command.add_argument("--state", required=True)
    command.add_argument("--refresh", type=float, default=30, help="minutes between fetches (default 30)")
    command.add_argument("--timeout", type=float, default=20, help="seconds a feed may take in all (default 20)")
    command.add_argument("--max-bytes", type=int, default=4 << 20, help="size cap of a feed (default 4 MiB)")
    command.add_argument("--workers", type=int, default=8, help="feeds fetched at once (default 8)")
    command.add_argument("--log", help="append the log here (default: standard error)")
    codepage(command)


def codepage(command):
    command.add_argument("--codepage", type=codepage_argument, default=DEFAULT_CODEPAGE,
                         help="the Windows code page of the agent's users (%s; default %s)"
                         % (", ".join(CODEPAGES), DEFAULT_CODEPAGE))


def codepage_argument(text):
    try:
        return codepage_name(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error))


def parser():
    made = argparse.ArgumentParser(description="Turns RSS, Atom and JSON feeds into Tidewell subscriptions.")
    commands = made.add_subparsers(dest="command", required=True)

    serve_command = commands.add_parser("serve", help="fetch the feeds and answer the agent")
    fetching(serve_command)
    serve_command.add_argument("--port", type=int, required=True)
    serve_command.add_argument("--host", default="127.0.0.1")
    serve_command.add_argument("--base", help="the address agents reach (default http://HOST:PORT)")
    serve_command.add_argument("--reports", help="the SQLite file for usage reports (default: the state file)")
    serve_command.add_argument("--keep-reports", type=int, default=1000000, help="newest reports kept (1000000)")
    serve_command.add_argument("--ads", help="a folder of images to serve as the ad stream")
    serve_command.add_argument("--quotes", help="a CSV file of quotes (symbol,last,change[,date,time,...])")
    serve_command.add_argument("--quote-port", type=int, help="a second port for the quote requests")
    serve_command.add_argument("--lifetime", type=float, help="stop by itself after this many seconds")

    subscriptions_command = commands.add_parser("subscriptions", help="write a subscription file per feed")
    feed_list(subscriptions_command)
    subscriptions_command.add_argument("--base", required=True)
    subscriptions_command.add_argument("--out", required=True)
    subscriptions_command.add_argument("--refresh", type=float, default=30)
    codepage(subscriptions_command)

    static_command = commands.add_parser("static", help="fetch once and write the files for a web server")
    fetching(static_command)
    static_command.add_argument("--out", required=True)
    static_command.add_argument("--base", help="the address the files are served from (kept in the state)")

    opml_command = commands.add_parser("opml", help="write OPML of the feeds followed, for a feed reader")
    feed_list(opml_command)
    opml_command.add_argument("--state", help="the state, for the addresses feeds moved to or were found at")
    opml_command.add_argument("--out", help="the file to write (default: standard output)")
    return made


def main(argv=None):
    made = parser()
    args = made.parse_args(argv)
    if not args.opml and not args.feed:
        made.error("name the feeds: --opml FILE, --feed URL or both")
    return {"serve": serve, "subscriptions": subscriptions, "static": static, "opml": opml}[args.command](args)
