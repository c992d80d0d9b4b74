#!/usr/bin/python3
"""The other host of the end-to-end tests: an SMTP server on a loopback
address, the smarthost the host's exim relays to. Like Debian's exim as a
domain's MX, it refuses a message that holds a line of more than 998 octets,
and it has no mailbox "nobody" (550 for that recipient, in any domain); it
keeps every message it takes as a file N.eml in FOLDER, its line ends
written as LF, as a mailbox stores them.

    smarthost.py ADDRESS PORT FOLDER

Runs until it is ended by a signal. Needs Debian's python3-aiosmtpd."""

import itertools
import os
import signal
import sys

from aiosmtpd.controller import Controller


class Keeper:
    def __init__(self, folder):
        self.folder = folder
        self.count = itertools.count(1)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.split("@")[0] == "nobody":
            return "550 5.1.1 no mailbox by that name here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        content = envelope.original_content
        if any(len(line) > 998 for line in content.split(b"\r\n")):
            return "550 maximum allowed line length is 998 octets"
        name = os.path.join(self.folder, f"{next(self.count)}.eml")
        with open(name + ".part", "wb") as f:
            f.write(content.replace(b"\r\n", b"\n"))
        os.rename(name + ".part", name)
        return "250 OK"


def main():
    address, port, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    controller = Controller(Keeper(folder), hostname=address, port=port)
    controller.start()
    print(f"smarthost: listening on {address}:{port}", flush=True)
    signal.sigwait({signal.SIGTERM, signal.SIGINT})
    controller.stop()


if __name__ == "__main__":
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM, signal.SIGINT})
    main()
