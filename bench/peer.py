#!/usr/bin/env python3
"""The mail gateway's decoding written with Python's standard library, for
comparison: reads a URL-encoded body from standard input, decodes it with
urllib.parse.parse_qsl (latin-1, so every byte stands for itself) and writes
the same field lines as the gateway's mail to standard output."""
import sys
from urllib.parse import parse_qsl


def main():
    body = sys.stdin.buffer.read().decode("latin-1")
    out = []
    previous = None
    for name, value in parse_qsl(body, keep_blank_values=True, encoding="latin-1", max_num_fields=None):
        indent = " " * (len(name) + 2)
        out.append(indent if name == previous else name + ": ")
        out.append(value.replace("\n", "\n" + indent))
        out.append("\n\n")
        previous = name
    sys.stdout.buffer.write("".join(out).encode("latin-1"))


if __name__ == "__main__":
    main()
