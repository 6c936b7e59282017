#!/usr/bin/env python3
"""Draws a labelled plan of the main window for the user's guides, one per language.

The window is laid out in dialog units; the plan scales them to pixels the way an
8-point dialog font does (1.5 px across, 1.625 px down). Labels come from the
language files, so each guide shows the texts its readers will see.
Writes window_plan_<lang>.svg and, when rsvg-convert is installed, window_plan_<lang>.png.
"""
import base64
import html
import pathlib
import shutil
import subprocess

TREE = pathlib.Path(__file__).resolve().parent.parent
HERE = TREE / "Doc" / "images"  # where the guides look for their pictures
LANG_DIR = TREE / "Lang"
ICON_DIR = TREE / "res" / "icons"
LANGS = {"eng": "ENG", "kor": "KOR", "chs": "CHS", "cht": "CHT"}
PLAN_LANGS = ("kor", "chs", "cht")  # the English guide shows a real screenshot instead
FONTS = {
    "eng": "DejaVu Sans, Arial, sans-serif",
    "kor": "Noto Sans CJK KR, DejaVu Sans, sans-serif",
    "chs": "Noto Sans CJK SC, DejaVu Sans, sans-serif",
    "cht": "Noto Sans CJK TC, DejaVu Sans, sans-serif",
}
SX, SY = 1.5, 1.625          # pixels per dialog unit
CLIENT_W, CLIENT_H = 511, 439
TITLE_H = 26
FONT_PX = 11


def read_texts(code):
    """Reads section [ZemConverter]: KEY=VALUE split at the first '='."""
    texts, in_section = {}, False
    for line in (LANG_DIR / f"{code}.ini").read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            in_section = line == "[ZemConverter]"
            continue
        if in_section and "=" in line:
            key, value = line.split("=", 1)
            texts.setdefault(key.strip(), value.strip())
    return texts


def icon_uri(number):
    data = (ICON_DIR / f"icon{number}.png").read_bytes()
    return "data:image/png;base64," + base64.b64encode(data).decode("ascii")


class Plan:
    def __init__(self, font):
        self.items = []
        self.font = font

    def px(self, x, y, w=0, h=0):
        return x * SX, y * SY + TITLE_H, w * SX, h * SY

    def rect(self, x, y, w, h, fill="#ffffff", stroke="#7a8799", extra=""):
        X, Y, W, H = self.px(x, y, w, h)
        self.items.append(f'<rect x="{X:.1f}" y="{Y:.1f}" width="{W:.1f}" height="{H:.1f}" '
                          f'fill="{fill}" stroke="{stroke}" {extra}/>')

    def text(self, x, y, s, anchor="start", size=FONT_PX, fill="#1d2733", weight="normal", px=False):
        X, Y = (x, y) if px else self.px(x, y)[:2]
        self.items.append(f'<text x="{X:.1f}" y="{Y:.1f}" font-size="{size}" fill="{fill}" '
                          f'font-weight="{weight}" text-anchor="{anchor}">{html.escape(s)}</text>')

    def button(self, x, y, w, h, label):
        self.rect(x, y, w, h, fill="#e9edf2", stroke="#8a96a8", extra='rx="3"')
        X, Y, W, H = self.px(x, y, w, h)
        self.text(X + W / 2, Y + H / 2 + FONT_PX * 0.36, label, anchor="middle", px=True)

    def icon_button(self, x, y, number=None, label=None):
        self.rect(x, y, 17, 17, fill="#f2f4f7", stroke="#b5bfcc", extra='rx="2"')
        X, Y, W, H = self.px(x, y, 17, 17)
        if number:
            self.items.append(f'<image x="{X + 3:.1f}" y="{Y + 3:.1f}" width="{W - 6:.1f}" '
                              f'height="{H - 6:.1f}" href="{icon_uri(number)}"/>')
        else:
            self.text(X + W / 2, Y + H / 2 + 4, label, anchor="middle", size=11, weight="bold", px=True)

    def group(self, x, y, w, h, label):
        self.rect(x, y + 4, w, h - 4, fill="none", stroke="#a9b4c2", extra='rx="3"')
        X, Y = self.px(x, y)[:2]
        width = len(label) * FONT_PX * (1.0 if not label.isascii() else 0.6) + 8
        self.items.append(f'<rect x="{X + 6:.1f}" y="{Y - 2:.1f}" width="{width:.1f}" height="14" fill="#f0f0f0"/>')
        self.text(X + 10, Y + 10, label, px=True, fill="#0b3d91")

    def radio(self, x, y, label, checked=False):
        X, Y = self.px(x, y)[:2]
        cy = Y + 7
        self.items.append(f'<circle cx="{X + 6:.1f}" cy="{cy:.1f}" r="5.5" fill="#ffffff" stroke="#6b7788"/>')
        if checked:
            self.items.append(f'<circle cx="{X + 6:.1f}" cy="{cy:.1f}" r="2.8" fill="#1d2733"/>')
        if label:
            self.text(X + 16, cy + 4, label, px=True)

    def check(self, x, y, label, checked=False):
        X, Y = self.px(x, y)[:2]
        self.items.append(f'<rect x="{X:.1f}" y="{Y + 1:.1f}" width="11" height="11" fill="#ffffff" stroke="#6b7788"/>')
        if checked:
            self.items.append(f'<path d="M{X + 2:.1f} {Y + 7:.1f} l3 3 l5 -7" stroke="#1d2733" fill="none" stroke-width="1.6"/>')
        self.text(X + 16, Y + 11, label, px=True)

    def svg(self):
        width, height = CLIENT_W * SX, CLIENT_H * SY + TITLE_H
        head = (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width:.0f}" height="{height:.0f}" '
                f'viewBox="0 0 {width:.0f} {height:.0f}" font-family="{self.font}">\n'
                f'<rect width="100%" height="100%" fill="#f0f0f0" stroke="#4a5a6d"/>\n'
                f'<rect width="100%" height="{TITLE_H}" fill="#0b3d91"/>\n'
                f'<image x="5" y="3" width="20" height="20" href="{icon_uri(128)}"/>\n'
                f'<text x="32" y="18" font-size="13" fill="#ffffff" font-weight="bold">ZemConverter 4.10</text>\n')
        return head + "\n".join(self.items) + "\n</svg>\n"


