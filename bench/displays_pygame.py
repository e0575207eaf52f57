#!/usr/bin/python3
"""The peer of bench_displays: a 1920 x 1080 window on SDL's offscreen video
driver showing a gradient background, 1,000 frames of a full-window redraw
(the background blitted to the window surface and flipped) in pygame, frames
per second. Run with Debian's python3-pygame: /usr/bin/python3 bench/displays_pygame.py"""
import os
import time

os.environ["SDL_VIDEODRIVER"] = "offscreen"
import pygame  # noqa: E402

W, H, FRAMES = 1920, 1080, 1000


def main():
    pygame.display.init()
    screen = pygame.display.set_mode((W, H), pygame.NOFRAME)
    background = pygame.Surface((W, H)).convert()
    start, end = (0x10, 0x20, 0x60), (0x20, 0xA0, 0xA0)
    for x in range(W):  # a diagonal-ish gradient drawn once, as the display's own
        t = x / (W - 1)
        colour = tuple(int(a + (b - a) * t) for a, b in zip(start, end))
        pygame.draw.line(background, colour, (x, 0), (x, H - 1))
    began = time.perf_counter()
    for _ in range(FRAMES):
        screen.blit(background, (0, 0))
        pygame.display.flip()
    elapsed = time.perf_counter() - began
    print(f"pygame full redraw: {FRAMES / elapsed:.1f} fps ({elapsed * 1000 / FRAMES:.2f} ms per frame)")
    pygame.quit()


if __name__ == "__main__":
    main()
