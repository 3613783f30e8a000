# The pictures of docs/images: each function below takes one, from an agent
# and its programs running on a private X display with sample news. Add a
# picture by adding a function to SHOTS.
#
#   shots.py WINE_RUN PREFIX BIN_DIR OUT_DIR   (under xvfb-run)
import json
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "desktop"))
from desktop import (InstallFolder, Wine, mouse, ocr_words, screenshot, tray_icon, wait_for,  # noqa: E402
                     window_ids, windows_path)

NOW = int(time.time())
BAR = 28
SAMPLE = {
    "header": {"DisplayPreference": 1},
    "topics": [
        {"Title": "News / Harbour", "Hint": "From the quay", "tmLastUpdate": NOW, "dwInterval": 86400,
         "messages": [{"ridMsg": 1, "Title": "Gale warning for the outer banks tonight", "tmReceived": NOW},
                      {"ridMsg": 2, "Title": "Lighthouse keeper retires after forty years", "tmReceived": NOW},
                      {"ridMsg": 3, "Title": "Ferry timetable changes from Monday", "tmReceived": NOW}]},
        {"dwType": 3, "Title": "Stocks / Quotes", "tmLastUpdate": NOW, "dwInterval": 86400,
         "messages": [{"ridMsg": 1, "Title": "TIDE;41 1/4;+0 7/8;4:01PM"},
                      {"ridMsg": 2, "Title": "SAIL;17 1/16;-0 3/8;4:01PM"},
                      {"ridMsg": 3, "Title": "KELP;8.05;+0.000;4:01PM"}]},
        {"dwType": 4, "Title": "adstream", "tmLastUpdate": NOW, "dwInterval": 86400,
         "messages": [{"ridMsg": 1, "Title": "A0000001.bmp", "tmReceived": NOW}]},
    ],
}


SETTINGS = {"EdgeDockedOn": 1, "AlwaysOnTop": 1, "AutoHide": 0, "MsgPurge": 500}


def ad_bitmap(path):
    """A small banner: the sample ad."""
    from PIL import Image, ImageDraw
    image = Image.new("RGB", (96, 24), (0, 90, 160))
    draw = ImageDraw.Draw(image)
    draw.rectangle((2, 2, 93, 21), outline=(255, 255, 255))
    draw.text((10, 6), "SEA KAYAKS", fill=(255, 255, 255))
    image.save(path, "BMP")


def ticker(ctx):
    """The bar at the top of the screen, held still under the mouse."""
    ctx.wine.start(ctx.folder.file("Glancer.exe"))
    wait_for(lambda: window_ids("Tidewell Glancer"), 30)
    mouse("mousemove", 1279, 1)
    time.sleep(0.3)
    mouse("mousemove", 1279, 300)
    time.sleep(11)  # scrolled on until the quotes and the ad share the bar with headlines
    mouse("mousemove", 1279, 2)
    time.sleep(0.5)
    return screenshot(ctx.tmp("ticker.png")).crop((0, 0, 1280, BAR))


def restart_agent(ctx, **settings):
    """The agent again, with other settings; the ticker is not running."""
    ctx.wine.run(ctx.folder.file("twl.exe"), "close")
    ctx.folder.settings(**dict(SETTINGS, **settings))
    ctx.wine.start(ctx.folder.file("Engine.exe"))
    ctx.wine.run(ctx.folder.file("twl.exe"), "wait", "30")


def close_ticker(x=640, y=10):
    """Closes the ticker through its menu (Close), opened over the bar at x, y."""
    mouse("mousemove", x, y, "click", "3")
    time.sleep(0.7)
    mouse("key", "c")
    wait_for(lambda: not window_ids("Tidewell Glancer"), 20)


def high_dpi(ctx):
    """The bar at 144 dots an inch (Wine's LogPixels): 42 pixels thick, its text as much larger."""
    close_ticker()
    log_pixels = ["HKCU\\Control Panel\\Desktop", "/v", "LogPixels"]
    ctx.wine.run("reg", "add", *log_pixels, "/t", "REG_DWORD", "/d", "144", "/f")
    try:
        ctx.wine.start(ctx.folder.file("Glancer.exe"))
        wait_for(lambda: window_ids("Tidewell Glancer"), 30)
        mouse("mousemove", 1279, 300)
        time.sleep(6)
        mouse("mousemove", 1279, 2)
        time.sleep(0.5)
        image = screenshot(ctx.tmp("high-dpi.png")).crop((0, 0, 1280, 42))
        close_ticker()
    finally:
        ctx.wine.run("reg", "delete", *log_pixels, "/f")
    return image


def vertical(ctx):
    """The bar at the left edge, its text turned, the tool tip beside it."""
    close_ticker()
    restart_agent(ctx, EdgeDockedOn=0)
    ctx.wine.start(ctx.folder.file("Glancer.exe"))
    wait_for(lambda: window_ids("Tidewell Glancer"), 30)
    time.sleep(8)
    mouse("mousemove", 14, 160)
    time.sleep(1.5)
    image = screenshot(ctx.tmp("vertical.png")).crop((0, 48, 420, 640))  # below the notification area
    close_ticker(14, 500)
    restart_agent(ctx)
    return image


