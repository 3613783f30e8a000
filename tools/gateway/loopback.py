#!/usr/bin/python3
"""The production pair on one machine, for the tests and the benchmark: nginx with the shipped
server block (nginx.conf) and gunicorn with the shipped settings (gunicorn.conf.py), each in the
foreground under a time limit, its files in a folder of its own.

    loopback.py nginx PREFIX PORT ROOT APP LIFETIME     runs nginx until LIFETIME seconds have passed
"""

import os
import shutil
import socket
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
NGINX_SITE = os.path.join(HERE, "nginx.conf")
GUNICORN_CONF = os.path.join(HERE, "gunicorn.conf.py")
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"
GUNICORN = shutil.which("gunicorn") or "/usr/bin/gunicorn"
MAIN = """daemon off;
pid {prefix}/nginx.pid;
error_log {prefix}/error.log;
worker_processes auto;
events {{ worker_connections 4096; }}
http {{
access_log off;
client_body_temp_path {prefix}/tmp;
proxy_temp_path {prefix}/tmp;
fastcgi_temp_path {prefix}/tmp;
uwsgi_temp_path {prefix}/tmp;
scgi_temp_path {prefix}/tmp;
{site}
}}
"""


def nginx_config(prefix, port, root, app):
    """Writes a whole nginx configuration around the shipped server block; gives its path."""
    os.makedirs(os.path.join(prefix, "tmp"), exist_ok=True)
    with open(NGINX_SITE) as f:
        site = f.read().replace("@PORT@", str(port)).replace("@ROOT@", root).replace("@APP@", app)
    path = os.path.join(prefix, "nginx.conf")
    with open(path, "w") as f:
        f.write(MAIN.format(prefix=prefix, site=site))
    return path


def nginx_command(prefix, port, root, app, lifetime):
    return ["timeout", "-k", "5", str(lifetime), NGINX, "-p", prefix, "-c",
            nginx_config(prefix, port, root, app)]


def gunicorn_command(bind, lifetime, *options):
    return ["timeout", "-k", "5", str(lifetime), GUNICORN, "-c", GUNICORN_CONF, "--bind", bind] + list(options)


def wait_listening(port, seconds=20):
    """True once something accepts on 127.0.0.1:port, False when seconds passed first."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return True
        time.sleep(0.1)
    return False


if __name__ == "__main__":
    if len(sys.argv) != 7 or sys.argv[1] != "nginx":
        sys.exit(__doc__)
    os.execvp("timeout", nginx_command(*sys.argv[2:7]))
