# The ticker on a real X desktop, read back by OCR: headlines, quotes and an ad;
# a real click opens a headline; keys work it without the mouse; an empty,
# offline bar says why, and so does a bar whose topic fails; at 144 dpi it grows.
#
#   glancer_desktop_test.py WINE_RUN PREFIX BIN_DIR   (under xvfb-run, 1280x1024x24)
import sys
import time

from PIL import Image

from desktop import (SCREEN, Failure, check, contains_phrase, geometry, mouse, ocr_words, run_test, screenshot,
                     start_agent, wait_for, window_ids, windows_path, word_box)

BAR = 28
AD_COLOUR = (13, 200, 77)
HEADLINES = ["Gale warning for the outer banks", "Lighthouse keeper retires"]
NOW = int(time.time())  # messages of 1970 would expire at once
DATABASE = {
    "topics": [
        {"Title": "News / Harbour", "bActive": 1, "tmLastUpdate": NOW, "dwInterval": 86400,
         "ConfigUrl": "http://127.0.0.1:9/harbour.twl",
         "messages": [{"ridMsg": 1, "Title": HEADLINES[0], "Url": "http://127.0.0.1/harbour/gale.html",
                       "tmReceived": NOW},
                      {"ridMsg": 2, "Title": HEADLINES[1], "Url": "http://127.0.0.1/harbour/keeper.html",
                       "tmReceived": NOW}]},
        {"dwType": 3, "Title": "Stocks", "bActive": 1, "tmLastUpdate": NOW, "dwInterval": 86400,
         "messages": [{"ridMsg": 1, "Title": "TIDE;94 1/8;+0.000;6:19PM"},
                      {"ridMsg": 2, "Title": "ABC;112 1/2;-0 3/8;4:01PM"}]},
        {"dwType": 4, "Title": "adstream", "bActive": 1,
         "messages": [{"ridMsg": 1, "Title": "A0000001.bmp", "Url": "http://127.0.0.1/ad/1", "tmReceived": NOW}]},
    ],
}
# Quotes as a trader reads them (OCR reads "1/8" as "1 8").
QUOTES = ["TIDE 94 1/8 unch", "ABC 112 1/2 -3/8"]
OFFLINE_NO_TOPICS = {"header": {"Passive": 1}, "topics": [{"dwType": 4, "Title": "adstream", "bActive": 1}]}
# A topic due at once, asked where nothing listens.
FAILING = {"topics": [{"dwType": 4, "Title": "adstream", "bActive": 1},
                      {"Title": "News / Harbour", "bActive": 1, "ConfigUrl": "http://127.0.0.1:9/harbour.twl"}]}
KEY_MENU_AREA = (0, BAR, SCREEN[0], 200)  # below the bar, where the keyboard's menu opens


def bar_of(image):
    return image.crop((0, 0, SCREEN[0], BAR))


class Run:
    def __init__(self, wine, folder):
        self.wine, self.folder, self.n = wine, folder, 0

    def shot(self):
        self.n += 1
        return screenshot(self.folder.file("shot%d.png" % self.n))

    def words(self):
        return ocr_words(bar_of(self.shot()))

    def menu_words(self):
        """The words of the menu open below the bar, read from the menu alone:
        Wine's tray window at the top left would share its first line."""
        image = self.shot().crop(KEY_MENU_AREA)
        pixels = image.load()
        light = [x for x in range(image.width) if sum(min(pixels[x, y]) > 200 for y in range(image.height)) > 40]
        return light and ocr_words(image.crop((light[0], 0, light[-1] + 1, image.height)), scale=3, invert=False)

    def seen(self, phrases, timeout, read=None):
        """Screenshots until every phrase has been read once (in the bar, unless read says where)."""
        missing = set(phrases)

        def look():
            words = (read or self.words)()
            for p in list(missing):
                if contains_phrase(words, p):
                    missing.discard(p)
            return not missing
        wait_for(look, timeout, step=0.5)
        return missing


def opened(folder):
    """The links the stand-in browser was started with, in order."""
    return [line.split()[-1] for line in folder.read("standin.log").splitlines() if line.strip()]