def draw(lang):
    t = read_texts(LANGS[lang])
    tr = lambda key: t.get(key, key)  # noqa: E731
    p = Plan(FONTS[lang])
    # top row
    for x, key in ((5, "Add ..."), (77, "Change Output ..."), (158, "Delete"), (231, "Delete All")):
        p.button(x, 5, 69, 17, tr(key))
    p.button(436, 5, 69, 17, tr("Help ..."))
    # file list with its seven columns (widths in pixels)
    p.rect(5, 29, 500, 172, fill="#ffffff", stroke="#7a8799")
    X, Y, W, _ = p.px(5, 29, 500, 172)
    cols = [("Input File", 230), ("Output File", 230), ("|<", 65), (">|", 65), ("Time", 65), ("Size", 65), ("Status", 130)]
    rows = [("/home/anna/Videos/holiday.mp4", "/home/anna/Videos/holiday_ZM.avi", "00:10.000", "01:00.500", "00:50", "", tr("Completed")),
            ("/home/anna/Videos/concert.vob", "/home/anna/Videos/concert_ZM.avi", "", "", "03:12", "", f'{tr("Converting ...")} 42%'),
            ("/home/anna/Videos/lecture.mkv", "/home/anna/Videos/lecture_ZM.avi", "", "", "45:03", "", "")]
    p.items.append(f'<clipPath id="list"><rect x="{X + 1:.1f}" y="{Y + 1:.1f}" width="{W - 2:.1f}" height="200"/></clipPath>')
    p.items.append('<g clip-path="url(#list)">')
    cx = X + 1
    for i, (key, width) in enumerate(cols):
        p.items.append(f'<rect x="{cx:.1f}" y="{Y + 1:.1f}" width="{width}" height="20" fill="#e8ebef" stroke="#c3cad4"/>')
        p.text(cx + 5, Y + 15, tr(key), px=True)
        for r, row in enumerate(rows):
            ry = Y + 21 + r * 20
            fill = "#cde3fb" if r == 1 else "#ffffff"
            p.items.append(f'<rect x="{cx:.1f}" y="{ry:.1f}" width="{width}" height="20" fill="{fill}" stroke="#e1e5ea"/>')
            p.text(cx + 5, ry + 14, row[i][:34], px=True, size=11)
        cx += width
    p.items.append('</g>')
    # counters
    p.text(470, 215, tr("Files:"), anchor="end")
    p.rect(473, 206, 32, 13, fill="#f7f7f7", stroke="#8a96a8")
    p.text(502, 215, "3", anchor="end")
    # preview
    p.rect(5, 223, 183, 159, fill="#000000", stroke="#4a5a6d")
    X, Y, W, H = p.px(5, 223, 183, 159)
    p.items.append(f'<path d="M{X + W / 2 - 18:.1f} {Y + H / 2 - 22:.1f} l40 22 l-40 22 z" fill="#2c3440"/>')
    p.rect(5, 385, 183, 15, fill="none", stroke="none")
    X, Y, W, H = p.px(5, 385, 183, 15)
    p.items.append(f'<rect x="{X + 6:.1f}" y="{Y + H / 2 - 2:.1f}" width="{W - 12:.1f}" height="4" fill="#ffffff" stroke="#8a96a8"/>')
    p.items.append(f'<rect x="{X + 40:.1f}" y="{Y + H / 2 - 2:.1f}" width="90" height="4" fill="#3a7bd5"/>')
    p.items.append(f'<rect x="{X + 80:.1f}" y="{Y + 3:.1f}" width="9" height="{H - 6:.1f}" fill="#e9edf2" stroke="#6b7788"/>')
    p.text(5, 408, "320 x 240", size=11)
    p.text(135, 408, "12.3 MB", anchor="end", size=11)
    p.text(160, 408, "00:24", anchor="end", size=11)
    p.text(165, 408, "/", anchor="middle", size=11)
    p.text(170, 408, "03:12", size=11)
    for x, number in ((9, 130), (27, 131), (45, 134), (63, 133), (81, 132)):
        p.icon_button(x, 414, number=number)
    for x, label in ((109, "|<"), (127, ">|"), (145, "|x|")):
        p.icon_button(x, 414, label=label)
    # quality and scope
    p.group(195, 223, 101, 82, tr("Quality"))
    for y, key in ((237, "high definition"), (251, "high frame"), (264, "Standard"), (277, "Middle"), (290, "Low")):
        p.radio(210, y, tr(key), checked=(key == "Standard"))
    p.group(195, 311, 101, 47, tr("Files to Convert"))
    p.radio(210, 325, tr("Selected file"))
    p.radio(210, 338, tr("All files"), checked=True)
    p.check(205, 371, tr("Video Monitoring"))
    # picture size and rotation
    p.group(303, 224, 119, 71, tr("Video"))
    for x, y, label in ((318, 238, "96 x 64"), (369, 238, "176 x 128"), (318, 258, "128 x 128"),
                        (369, 258, "208 x 176"), (318, 278, "160 x 128"), (369, 278, "320 x 240")):
        p.radio(x, y, label, checked=(label == "320 x 240"))
    p.group(428, 224, 77, 71, tr("Rotate"))
    for x, number in ((440, 138), (461, 136), (482, 137)):
        p.radio(x, 242, "", checked=(number == 138))
        X, Y = p.px(x - 3, 256)[:2]
        p.items.append(f'<image x="{X:.1f}" y="{Y:.1f}" width="28" height="28" href="{icon_uri(number)}"/>')
    # conversion
    p.text(415, 384, f'{tr("Converting ...")}', anchor="middle")
    p.rect(337, 391, 154, 9, fill="#ffffff", stroke="#8a96a8")
    X, Y, W, H = p.px(337, 391, 154, 9)
    p.items.append(f'<rect x="{X + 1:.1f}" y="{Y + 1:.1f}" width="{(W - 2) * 0.42:.1f}" height="{H - 2:.1f}" fill="#3a9d4f"/>')
    p.button(365, 405, 49, 17, tr("Convert"))
    p.button(416, 405, 49, 17, tr("Stop"))
    return p.svg()


def main():
    rsvg = shutil.which("rsvg-convert")
    for lang in PLAN_LANGS:
        svg_path = HERE / f"window_plan_{lang}.svg"
        svg_path.write_text(draw(lang), encoding="utf-8")
        if rsvg:
            subprocess.run([rsvg, str(svg_path), "-o", str(HERE / f"window_plan_{lang}.png")], check=True)


if __name__ == "__main__":
    main()
