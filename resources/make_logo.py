#!/usr/bin/python3
"""Draws the program's logo (tervanlogo.png, 548 x 537 RGB) and window icon
(varnoc.png, 64 x 64 RGBA). Needs python3-pil; the PNGs are committed, so
building the program does not run this."""
import math
from PIL import Image, ImageDraw, ImageFont

NAVY = (18, 52, 86)
TEAL = (0, 150, 160)
LIGHT = (210, 236, 240)
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def emblem(draw, cx, cy, r, width):
    # A ring with three stream lines running through it: gas passing a sensor.
    draw.ellipse((cx - r, cy - r, cx + r, cy + r), fill=LIGHT, outline=NAVY, width=width)
    for k, amp in enumerate((0.10, 0.16, 0.10)):
        y0 = cy + (k - 1) * r * 0.38
        pts = []
        for i in range(201):
            t = i / 200.0
            x = cx - r * 0.78 + t * r * 1.56
            y = y0 - amp * r * math.sin(t * 2 * math.pi)
            pts.append((x, y))
        draw.line(pts, fill=TEAL if k != 1 else NAVY, width=max(2, width // 2), joint="curve")
    # Arrow head on the middle stream.
    tip = cx + r * 0.86
    draw.polygon([(tip, cy), (tip - r * 0.16, cy - r * 0.10), (tip - r * 0.16, cy + r * 0.10)], fill=NAVY)


def logo(path):
    w, h = 548, 537
    img = Image.new("RGB", (w, h), (255, 255, 255))
    d = ImageDraw.Draw(img)
    emblem(d, w // 2, 205, 150, 14)
    font = ImageFont.truetype(FONT, 72)
    text = "TERVAN"
    tw = d.textlength(text, font=font)
    d.text(((w - tw) / 2, 385), text, font=font, fill=NAVY)
    small = ImageFont.truetype(FONT, 22)
    sub = "MASS FLOW CONTROL"
    sw = d.textlength(sub, font=small)
    d.text(((w - sw) / 2, 478), sub, font=small, fill=TEAL)
    img.save(path, optimize=True)


def icon(path):
    big = 256
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    emblem(d, big // 2, big // 2, 118, 16)
    img.resize((64, 64), Image.LANCZOS).save(path, optimize=True)


if __name__ == "__main__":
    logo("tervanlogo.png")
    icon("varnoc.png")
