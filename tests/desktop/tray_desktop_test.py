# The agent's notification-area icon on a real X desktop: its tip; its menu,
# read by OCR, starts the Glancer, brings it forward, and ends both.
#
#   tray_desktop_test.py WINE_RUN PREFIX BIN_DIR   (under xvfb-run, 1280x1024x24)
import subprocess
import sys
import time

from desktop import (Failure, check, contains_phrase, mouse, ocr_words, run_test, screenshot, start_agent, tray_icon,
                     wait_for, window_ids, word_box)

AREA = (0, 0, 640, 400)  # where the tray, its tip and its menu show


def focused():
    return subprocess.run(["xdotool", "getwindowfocus"], capture_output=True, text=True, timeout=10).stdout.strip()


class Screen:
    def __init__(self, folder):
        self.folder, self.n = folder, 0

    def words(self):
        self.n += 1
        return ocr_words(screenshot(self.folder.file("shot%d.png" % self.n)).crop(AREA), scale=3)


def steps(folder, wine):
    now = int(time.time())
    start_agent(folder, wine, {"topics": [{"Title": "News / Tray", "tmLastUpdate": now, "dwInterval": 86400,
                                           "messages": [{"ridMsg": 1, "Title": "Tide tables", "tmReceived": now}]}]},
                AlwaysOnTop=0, AutoHide=0, EdgeDockedOn=3, MsgPurge=500)
    screen = Screen(folder)
    ok = True
    icon = wait_for(tray_icon, 20)
    if not icon:
        raise Failure("no notification area showed the icon")

    mouse("mousemove", icon[0], icon[1])
    seen = wait_for(lambda: contains_phrase(screen.words(), "Tidewell Agent"), 15, step=0.5)
    ok &= check(seen, "hovering the icon shows the tip \"Tidewell Agent\"")

    def open_menu():
        mouse("mousemove", icon[0], icon[1], "click", "3")
        time.sleep(0.7)
        words = screen.words()
        if all(word_box(words, w) for w in ("Ticker", "Preferences", "Exit")):
            return words
        mouse("key", "Escape")
        return None

    def choose(entry):
        words = wait_for(open_menu, 20, step=0.5)
        if words:
            mouse("mousemove", *word_box(words, entry))
            mouse("click", "1")
        return words

    words = choose("Ticker")
    ok &= check(words and contains_phrase(words, "Exit Agent"),
                "the icon's menu offers Ticker, Preferences and Exit Agent")
    if not words:
        raise Failure("no menu")
    tickers = wait_for(lambda: window_ids("Tidewell Glancer"), 30)
    ok &= check(tickers, "\"Ticker\" starts the Glancer")
    if not tickers:
        raise Failure("no ticker")

    # Something else takes the focus; "Ticker" again gives it back to the one ticker.
    trays = window_ids("Wine System Tray")
    subprocess.run(["xdotool", "windowfocus", trays[0]], timeout=10)
    ok &= check(wait_for(lambda: focused() not in tickers, 5), "another window has the focus")
    choose("Ticker")
    forward = wait_for(lambda: focused() in tickers, 15)
    ok &= check(forward, "\"Ticker\" a second time brings the Glancer forward (focus %s, ticker %s)"
                % (focused(), tickers))

    choose("Exit")
    gone = wait_for(lambda: not window_ids("Tidewell Glancer") and not window_ids("Wine System Tray"), 30)
    ok &= check(gone, "\"Exit Agent\" ends the agent, its icon and the Glancer")
    return ok


def main(wine_run, prefix, bin_dir):
    return run_test("tray-desktop", wine_run, prefix, bin_dir, steps)


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