def start_ticker(folder, wine):
    mouse("mousemove", 600, 600)  # off the bar: a bar under the mouse stands where it happens to be
    wine.start(folder.file("Glancer.exe"))
    if not wait_for(lambda: window_ids("Tidewell Glancer"), 30):
        raise Failure("no ticker window")


def still(run, seconds=1.5):
    first = bar_of(run.shot()).tobytes()
    time.sleep(seconds)
    return bar_of(run.shot()).tobytes() == first


def keyboard(run, folder, wine):
    """The bar without the mouse: brought forward as the tray's Ticker entry
    does (a second start), then only keys."""
    ok = True
    mouse("mousemove", 600, 600)
    wine.start(folder.file("Glancer.exe"))
    time.sleep(2)
    mouse("key", "space")
    ok &= check(still(run), "Space pauses the bar")
    mouse("key", "space")  # and on again: a bar still paused fails the check after Esc below

    def press(key):
        count = len(opened(folder))
        mouse("key", key, "Return")
        wait_for(lambda: len(opened(folder)) > count, 10)
        return opened(folder)[-1] if len(opened(folder)) > count else None

    # On to a headline first: the bar may stand at an ad, and the ad's two
    # places in the loop open the same link.
    first = next((link for link in (press("Right") for _ in range(8)) if link and "/harbour/" in link), None)
    links = [first, press("Right"), press("Left")]
    ok &= check(links[0] and links[1] and links[0] != links[1] and links[2] == links[0],
                "the arrow keys go from headline to headline and Enter opens one: %r" % links)

    mouse("key", "shift+F10")  # the Menu key takes the same way as the right button
    missing = run.seen(["Pause", "Previous", "Next", "Preferences", "Close"], 10, read=run.menu_words)
    ok &= check(not missing, "Shift+F10 opens the menu: Pause, Previous and Next topic, Preferences and Close "
                "(not read: %s)" % sorted(missing))
    mouse("key", "Escape")
    time.sleep(0.5)
    mouse("key", "Escape")  # the bar lets go of the keyboard
    time.sleep(0.5)
    mouse("key", "space")
    ok &= check(not still(run), "after Esc, keys no longer reach the bar")
    return ok


LOG_PIXELS = ["HKCU\\Control Panel\\Desktop", "/v", "LogPixels"]


def preferences_size(folder, wine):
    """The preferences dialog's width and height as the agent opens it; Esc closes it."""
    wine.run(folder.file("twl.exe"), "prefs")
    ids = wait_for(lambda: window_ids("Tidewell Preferences"), 20)
    if not ids:
        return None
    time.sleep(1)
    box = geometry(ids[0])
    # A click on the dialog's blank corner gives it the keyboard; there is no window manager.
    mouse("mousemove", box["X"] + 4, box["Y"] + box["HEIGHT"] - 4, "click", 1, "key", "Escape")
    closed = wait_for(lambda: not window_ids("Tidewell Preferences"), 10)
    return closed and (box["WIDTH"], box["HEIGHT"])


def high_dpi(folder, wine):
    """At 144 dots an inch (Wine's LogPixels) the bar, and the preferences
    dialog with its text, are half as big again."""
    ok = True
    at_96 = preferences_size(folder, wine)  # None unless it opened and closed: "grown" below fails
    wine.run("reg", "add", *LOG_PIXELS, "/t", "REG_DWORD", "/d", "144", "/f")
    try:
        # A program takes the density when it starts: the agent, whose dialog it is, starts again.
        wine.run(folder.file("twl.exe"), "close")
        wine.start(folder.file("Engine.exe"))
        ok &= check(wine.run(folder.file("twl.exe"), "wait", "30").returncode == 0, "the agent starts at 144 dpi")
        at_144 = preferences_size(folder, wine)
        grown = at_96 and at_144 and all(1.35 < big / small < 1.65 for big, small in zip(at_144, at_96))
        ok &= check(grown, "the dialog grows by half at 144 dpi: %r, %r" % (at_96, at_144))
        wine.start(folder.file("Glancer.exe"))
        ids = wait_for(lambda: window_ids("Tidewell Glancer"), 30)
        time.sleep(2)
        box = geometry(ids[0]) if ids else {}
        ok &= check(box.get("HEIGHT") == 42 and box.get("Y") == 0, "the ticker starts, 42 pixels thick: %r" % box)
    finally:
        wine.run("reg", "delete", *LOG_PIXELS, "/f")
    return ok


