#!/usr/bin/env python3
"""Showing brushes and moving sprites, ours beside pygame's in one run.

Runs build/bench/bench_brushes (or the binary given as the first argument)
and then the same two jobs in pygame on a 1920 x 1080 surface without a
window: a 128 x 128 brush with per-pixel alpha blitted 10,000 times at
random places, and 500 masked (colour-keyed) 32 x 32 sprites each moved once
per frame, each frame restoring the background under the old places and
drawing the sprites at the new ones. Prints frames per second of both and
the ratio.
"""
import json
import os
import random
import subprocess
import sys
import time

os.environ.setdefault("SDL_VIDEODRIVER", "dummy")
import pygame  # noqa: E402

W, H = 1920, 1080
BRUSH, DRAWS = 128, 10000
SPRITE, SPRITES = 32, 500


def ours(binary):
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=2"], check=True,
                         capture_output=True, text=True).stdout
    result = {}
    for b in json.loads(out)["benchmarks"]:
        result[b["name"]] = b["frames/s"]
    return result


def timed(frame, seconds=2.0):
    frames, start = 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        frame()
        frames += 1
    return frames / (time.perf_counter() - start)


def theirs():
    pygame.init()
    rng = random.Random(7)
    screen = pygame.Surface((W, H))
    background = pygame.Surface((W, H))
    background.fill((32, 48, 64))
    screen.blit(background, (0, 0))
    brush = pygame.Surface((BRUSH, BRUSH), pygame.SRCALPHA)
    for y in range(BRUSH):
        for x in range(BRUSH):
            brush.set_at((x, y), (rng.randrange(256), rng.randrange(256), rng.randrange(256), rng.randrange(256)))

    def draw_brushes():
        for _ in range(DRAWS):
            screen.blit(brush, (rng.randrange(W - BRUSH + 1), rng.randrange(H - BRUSH + 1)))

    sprite = pygame.Surface((SPRITE, SPRITE))
    sprite.fill((192, 128, 64))
    for y in range(SPRITE):
        for x in range(SPRITE):
            if (x - 16) ** 2 + (y - 16) ** 2 > 256:
                sprite.set_at((x, y), (255, 0, 255))
    sprite.set_colorkey((255, 0, 255))
    pos = [[rng.randrange(W - SPRITE), rng.randrange(H - SPRITE), rng.randrange(7) - 3, rng.randrange(7) - 3]
           for _ in range(SPRITES)]

    def move_sprites():
        for p in pos:
            screen.blit(background, (p[0], p[1]), pygame.Rect(p[0], p[1], SPRITE, SPRITE))
        for p in pos:
            p[0] += p[2]
            p[1] += p[3]
            if p[0] < 0 or p[0] > W - SPRITE:
                p[2] = -p[2]
                p[0] += 2 * p[2]
            if p[1] < 0 or p[1] > H - SPRITE:
                p[3] = -p[3]
                p[1] += 2 * p[3]
            screen.blit(sprite, (p[0], p[1]))

    return {"BM_DisplayAlphaBrush": timed(draw_brushes), "BM_MoveSprites": timed(move_sprites)}


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build", "bench",
                                                               "bench_brushes")
    a, b = ours(binary), theirs()
    print(f"{'job':24} {'ours fps':>10} {'pygame fps':>11} {'ratio':>7}")
    for name in ("BM_DisplayAlphaBrush", "BM_MoveSprites"):
        print(f"{name:24} {a[name]:10.2f} {b[name]:11.2f} {a[name] / b[name]:7.2f}")


if __name__ == "__main__":
    main()
