#!/usr/bin/env python3
"""Lists the longest function bodies in the C++ sources, longest first.

    scripts/long-functions.py [--top N] [--over LINES] [PATH ...]   (default: src)

A function is a definition whose body opens with "{" alone at the start of a line (or
at the end of its signature line) and closes with "}" at the start of a line, as the
house style writes them; lambdas and functions inside class bodies count with their
enclosing function or are skipped.
"""
import argparse
import os
import re
import sys

SIGNATURE = re.compile(r"^[A-Za-z_~][^;]*\)\s*(const)?\s*(noexcept)?\s*(override)?\s*(\{)?\s*$")


def functions(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        line = lines[i]
        opens_here = line.rstrip().endswith("{")
        if SIGNATURE.match(line) and not line.startswith(("if", "for", "while", "switch", "namespace", "class", "struct", "enum")):
            start = i
            j = i if opens_here else i + 1
            if j < len(lines) and (opens_here or lines[j].strip() == "{"):
                k = j + 1
                while k < len(lines) and not lines[k].startswith("}"):
                    k += 1
                name = re.sub(r"\s+", " ", line.split("(")[0]).strip().split(" ")[-1]
                yield name, start + 1, k - j - 1
                i = k
        i += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--top", type=int, default=15)
    parser.add_argument("--over", type=int, default=0)
    parser.add_argument("paths", nargs="*", default=["src"])
    args = parser.parse_args()
    found = []
    for root in args.paths:
        for folder, _, names in os.walk(root):
            for name in names:
                if name.endswith(".cpp"):
                    path = os.path.join(folder, name)
                    found += [(length, path, line, fn) for fn, line, length in functions(path)]
    found.sort(reverse=True)
    shown = [f for f in found if f[0] > args.over][: args.top]
    for length, path, line, fn in shown:
        print(f"{length:5d}  {path}:{line}  {fn}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
