#!/usr/bin/python3
"""The peer of bench_text in pygame: the same 10,000-word paragraph (words of
2 to 9 letters), wrapped at 1920 pixels by the widths pygame measures and
drawn line by line from Vera.ttf onto a 1920 x 1080 surface, antialiased and
one-bit; milliseconds per paragraph. The words come from the same generator
seed only in spirit: any words of those lengths cost the same.
Run with Debian's python3-pygame: /usr/bin/python3 bench/text_pygame.py [pixel size]"""
import os
import random
import sys
import time

os.environ["SDL_VIDEODRIVER"] = "offscreen"
import pygame  # noqa: E402

W, H, WORDS = 1920, 1080, 10000
VERA = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf"


def paragraph():
    rng = random.Random(11)
    return [
        "".join(chr(ord("a") + rng.randrange(26)) for _ in range(2 + rng.randrange(8)))
        for _ in range(WORDS)
    ]


def draw(font, words, surface, antialias):
    space = font.size(" ")[0]
    height = font.get_linesize()
    line, width, y = [], 0, 0
    lines = []
    for word in words:
        w = font.size(word)[0]
        if line and width + space + w > W:
            lines.append(" ".join(line))
            line, width = [], 0
        width += (space if line else 0) + w
        line.append(word)
    lines.append(" ".join(line))
    for text in lines:
        if y >= H:
            break
        surface.blit(font.render(text, antialias, (255, 255, 255)), (0, y))
        y += height


def main():
    size = int(sys.argv[1]) if len(sys.argv) > 1 else 16
    pygame.init()
    surface = pygame.Surface((W, H), 0, 32)
    font = pygame.font.Font(VERA, size)
    words = paragraph()
    for antialias in (True, False):
        draw(font, words, surface, antialias)  # warm the glyph cache
        runs = 20
        began = time.perf_counter()
        for _ in range(runs):
            draw(font, words, surface, antialias)
        ms = (time.perf_counter() - began) * 1000 / runs
        print(f"pygame paragraph {'antialiased' if antialias else 'one-bit'}: {ms:.2f} ms")
    pygame.quit()


if __name__ == "__main__":
    main()