def tray_menu(ctx):
    """The notification-area icon's menu, opened with the right button."""
    x, y = tray_icon()
    mouse("mousemove", x, y, "click", "3")
    time.sleep(1)
    image = screenshot(ctx.tmp("menu.png"))
    words = ocr_words(image.crop((0, 0, 400, 300)), scale=3)
    bottom = max([top + height for word, left, top, width, height in words if word.lower().startswith("ex")] or [150])
    right = max([left + width for word, left, top, width, height in words] or [200])
    mouse("key", "Escape")
    return image.crop((0, max(y - 14, 0), min(right + 40, 400), min(bottom + 12, 300)))


def held_when(ctx, word, most_left, width):
    """The bar held still under the mouse once the word has scrolled to the
    left part of the bar: a crop of width pixels from just before it."""
    def found():
        mouse("mousemove", 1279, 300)
        time.sleep(0.3)
        mouse("mousemove", 1279, 2)
        time.sleep(0.4)
        image = screenshot(ctx.tmp("held.png"))
        x = [left for w, left, top, w_, h in ocr_words(image.crop((0, 0, 1280, BAR))) if w.startswith(word)]
        return x and x[0] <= most_left and (image, x[0])
    held = wait_for(found, 90, step=0)
    if not held:
        raise RuntimeError("%s did not come by" % word)
    image, x = held
    left = max(x - 12, 0)
    return image.crop((left, 0, left + width, BAR))


def quotes(ctx):
    """The quotes as a trader reads them, held still under the mouse."""
    return held_when(ctx, "Stocks", 500, 780)


def restart(ctx, database):
    """The agent again with other news, and the ticker beside it."""
    ctx.wine.run(ctx.folder.file("twl.exe"), "close")
    wait_for(lambda: not window_ids("Tidewell Glancer"), 20)
    start_sample(ctx.folder, ctx.wine, database)
    ctx.wine.start(ctx.folder.file("Glancer.exe"))
    wait_for(lambda: window_ids("Tidewell Glancer"), 30)
    mouse("mousemove", 640, 600)
    time.sleep(3)


ADS_ONLY = {"dwType": 4, "Title": "adstream", "messages": []}


def no_news(ctx):
    """A bar whose topics have no headlines yet."""
    restart(ctx, {"topics": [{"Title": "News / Harbour", "dwInterval": 86400, "messages": []}, ADS_ONLY]})
    return held_when(ctx, "No", 600, 480)


def no_topics(ctx):
    """A bar without topics."""
    restart(ctx, {"topics": [ADS_ONLY]})
    return held_when(ctx, "No", 600, 640)


def marker_tip(ctx, word):
    """The marker at the bar's end once it says word, its reason under the mouse."""
    def found():
        words = ocr_words(screenshot(ctx.tmp("marker.png")).crop((1080, 0, 1280, BAR)))
        return [1080 + left + width // 2 for text, left, top, width, height in words if word in text]
    x = wait_for(found, 60, step=1)
    mouse("mousemove", x[0] if x else 1250, BAR // 2)
    time.sleep(1.5)
    return screenshot(ctx.tmp("marker.png")).crop((640, 0, 1280, 90))


def offline(ctx):
    """An agent that works offline."""
    restart(ctx, dict(SAMPLE, header={"DisplayPreference": 1, "Passive": 1}))
    return marker_tip(ctx, "offline")


def failed(ctx):
    """A topic whose update fails on the wire: asked where nothing listens."""
    restart(ctx, {"topics": [{"Title": "News / Harbour", "ConfigUrl": "http://127.0.0.1:9/harbour.twl"}, ADS_ONLY]})
    return marker_tip(ctx, "failed")


# In this order: the bar scrolls on from one to the next; the 144-dpi and the
# upright bar leave no ticker running, and each scene after them starts its own.
SHOTS = [("tray-menu.png", tray_menu), ("ticker.png", ticker), ("ticker-quotes.png", quotes),
         ("ticker-high-dpi.png", high_dpi), ("ticker-vertical.png", vertical), ("ticker-no-news.png", no_news),
         ("ticker-no-topics.png", no_topics), ("ticker-offline.png", offline), ("ticker-failed.png", failed)]


class Context:
    def __init__(self, folder, wine):
        self.folder, self.wine = folder, wine

    def tmp(self, name):
        return self.folder.file(name)


def start_sample(folder, wine, database):
    """Starts the agent on a data file made from the database; whether it runs."""
    folder.write("db.json", json.dumps(database))
    wine.run(folder.file("twldata.exe"), "create", windows_path(folder.file("Data/Msg.dat")),
             windows_path(folder.file("db.json")))
    folder.settings(**SETTINGS)
    wine.start(folder.file("Engine.exe"))
    return wine.run(folder.file("twl.exe"), "wait", "30").returncode == 0


def main(wine_run, prefix, bin_dir, out_dir):
    folder = InstallFolder(bin_dir, "screenshots")
    wine = Wine(wine_run, prefix)
    try:
        ad_bitmap(folder.file("Data/A0000001.bmp"))
        if not start_sample(folder, wine, SAMPLE):
            print("screenshots: the agent did not start", file=sys.stderr)
            return 1
        if not wait_for(tray_icon, 30):
            print("screenshots: no notification area", file=sys.stderr)
            return 1
        ctx = Context(folder, wine)
        for name, shot in SHOTS:
            shot(ctx).save(os.path.join(out_dir, name))
            print("screenshots: " + os.path.join(out_dir, name))
        wine.run(folder.file("twl.exe"), "close")
        return 0
    finally:
        wine.stop()
        folder.remove()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