def steps(folder, wine):
    Image.new("RGB", (60, 24), AD_COLOUR).save(folder.file("Data/A0000001.bmp"), "BMP")
    start_agent(folder, wine, DATABASE, BrowserPath=windows_path(folder.file("browser.exe")), EdgeDockedOn=1,
                AlwaysOnTop=1, MsgPurge=500, AutoHide=0)
    ok = True
    start_ticker(folder, wine)
    run = Run(wine, folder)

    missing = run.seen(["News / Harbour"] + HEADLINES + QUOTES, 90)
    ok &= check(not missing, "the bar shows the topic, its headlines and the quotes (not read: %s)" % sorted(missing))

    def ad_shown():
        pixels = bar_of(run.shot()).getdata()
        return sum(1 for p in pixels if p == AD_COLOUR) > 200
    ok &= check(wait_for(ad_shown, 40, step=0.5), "the ad's bitmap is in the bar's pixels")

    # A real click on a headline: the mouse over the bar holds it still.
    def keeper_box():
        mouse("mousemove", 5, 5)
        time.sleep(0.5)
        box = word_box(run.words(), "keeper")
        if not box:
            mouse("mousemove", 600, 600)  # let it scroll on
            time.sleep(1.5)
        return box
    box = wait_for(keeper_box, 40, step=0)
    ok &= check(box, "the headline to click is found on the screen")
    if box:
        mouse("mousemove", box[0], max(box[1], 4), "click", 1)
        logged = wait_for(lambda: "keeper.html" in folder.read("standin.log"), 15)
        ok &= check(logged and "http://127.0.0.1/harbour/keeper.html" in folder.read("standin.log"),
                    "the click opened the headline's link in the browser: %r" % folder.read("standin.log"))
    mouse("mousemove", 600, 600)

    ok &= keyboard(run, folder, wine)

    # The right button's menu (its entries read after Shift+F10): Close ends the ticker.
    mouse("mousemove", 640, 14, "click", "3")
    time.sleep(0.7)
    mouse("key", "c")
    ok &= check(wait_for(lambda: not window_ids("Tidewell Glancer"), 20), "Close ends the ticker")
    ok &= check(wine.run(folder.file("twl.exe"), "wait", "1").returncode == 0, "and the agent runs on")
    ok &= high_dpi(folder, wine)
    wine.run(folder.file("twl.exe"), "close")
    return ok & empty_bars(folder, wine, run)


def empty_bars(folder, wine, run):
    """Bars with nothing to scroll say why, and their marker's tool tip gives
    the reason: an agent that works offline, with no topics; then one whose
    only topic's update fails on the wire."""
    ok = True
    for database, notice, word, reason in (
            (OFFLINE_NO_TOPICS, "No topics: add one with Preferences", "offline", "works offline"),
            (FAILING, "No news yet", "failed", "could not be reached")):
        start_agent(folder, wine, database, EdgeDockedOn=1, AlwaysOnTop=1, AutoHide=0, MsgPurge=500)
        start_ticker(folder, wine)
        missing = run.seen([notice], 40)
        ok &= check(not missing, "an empty bar says why: %s" % notice)
        # The failure shows once the agent tried, and the bar's next round read it.
        marker = wait_for(lambda: word_box(run.words(), word), 60, step=1)
        ok &= check(marker and marker[0] > SCREEN[0] - 120, "the %s marker at the bar's end" % word)
        if marker:
            mouse("mousemove", marker[0], marker[1])
            tip = lambda: contains_phrase(ocr_words(run.shot().crop((500, BAR, SCREEN[0], 120)), invert=False),
                                          reason)
            ok &= check(wait_for(tip, 10, step=0.5), "its tool tip gives the reason: %s" % reason)
            mouse("mousemove", 600, 600)
        wine.run(folder.file("twl.exe"), "close")
        ok &= check(wait_for(lambda: not window_ids("Tidewell Glancer"), 20), "the ticker goes with the agent")
    return ok


def main(wine_run, prefix, bin_dir):
    return run_test("glancer-desktop", wine_run, prefix, bin_dir, steps)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
