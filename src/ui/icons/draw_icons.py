#!/usr/bin/env python3
"""Draws the window's icons as SVG and renders each to a 64 px PNG with ImageMagick.

Run from anywhere; the files land beside this script. The PNGs are what olstrin.qrc packs.
"""
import os
import subprocess

OUT = os.path.dirname(os.path.abspath(__file__))
def svg(body):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 32 32">\n'
            + body + '</svg>\n')

def chip(x=3, y=4, w=18, h=20, body="#37474f"):
    s = ""
    # pins on the left and right edges
    for i in range(4):
        py = y + 3 + i * (h - 6) / 3 - 1
        s += f'<rect x="{x-2.5}" y="{py}" width="3" height="2" fill="#b0bec5"/>\n'
        s += f'<rect x="{x+w-0.5}" y="{py}" width="3" height="2" fill="#b0bec5"/>\n'
    s += f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="1.5" fill="{body}"/>\n'
    s += f'<circle cx="{x+w/2}" cy="{y}" r="2.2" fill="#cfd8dc"/>\n'
    s += f'<circle cx="{x+3.5}" cy="{y+h-3.5}" r="1.2" fill="#90a4ae"/>\n'
    return s

def badge(color, symbol):
    return (f'<circle cx="23" cy="23" r="8.2" fill="#ffffff"/>\n'
            f'<circle cx="23" cy="23" r="7" fill="{color}"/>\n' + symbol)

W = 'stroke="#ffffff" stroke-width="2.2" fill="none" stroke-linecap="round" stroke-linejoin="round"'
SYM = {
    "erase": '<polygon points="18.5,24.5 23.5,18.5 27.5,21.5 22.5,27.5" fill="#ffffff"/>\n'
             '<polygon points="18.5,24.5 20.7,21.9 24.7,24.9 22.5,27.5" fill="#f8bbd0"/>\n',
    "write": f'<path d="M23 17.5 V27.5 M19 23.5 L23 27.5 L27 23.5" {W}/>\n',
    "read":  f'<path d="M23 28.5 V18.5 M19 22.5 L23 18.5 L27 22.5" {W}/>\n',
    "verify": f'<path d="M19 23 L22 26.2 L27.2 19.8" {W}/>\n',
}
ACTION = {"erase": ("#e53935", 129, 134), "write": ("#2e7d32", 135, 136),
          "read": ("#1565c0", 137, 138), "verify": ("#00838f", 139, 140)}
BUSY = "#ff8f00"
files = {}
for name, (color, normal, busy) in ACTION.items():
    files[f"{name}.svg"] = (normal, svg(chip() + badge(color, SYM[name])))
    files[f"{name}-busy.svg"] = (busy, svg(chip() + badge(BUSY, SYM[name]) +
        '<circle cx="23" cy="23" r="7.6" fill="none" stroke="#ff8f00" stroke-width="1.2" stroke-dasharray="2 1.6"/>\n'))
files["auto.svg"] = (142, svg(chip() + badge("#6a1b9a",
    '<polygon points="18.5,19 23,23 18.5,27" fill="#ffffff"/>\n'
    '<polygon points="23,19 27.5,23 23,27" fill="#ffffff"/>\n')))
files["open.svg"] = (143, svg(
    '<path d="M2 8 V26 H26 V10 H14 L11.5 7 H3 Z" fill="#f9a825"/>\n'
    '<rect x="8" y="4" width="15" height="16" fill="#ffffff" stroke="#90a4ae" stroke-width="1"/>\n'
    '<path d="M11 8.5 H20 M11 11.5 H20 M11 14.5 H17" stroke="#90a4ae" stroke-width="1.2"/>\n'
    '<path d="M2 13 H26 L30 13 L26 27 H2 Z" fill="#fbc02d"/>\n'
    '<path d="M2 13 H30 L26 27 H2 Z" fill="#fdd835"/>\n'))
files["save.svg"] = (131, svg(
    '<path d="M4 4 H24 L28 8 V28 H4 Z" fill="#1565c0"/>\n'
    '<rect x="9" y="4" width="13" height="8" fill="#e3f2fd"/>\n'
    '<rect x="18" y="5.5" width="2.5" height="5" fill="#1565c0"/>\n'
    '<rect x="8" y="16" width="16" height="12" rx="1" fill="#ffffff"/>\n'
    '<path d="M10.5 19.5 H21.5 M10.5 22.5 H21.5 M10.5 25.5 H18" stroke="#90caf9" stroke-width="1.2"/>\n'))
files["olstrin.svg"] = (128, svg(chip(6, 5, 20, 22, "#1a237e") +
    '<path d="M17.5 9 L12 17.5 H16 L14.5 24 L20.5 14.5 H16.5 Z" fill="#ffd600"/>\n'))
os.makedirs(OUT, exist_ok=True)
for fname, (ident, text) in files.items():
    path = os.path.join(OUT, fname)
    with open(path, "w") as f:
        f.write(text)
    subprocess.run(["convert", "-background", "none", "-density", "192", path,
                    "-resize", "64x64", path[:-4] + ".png"], check=True)
    print(ident, fname)
