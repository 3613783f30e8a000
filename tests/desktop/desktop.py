# What the desktop tests share: a private X display's screen read back as
# pixels and words, real mouse events, and Windows programs of the product
# started under Wine in a prefix with the X11 driver. Every wait is bounded.
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

from PIL import Image, ImageOps

SCREEN = (1280, 1024)


class Failure(Exception):
    pass


def wait_for(what, timeout, step=0.25):
    """Calls what() until it gives something true or the time is up."""
    end = time.monotonic() + timeout
    while True:
        result = what()
        if result or time.monotonic() > end:
            return result
        time.sleep(step)


def screenshot(path):
    subprocess.run(["import", "-window", "root", path], check=True, timeout=30)
    return Image.open(path).convert("RGB")


def ocr_words(image, scale=4, invert=True):
    """Words read back from an image, with their boxes in the image's pixels.
    invert: the image shows light text on dark (dark text on light reads best)."""
    big = image.resize((image.width * scale, image.height * scale), Image.LANCZOS).convert("L")
    if invert:
        big = ImageOps.invert(big)
    with tempfile.NamedTemporaryFile(suffix=".png", delete=False) as f:
        big.save(f.name)
    try:
        out = subprocess.run(["tesseract", f.name, "-", "--psm", "6", "tsv"], capture_output=True, text=True,
                             timeout=60).stdout
    finally:
        os.unlink(f.name)
    words = []
    for line in out.splitlines()[1:]:
        cols = line.split("\t")
        if len(cols) == 12 and cols[11].strip():
            left, top, width, height = (int(c) // scale for c in cols[6:10])
            words.append((cols[11].strip(), left, top, width, height))
    return words


def normal(text):
    return re.sub(r"[^a-z0-9]+", " ", text.lower()).split()


def contains_phrase(words, phrase):
    """The phrase's words in a row among the words read."""
    read = [w for word in words for w in normal(word[0])]
    want = normal(phrase)
    return any(read[i:i + len(want)] == want for i in range(len(read) - len(want) + 1))


def word_box(words, text):
    """The centre of the first word read that contains the text, or None."""
    for word, left, top, width, height in words:
        if text.lower() in word.lower():
            return left + width // 2, top + height // 2
    return None


def check(condition, text):
    """Reports one expectation; its result, for adding up."""
    print(("ok    " if condition else "FAIL  ") + text, flush=True)
    return bool(condition)


def mouse(*args):
    subprocess.run(["xdotool"] + [str(a) for a in args], check=True, timeout=10)


def window_ids(name):
    out = subprocess.run(["xdotool", "search", "--name", name], capture_output=True, text=True, timeout=10).stdout
    return out.split()


TRAY_SLOT = 20  # an icon's square in Wine's notification-area window


def geometry(window):
    """The window's X, Y, WIDTH and HEIGHT on the screen."""
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], capture_output=True, text=True,
                         timeout=10).stdout
    return {k: int(v) for k, v in (line.split("=", 1) for line in out.split()) if k != "SCREEN"}


def tray_icon():
    """The centre of the first icon in Wine's notification area, or None."""
    trays = window_ids("Wine System Tray")
    box = geometry(trays[0]) if trays else None
    return box and (box["X"] + TRAY_SLOT // 2, box["Y"] + TRAY_SLOT // 2)


class Wine:
    """Programs in one Wine prefix with the X11 driver, on the current display."""

    def __init__(self, wine_run, prefix):
        prefix = os.path.abspath(prefix)
        # Debian's "wine" is the 32-bit loader whenever wine32 is installed;
        # where this machine cannot run it, 64-bit programs go to their own.
        can_run_32bit = os.path.join(os.path.dirname(wine_run), "can-run-32bit")
        self.loader = "wine" if subprocess.run([can_run_32bit]).returncode == 0 else "/usr/lib/wine/wine64"
        # wine-run makes the prefix (with its own short-lived display) once.
        subprocess.run([wine_run, "--prefix", prefix, "--x11", "cmd", "/c", "exit", "0"], check=True, timeout=300,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = dict(os.environ, WINEPREFIX=prefix + "-x11", WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.started = []
        # A persistent server, started with nothing of ours open: programs it
        # starts must not hold the pipes of the runs below.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-p"], env=self.env, timeout=30, **quiet)
        subprocess.run([self.loader, "cmd", "/c", "exit", "0"], env=self.env, timeout=120, **quiet)

    def start(self, *args):
        p = subprocess.Popen([self.loader] + list(args), env=self.env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.started.append(p)
        return p

    def run(self, *args, timeout=60):
        """Runs a program to its end; its output goes through files, never pipes."""
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            p = subprocess.run([self.loader] + list(args), env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                               stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(p.args, p.returncode, out.read(), err.read())

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=30)
        for p in self.started:
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                p.kill()


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class InstallFolder:
    """Engine.exe, Glancer.exe and their helpers in a folder of their own."""

    def __init__(self, bin_dir, name):
        self.path = tempfile.mkdtemp(prefix=name + "-", dir=os.environ.get("TMPDIR", "/tmp"))
        for program in ("Engine.exe", "Glancer.exe", "CONFIG.DLL", "twl.exe", "twldata.exe"):
            shutil.copy(os.path.join(bin_dir, program), self.path)
        shutil.copy(os.path.join(bin_dir, "standin.exe"), os.path.join(self.path, "browser.exe"))
        os.mkdir(self.file("Data"))

    def file(self, name):
        return os.path.join(self.path, name)

    def write(self, name, text):
        with open(self.file(name), "w", newline="") as f:
            f.write(text)

    def read(self, name):
        try:
            with open(self.file(name), errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def settings(self, **values):
        lines = ["[Tidewell Settings]"] + ["%s=%s" % kv for kv in values.items()]
        self.write("Tidewell.ini", "\r\n".join(lines) + "\r\n")

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def start_agent(folder, wine, database, **settings):
    """Makes the folder's data file from the database (as twldata reads it),
    writes the settings and starts the agent; a Failure unless it runs."""
    folder.write("db.json", json.dumps(database))
    made = wine.run(folder.file("twldata.exe"), "create", windows_path(folder.file("Data/Msg.dat")),
                    windows_path(folder.file("db.json")))
    if made.returncode != 0:
        raise Failure("twldata: " + made.stderr)
    folder.settings(**settings)
    wine.start(folder.file("Engine.exe"))
    if wine.run(folder.file("twl.exe"), "wait", "30").returncode != 0:
        raise Failure("the agent did not start")


def run_test(name, wine_run, prefix, bin_dir, steps):
    """Runs steps(folder, wine), which returns whether every check held, in a
    new install folder with a new Wine session; a Failure fails the test.
    The folder, with the screenshots, stays when anything failed."""
    folder = InstallFolder(bin_dir, name)
    wine = Wine(wine_run, prefix)
    ok = False
    try:
        ok = steps(folder, wine)
    except Failure as e:
        ok = check(False, str(e))
    finally:
        wine.stop()
        if ok:
            folder.remove()
        else:
            print("screenshots kept in " + folder.path)
    return 0 if ok else 1
