#!/usr/bin/env python3
"""Writes a URL-encoded form body of SIZE bytes in FIELDS fields to OUTPUT.

Usage: make_body.py SIZE FIELDS OUTPUT [SHAPE]

SHAPE "text" (the default): mixed text as a browser encodes it, words joined
by +, with punctuation, a CR LF every ~70 bytes and non-ASCII letters as %XX
escapes, so that both decodings have work to do.
SHAPE "lines": very many short lines, a line break (raw or encoded, LF or
CR LF) every ~4 bytes: the hardest shape for the mail's value indentation.
SHAPE "files": a multipart/form-data body (boundary XyZzy) as a browser
sends an application form: a name, an address and a message, and FIELDS
PDF files of SIZE bytes together (their first bytes "%PDF-", the rest
bytes of every value, as a compressed PDF holds).
The same arguments always give the same bytes.
"""
import random
import sys

TEXT = ("Zo%C3%AB+%C5%81ukasz+wrote%3A+%22Two+seats%2C+please%21%22+"
        "Ten+years+at+Acme+%26+Co.+%28retail%29%0D%0A"
        "then+2+years+%3D+100%25+growth+%2B+more.+")


LINES = "Wo%0Ard\nli+ne%0D%0Aabc\nde%0Afgh\n"


def body(size, fields, text=TEXT):
    names = [f"field{i}" for i in range(fields)]
    overhead = sum(len(n) + 1 for n in names) + fields - 1
    per_field = max(0, (size - overhead) // fields)
    parts = []
    for i, name in enumerate(names):
        length = per_field if i < fields - 1 else size - overhead - per_field * (fields - 1)
        value = (text * (length // len(text) + 1))[:length]
        # never cut an escape in half: a trailing % or %X becomes plain letters
        # nor leave a CR without the LF that follows it: browsers send none
        # alone
        cut = value.rfind("%", max(0, len(value) - 2))
        if cut == -1 and value.endswith("%0D"):
            cut = len(value) - 3
        elif cut != -1 and value[:cut].endswith("%0D"):
            cut -= 3
        if cut != -1:
            value = value[:cut] + "x" * (len(value) - cut)
        parts.append(f"{name}={value}")
    data = "&".join(parts).encode("ascii")
    assert len(data) == size, (len(data), size)
    return data


def files(size, count):
    rng = random.Random(size)
    parts = []

    def part(headers, content):
        parts.append(b"--XyZzy\r\n" + headers + b"\r\n" + content + b"\r\n")

    for name, value in (("name", "Zo\u00eb \u0141ukasz"), ("email", "zoe@example.org"),
                        ("message", "Please find my r\u00e9sum\u00e9 attached.\r\nThank you.")):
        part(f'Content-Disposition: form-data; name="{name}"\r\n'.encode(), value.encode())
    for i in range(count):
        length = size // count if i < count - 1 else size - size // count * (count - 1)
        content = b"%PDF-1.7\n" + rng.randbytes(length - 9)
        while b"\r\n--XyZzy" in content:
            content = b"%PDF-1.7\n" + rng.randbytes(length - 9)
        part(f'Content-Disposition: form-data; name="file{i}"; filename="r\u00e9sum\u00e9-{i}.pdf"\r\n'
             'Content-Type: application/pdf\r\n'.encode(), content)
    return b"".join(parts) + b"--XyZzy--\r\n"


def main():
    size, fields, output = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    shape = sys.argv[4] if len(sys.argv) > 4 else "text"
    with open(output, "wb") as f:
        f.write(files(size, fields) if shape == "files" else body(size, fields, {"text": TEXT, "lines": LINES}[shape]))


if __name__ == "__main__":
    main()
