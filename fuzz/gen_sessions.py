#!/usr/bin/env python3
"""Writes typed sessions for the fuzzer: mostly well-formed dialogue with
answers near and beyond every range, mixed with junk words and bytes.

    fuzz/gen_sessions.py --count 2000 --out DIR [--seed 1]

A session that follows the dialogue reaches the simulation and the files;
pure junk would mostly stop at the first question. Each session is one
file, NNNNN.in."""

import argparse
import os
import random

COMMANDS = list("PW1234NLFIMDGVA")
JUNK_WORDS = ["", "-5", "1e3", "1,5", "1.0.0", "x", "?", "0x10", "+1", ".", "..",
              "99999999999999999999999", "\x00", "\xff\xfe", "c", "y", "n", "q"]


def real(rng, lo=0.0, hi=1.0):
    pick = rng.random()
    if pick < 0.5:
        return f"{rng.uniform(lo, hi):.{rng.randint(0, 9)}f}"
    if pick < 0.7:
        return rng.choice([str(lo), str(hi), "0", "1", ".", "0.", ".5", "1.0"])
    if pick < 0.85:
        return rng.choice([f"{hi * 1.5}", "1.5", "50.1", "-0.1", "2"])
    return rng.choice(JUNK_WORDS)


def integer(rng, lo, hi):
    pick = rng.random()
    if pick < 0.5:
        return str(rng.randint(lo, min(hi, lo + 1000)))
    if pick < 0.7:
        return rng.choice([str(lo), str(hi), "007"])
    if pick < 0.85:
        return rng.choice([str(lo - 1), str(hi + 1), str(hi * 10)])
    return rng.choice(JUNK_WORDS)


def editor(rng, command):
    words = []
    if command == "P":
        for _ in range(9):
            words.append(integer(rng, 0, rng.choice([3, 50, 400000])))
    elif command == "W":
        words += [real(rng) for _ in range(9)]
    elif command in "1234":
        words.append(real(rng))
    elif command == "L":
        words.append(real(rng, 0.0, 50.0))
    elif command == "I":
        words.append(integer(rng, 1, 50000))
    elif command == "M":
        words.append(integer(rng, 1, 9999999))
    elif command == "A":
        words += [integer(rng, 0, 2), integer(rng, 0, 2), "C"]
    elif command == "N":
        words += [real(rng) for _ in range(6)]
        words += [rng.choice(["1", "2", "3", "x"]), rng.choice(["1", "2"])]
    elif command == "D":
        words += [real(rng, 0.0, 0.3) for _ in range(8)]
        words += [real(rng, 0.0, 200.0), "C"]
    elif command == "G":
        words.append("C")
    return words


def session(rng):
    words = []
    for _ in range(rng.randint(1, 3)):
        words.append(rng.choice(["out", "r1", "a" * rng.randint(1, 40), "nodir/x", "ab\x00cd"]))
        if rng.random() < 0.2:
            words.append(rng.choice(["N", "x", "Q"]))
            words.append("p2")
        words.append(integer(rng, 1, 32767))
        for _ in range(rng.randint(0, 8)):
            choices = COMMANDS + ["C", "Z", "0", "q"] if rng.random() < 0.1 else COMMANDS
            command = rng.choice(choices)
            words.append(command.lower() if rng.random() < 0.2 else command)
            words += editor(rng, command.upper())
            if rng.random() < 0.3:
                words.append("C")
        words += ["C", "C", rng.choice(["Y", "N", "maybe", "Y", "yes"])]
    if rng.random() < 0.1:
        words.append("".join(chr(rng.randint(0, 255)) for _ in range(rng.randint(1, 30))))
    text = ""
    for word in words:
        text += word + rng.choice(["\n", "\n", " ", "\t", "\r\n"])
    if rng.random() < 0.2:
        text = text[: rng.randint(0, len(text))]
    return text.encode("latin-1")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    os.makedirs(args.out, exist_ok=True)
    for i in range(args.count):
        with open(os.path.join(args.out, f"{i:05d}.in"), "wb") as out:
            out.write(session(rng))


if __name__ == "__main__":
    main()
