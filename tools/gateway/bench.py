#!/usr/bin/python3
"""The gateway under load, side by side in one run: `serve` alone, and nginx
serving the `static` files with the WSGI application under gunicorn behind
it, at 10, 50 and 200 concurrent connections. Each step runs two Debian
`wrk` clients at once for the same time: the agents' mix of feed requests
(70 % with the newest number already held, 20 % a few behind, 10 % from
zero; a connection per request, as the agent makes) and usage reports at
about 300 a second. Prints one Markdown table.

    tools/gateway/bench.py [--seconds 10] [--feeds 50] [--connections 10,50,200]

Everything runs on loopback and stops by itself; nothing is left behind.
"""

import argparse
import os
import re
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import loopback  # noqa: E402 (found through the line above)

GATEWAY_PY = os.path.join(HERE, "gateway.py")
ITEMS = 100  # items a feed holds, as many as the gateway keeps
REPORT_CONNECTIONS = 12
REPORT_PAUSE_MS = 30  # a connection's pause between reports: about 300 reports a second in all
SHARES = (70, 20, 10)  # newest held, a few behind, from zero
REPORT_BODY = "http://127.0.0.1/Feed/AdStream3/AdStream.twl=1:4+2:0+3:1"
SLACK_SECONDS = 120  # a server's lifetime beyond what the runs need

MIX_LUA = """
local feeds = {%s}
local newest, few_behind = %d, %d
request = function()
  local feed = feeds[math.random(#feeds)]
  local roll, have = math.random(100), 0
  if roll <= newest then have = feed[2]
  elseif roll <= newest + few_behind then have = feed[2] - math.random(1, 5) end
  return wrk.format("GET", "/feeds/" .. feed[1] .. ".twl?Update&Have=" .. have .. "&AID=bench",
                    {["Connection"] = "close"})
end
"""
REPORT_LUA = """
request = function()
  return wrk.format("POST", "/Bin/Update.dll?TwlUpdate&AID=bench" .. math.random(1000000) ..
                    "&SID=1&SL=60&VER=1.1.1043.1", {["Connection"] = "close"}, "%s")
end
delay = function() return %d end
"""


def feed_document(n):
    items = "".join("<item><title>Feed %d headline number %d about the harbour and the weather</title>"
                    "<link>http://example.test/%d/%d.html</link><guid>f%d-%d</guid></item>"
                    % (n, i, n, i, n, i) for i in range(ITEMS))
    return ('<?xml version="1.0"?><rss version="2.0"><channel><title>Feed %d</title>'
            "<link>http://example.test/%d/</link><description>d</description>%s</channel></rss>" % (n, n, items))


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = tempfile.mkdtemp(prefix="tidewell-gateway-bench-")
        os.chmod(self.work, 0o755)  # nginx's workers may run as another user
        self.processes = []
        self.lifetime = int(len(args.connections) * 2 * (args.seconds + 5) + SLACK_SECONDS)

    def start(self, command, name, env=None):
        log = open(os.path.join(self.work, name + ".log"), "w")
        self.processes.append(subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, env=env))

    def stop(self):
        for process in self.processes:
            process.terminate()
        for process in self.processes:
            process.wait(10)
        shutil.rmtree(self.work, True)

    def feeds(self):
        """Writes the feeds and their OPML, starts their web server; gives the OPML's path."""
        folder = os.path.join(self.work, "origin")
        os.makedirs(folder)
        outlines = []
        port = free_port()
        for n in range(self.args.feeds):
            with open(os.path.join(folder, "feed%d.xml" % n), "w") as f:
                f.write(feed_document(n))
            outlines.append('<outline text="Feed %d" xmlUrl="http://127.0.0.1:%d/feed%d.xml"/>' % (n, port, n))
        path = os.path.join(self.work, "feeds.opml")
        with open(path, "w") as f:
            f.write('<opml version="2.0"><body><outline text="News">%s</outline></body></opml>' % "".join(outlines))
        self.start(["timeout", str(self.lifetime), sys.executable, "-m", "http.server", "--bind", "127.0.0.1",
                    "--directory", folder, str(port)], "origin")
        loopback.wait_listening(port)
        return path

    def serve(self, opml):
        port = free_port()
        self.start(["timeout", "-k", "5", str(self.lifetime), "/usr/bin/python3", GATEWAY_PY, "serve", "--opml", opml,
                    "--port", str(port), "--state", os.path.join(self.work, "serve.sqlite3"), "--log",
                    os.path.join(self.work, "serve-requests.log"), "--lifetime", str(self.lifetime - 10)], "serve")
        loopback.wait_listening(port)
        return port

    def production(self, opml):
        port, app_port = free_port(), free_port()
        state, root = os.path.join(self.work, "static.sqlite3"), os.path.join(self.work, "www")
        subprocess.run(["/usr/bin/python3", GATEWAY_PY, "static", "--opml", opml, "--state", state, "--out",
                        os.path.join(root, "feeds"), "--base", "http://127.0.0.1:%d" % port, "--log",
                        os.path.join(self.work, "static.log")], check=True, timeout=120)
        env = dict(os.environ, TIDEWELL_GATEWAY_STATE=state, TIDEWELL_GATEWAY_OPML=opml,
                   TIDEWELL_GATEWAY_LOG=os.path.join(self.work, "app-errors.log"))
        self.start(loopback.gunicorn_command("127.0.0.1:%d" % app_port, self.lifetime), "gunicorn", env)
        self.start(loopback.nginx_command(os.path.join(self.work, "nginx"), port, root, "127.0.0.1:%d" % app_port,
                                          self.lifetime), "nginx")
        loopback.wait_listening(app_port)
        loopback.wait_listening(port)
        return port

    def reports_kept(self, subject):
        path = os.path.join(self.work, "serve.sqlite3" if subject == "serve" else "static.sqlite3")
        with sqlite3.connect(path, timeout=30) as db:
            return db.execute("SELECT COUNT(*) FROM reports").fetchone()[0]

    def scripts(self, name, port):
        """Writes the two wrk scripts for the server on port, once every feed has its items."""
        feeds = []
        for n in range(self.args.feeds):
            newest = 0
            for _ in range(100):
                with urllib.request.urlopen("http://127.0.0.1:%d/feeds/feed-%d.twl" % (port, n), timeout=10) as f:
                    numbers = [int(m) for m in re.findall(rb"\r\nMsg([0-9]+)=", f.read())]
                if len(numbers) == ITEMS:
                    newest = max(numbers)
                    break
                time.sleep(0.2)
            feeds.append('{"feed-%d", %d}' % (n, newest))
        mix, report = os.path.join(self.work, name + "-mix.lua"), os.path.join(self.work, name + "-report.lua")
        with open(mix, "w") as f:
            f.write(MIX_LUA % (", ".join(feeds), SHARES[0], SHARES[1]))
        with open(report, "w") as f:
            f.write(REPORT_LUA % (REPORT_BODY, REPORT_PAUSE_MS))
        return mix, report

    def run(self, port, mix, report, connections):
        """(feed figures, report figures) of one step: both clients at once."""
        seconds = "%ds" % self.args.seconds
        url = "http://127.0.0.1:%d/" % port
        feeds = subprocess.Popen(["wrk", "-t", "2", "-c", str(connections), "-d", seconds, "--timeout", "10s",
                                  "--latency", "-s", mix, url], stdout=subprocess.PIPE, text=True)
        reports = subprocess.Popen(["wrk", "-t", "1", "-c", str(REPORT_CONNECTIONS), "-d", seconds, "--timeout",
                                    "10s", "--latency", "-s", report, url], stdout=subprocess.PIPE, text=True)
        limit = self.args.seconds + 60
        return figures(feeds.communicate(timeout=limit)[0]), figures(reports.communicate(timeout=limit)[0])


