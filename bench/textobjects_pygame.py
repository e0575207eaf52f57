#!/usr/bin/python3
"""Text objects beside pygame in one run.

Runs build/bench/bench_textobjects (or the binary given as the first
argument), then does the same in pygame: the same 120-word paragraph (words
of 2 to 9 letters) in Vera.ttf at 24 pixels, antialiased, wrapped at 800
pixels by the widths pygame measures, rendered line by line into one
surface with per-pixel alpha (the object), which is then blitted centred on
a 1920 x 1080 surface. Prints milliseconds per paragraph of both and the
ratio (pygame's time over ours: above 1 means ours is faster).
Run with Debian's python3-pygame: /usr/bin/python3 bench/textobjects_pygame.py"""
import json
import os
import subprocess
import sys
import time

os.environ["SDL_VIDEODRIVER"] = "offscreen"
import pygame  # noqa: E402

W, H, WORDS, WRAP = 1920, 1080, 120, 800
VERA = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf"


def paragraph():
    # The generator of the C++ side (std::mt19937, seed 11) is not Python's:
    # any words of those lengths cost the same.
    import random
    rng = random.Random(11)
    return ["".join(chr(ord("a") + rng.randrange(26)) for _ in range(2 + rng.randrange(8)))
            for _ in range(WORDS)]


def make_object(font, words):
    space = font.size(" ")[0]
    lines, line, width = [], [], 0
    for word in words:
        w = font.size(word)[0]
        if line and width + space + w > WRAP:
            lines.append(" ".join(line))
            line, width = [], 0
        width += (space if line else 0) + w
        line.append(word)
    lines.append(" ".join(line))
    rendered = [font.render(text, True, (255, 255, 255)) for text in lines]
    height = font.get_linesize()
    surface = pygame.Surface((max(r.get_width() for r in rendered), height * len(rendered)), pygame.SRCALPHA, 32)
    for i, r in enumerate(rendered):
        surface.blit(r, (0, i * height))
    return surface


def show(obj, target):
    target.blit(obj, ((W - obj.get_width()) // 2, (H - obj.get_height()) // 2))


def timed(job, seconds=2.0):
    job()
    runs, began = 0, time.perf_counter()
    while time.perf_counter() - began < seconds:
        job()
        runs += 1
    return (time.perf_counter() - began) * 1000 / runs


def ours(binary):
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=2"], check=True,
                         capture_output=True, text=True).stdout
    benchmarks = json.loads(out)["benchmarks"]
    size = next(int(b["label"].split()[-1]) for b in benchmarks if b.get("label", "").startswith("pixel size"))
    return {b["name"]: 1000.0 / b["paragraphs/s"] for b in benchmarks}, size


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/bench_textobjects"
    mine, size = ours(binary)
    pygame.init()
    target = pygame.Surface((W, H), 0, 32)
    font = pygame.font.Font(VERA, size)  # the pixel size our font chose for size 24
    words = paragraph()
    obj = make_object(font, words)
    theirs = {
        "BM_CreateAndDisplayTextObject": timed(lambda: show(make_object(font, words), target)),
        "BM_CreateTextObject": timed(lambda: make_object(font, words)),
        "BM_DisplayTextObject": timed(lambda: show(obj, target)),
    }
    pygame.quit()
    for name, ms in theirs.items():
        print(f"{name} (Vera at {size} px): ours {mine[name]:.3f} ms, pygame {ms:.3f} ms, ratio {ms / mine[name]:.2f}")


if __name__ == "__main__":
    main()
