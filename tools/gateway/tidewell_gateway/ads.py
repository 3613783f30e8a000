"""The ad stream made from a folder of images, and stock quotes from a CSV file."""

import csv
import os
import re
import threading
import time

from .bmp import VGA, bmp

AD_SIZE = (120, 40)
IMAGE_SUFFIXES = (".png", ".gif", ".jpg", ".jpeg", ".bmp")
AD_NAME_CHARS = 40
PALETTE_BYTES = 768
MIN_QUOTE_LINE = 50  # the agent stops at a shorter line


def ad_bitmap(path, bits, size=AD_SIZE):
    """The image fitted into the ad's size on white, as a 16-colour (4) or 256-colour (8) BMP."""
    from PIL import Image
    with Image.open(path) as image:
        image.load()
        picture = image.convert("RGBA")
    picture.thumbnail(size)
    canvas = Image.new("RGB", size, (255, 255, 255))
    canvas.paste(picture, ((size[0] - picture.width) // 2, (size[1] - picture.height) // 2), picture)
    if bits == 4:
        palette_image = Image.new("P", (1, 1))
        palette_image.putpalette([c for rgb in VGA for c in rgb] + [0] * (PALETTE_BYTES - 3 * len(VGA)))
        quantized = canvas.quantize(palette=palette_image)
        palette = VGA
    else:
        quantized = canvas.quantize(colors=256)
        flat = quantized.getpalette()[:PALETTE_BYTES]
        flat += [0] * (PALETTE_BYTES - len(flat))
        palette = [tuple(flat[i:i + 3]) for i in range(0, PALETTE_BYTES, 3)]
    return bmp(list(quantized.getdata()), size[0], size[1], palette, bits)


class Ads:
    """The ad stream made from a folder of images; each image keeps its number in the state."""

    def __init__(self, folder, state):
        self.folder, self.state = folder, state
        self.cache = {}
        self.cache_lock = threading.Lock()

    def images(self):
        """{ad name: image path} for the images in the folder."""
        found = {}
        for entry in sorted(os.listdir(self.folder)):
            stem, suffix = os.path.splitext(entry)
            name = re.sub(r"[^A-Za-z0-9_-]", "", stem)[:AD_NAME_CHARS]
            if suffix.lower() in IMAGE_SUFFIXES and name and name not in found:
                found[name] = os.path.join(self.folder, entry)
        return found

    def stream(self, base):
        images = self.images()
        numbers = self.state.ad_numbers(sorted(images))
        held = sorted((numbers[name], name) for name in images)
        lines = [b"[General]", b"ConfigVersion=1", b"", b"[Subscription1]", b"Title=AdStream",
                 ("ConfigUrl=%s/Feed/AdStream3/AdStream.twl" % base.rstrip("/")).encode("ascii"),
                 b"MsgRange=%d-%d" % (held[0][0], held[-1][0]) if held else b"MsgRange=0-0",
                 b"PurgeOutOfRange=True"]
        for number, name in held:
            lines.append(('Msg%d=%s.bmp "%s/ads/%sC.bmp"' % (number, name, base.rstrip("/"), name)).encode("ascii"))
        return b"\r\n".join(lines) + b"\r\n"

    def bitmap(self, file_name):
        """The BMP for "<name>4.bmp" or "<name>8.bmp", or None."""
        match = re.fullmatch(r"([A-Za-z0-9_-]+)([48])\.bmp", file_name)
        path = match and self.images().get(match.group(1))
        if not path:
            return None
        key = (path, os.path.getmtime(path), match.group(2))
        with self.cache_lock:
            if key not in self.cache:
                for stale in [k for k in self.cache if k[0] == path and k[2] == key[2]]:
                    del self.cache[stale]  # an image that changed is converted again, and only its latest kept
                self.cache[key] = ad_bitmap(path, int(match.group(2)))
            return self.cache[key]


def quote_field(row, key, default):
    """A CSV field when it looks like a number, a date or a time; else the default."""
    text = (row.get(key) or "").strip()
    return text if re.fullmatch(r"[-+0-9.:/APMapm ]{1,20}", text) else default


def quote_lines(path, symbols):
    """The agent's quote lines for the symbols the CSV file knows (columns symbol, last, change, ...)."""
    with open(path, newline="", encoding="utf-8") as f:
        rows = {(row.get("symbol") or "").strip(): row for row in csv.DictReader(f)}
    stamp = time.localtime(os.path.getmtime(path))
    lines = []
    for symbol in symbols:
        row = rows.get(symbol)
        if not row or not re.fullmatch(r"[A-Za-z0-9.^=-]{1,15}", symbol):
            continue
        line = '"%s",%s,"%s","%s",%s,%s,%s,%s,' % (
            symbol, quote_field(row, "last", "0"), quote_field(row, "date", time.strftime("%m/%d/%Y", stamp)),
            quote_field(row, "time", time.strftime("%I:%M%p", stamp).lstrip("0")), quote_field(row, "change", "0"),
            quote_field(row, "open", "0"), quote_field(row, "high", "0"), quote_field(row, "low", "0"))
        volume = quote_field(row, "volume", "0")
        lines.append(line + volume.rjust(max(len(volume), MIN_QUOTE_LINE - len(line)), "0"))
    return "".join(line + "\r\n" for line in lines).encode("ascii")