def figures(output):
    """Rate, median and 99th percentile (ms) and failures from wrk's --latency output."""
    def number(pattern, default=0.0):
        found = re.search(pattern, output)
        return float(found.group(1)) if found else default

    def milliseconds(label):
        found = re.search(r"\b%s%%\s+([0-9.]+)(us|ms|s)\b" % label, output)
        if not found:
            return float("nan")
        return float(found.group(1)) * {"us": 0.001, "ms": 1, "s": 1000}[found.group(2)]
    errors = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", output)
    return {"rate": number(r"Requests/sec:\s+([0-9.]+)"), "p50": milliseconds("50"), "p99": milliseconds("99"),
            "count": int(number(r"(\d+) requests in")),
            "connect": int(errors.group(1)) if errors else 0,
            "other": sum(map(int, errors.groups()[1:])) if errors else 0,
            "non2xx": int(number(r"Non-2xx or 3xx responses: (\d+)"))}


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def row(subject, connections, feeds, reports):
    return ("| %s | %d | %.0f | %.1f | %.1f | %.0f | %.1f | %d | %d |" % (
        subject, connections, feeds["rate"], feeds["p50"], feeds["p99"], reports["rate"], reports["p99"],
        feeds["connect"] + reports["connect"],
        feeds["other"] + reports["other"] + feeds["non2xx"] + reports["non2xx"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=int, default=10, help="each step's length (default 10)")
    parser.add_argument("--feeds", type=int, default=50, help="feeds of 100 items each (default 50)")
    parser.add_argument("--connections", default="10,50,200", type=lambda s: [int(c) for c in s.split(",")])
    args = parser.parse_args()
    for program in ("wrk", loopback.NGINX, loopback.GUNICORN):
        if not shutil.which(program):
            sys.exit("bench: %s is missing (scripts/setup installs it)" % program)
    bench = Bench(args)
    try:
        opml = bench.feeds()
        subjects = [("serve", bench.serve(opml)), ("nginx + gunicorn", bench.production(opml))]
        prepared = [(name, port) + bench.scripts(name.split()[0], port) for name, port in subjects]
        print("Run of %s on %d cores, load %.1f at the start; %d feeds of %d items; %d s a step"
              % (time.strftime("%Y-%m-%d %H:%M %Z"), os.cpu_count(), os.getloadavg()[0], args.feeds, ITEMS,
                 args.seconds))
        print()
        print("| Subject | Connections | Feed answers/s | p50 ms | p99 ms | Reports/s | Report p99 ms |"
              " Failed connections | Other errors |")
        print("| --- | --- | --- | --- | --- | --- | --- | --- | --- |")
        answered = {name: 0 for name, _ in subjects}
        for connections in args.connections:
            for name, port, mix, report in prepared:
                feeds, reports = bench.run(port, mix, report, connections)
                answered[name] += reports["count"] - reports["non2xx"]
                print(row(name, connections, feeds, reports), flush=True)
        time.sleep(2)  # the last batch of reports is written
        print()
        print("Reports answered and kept: " + "; ".join(
            "%s %d and %d" % (name, answered[name], bench.reports_kept(name)) for name, _ in subjects))
    finally:
        bench.stop()


if __name__ == "__main__":
    main()
