#!/usr/bin/env python3
"""Writes deterministic Shift-JIS-like benchmark data.

usage: gen_data.py OUT SIZE_MB [--chapters N]
Lines mix ASCII, two-byte characters, half-width kana (with voiced marks),
tabs and CR LF line ends; every tenth line repeats the one before it so that
duplicate removal has work. With --chapters N, N lines spread evenly through
the file start with "CH" and hold a chapter heading "第N章" in Shift-JIS.
"""
import random
import sys


def make_block(rng, size):
    kanji = "日本語漢字表示能力文字列変換処理行数分割結合".encode("cp932")
    kana = bytes(range(0xB1, 0xDE))
    words = [b"alpha", b"Beta", b"GAMMA", b"delta", b"0123", b"x=y;"]
    out = bytearray()
    prev = b""
    n = 0
    while len(out) < size:
        n += 1
        if n % 10 == 0 and prev:
            line = prev
        else:
            parts = []
            for _ in range(rng.randint(2, 10)):
                r = rng.random()
                if r < 0.4:
                    parts.append(rng.choice(words))
                elif r < 0.7:
                    i = rng.randrange(0, len(kanji) // 2) * 2
                    parts.append(kanji[i:i + rng.choice((2, 4, 6))])
                elif r < 0.85:
                    k = bytes(rng.choice(kana) for _ in range(rng.randint(1, 4)))
                    if rng.random() < 0.3:
                        k += b"\xde"
                    parts.append(k)
                else:
                    parts.append(b"\t")
            line = b" ".join(parts) + (b"\r\n" if rng.random() < 0.8 else b"\n")
        out += line
        prev = line
    return bytes(out)


def main():
    out_path, size_mb = sys.argv[1], int(sys.argv[2])
    chapters = 0
    if "--chapters" in sys.argv:
        chapters = int(sys.argv[sys.argv.index("--chapters") + 1])
    rng = random.Random(932)
    block = make_block(rng, 4 << 20)
    total = size_mb << 20
    blocks = max(1, total // len(block))
    with open(out_path, "wb") as f:
        # Chapter lines are spread evenly over the blocks' line boundaries.
        per_block = [0] * blocks
        for c in range(chapters):
            per_block[c * blocks // chapters] += 1
        c = 0
        for b in range(blocks):
            if per_block[b] == 0:
                f.write(block)
                continue
            lines = block.split(b"\n")
            step = max(1, len(lines) // (per_block[b] + 1))
            for j in range(per_block[b]):
                c += 1
                at = (j + 1) * step
                lines[at] = ("CH%d 第%d章 見出し\r" % (c, c % 10)).encode("cp932")
            f.write(b"\n".join(lines))


if __name__ == "__main__":
    main()
