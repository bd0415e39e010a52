#!/usr/bin/python3
"""zarnex-archive-ftp: the monitoring server's FTP archive service, on loopback only.

It serves the day files kept below ROOT as ROOT/<number>/<yyyymmdd>.dat the way the archive
service does:
  "_<number>_<dd.mm.yyyy>_<dd.mm.yyyy>"  the object's file list for the range, compressed:
                                          one "<number>\\<yyyymmdd>.dat=<size>" line (CR LF)
                                          per day file that exists, size uncompressed;
  "<number>\\<yyyymmdd>.dat"              the day file, compressed (a zlib stream).
A file at ROOT named exactly as requested (a hand-made list, say) is served compressed as it is.

Switches for testing the client:
  --reset NAME     after NAME's content the data connection is reset, not closed
  --raw NAME       NAME is sent uncompressed
  --throttle BPS   every transfer at most BPS bytes per second

The port is printed alone on the first line of standard output (--port 0 picks a free one).
The service ends when the process that started it ends. Run it with /usr/bin/python3 (the
Debian pyftpdlib package).
"""

import argparse
import datetime
import io
import os
import posixpath
import re
import socket
import struct
import sys
import zlib

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FileProducer, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

LIST_NAME = re.compile(r"^_(\d+)_(\d\d)\.(\d\d)\.(\d{4})_(\d\d)\.(\d\d)\.(\d{4})$")


class NamedBytes(io.BytesIO):
    """Bytes served like a file (the transfer log asks for a name)."""

    def __init__(self, data, name):
        super().__init__(data)
        self.name = name


def file_list(root, number, first, last):
    lines = []
    day = first
    while day <= last:
        name = day.strftime("%Y%m%d") + ".dat"
        path = os.path.join(root, str(number), name)
        if os.path.isfile(path):
            lines.append("%d\\%s=%d\r\n" % (number, name, os.path.getsize(path)))
        day += datetime.timedelta(days=1)
    return "".join(lines).encode("cp1251")


def content_of(root, requested):
    """The bytes for a requested name, or None when there is no such file."""
    literal = os.path.join(root, requested)
    if os.path.isfile(literal) and os.path.dirname(os.path.normpath(literal)) == root:
        with open(literal, "rb") as f:
            return f.read()
    m = LIST_NAME.match(requested)
    if m:
        n, d1, m1, y1, d2, m2, y2 = (int(x) for x in m.groups())
        try:
            first = datetime.date(y1, m1, d1)
            last = datetime.date(y2, m2, d2)
        except ValueError:
            return None
        return file_list(root, n, first, last)
    relative = posixpath.normpath(requested.replace("\\", "/"))
    if relative.startswith("/") or relative == ".." or relative.startswith("../"):
        return None
    path = os.path.join(root, relative)
    if os.path.isfile(path):
        with open(path, "rb") as f:
            return f.read()
    return None


class ArchiveHandler(FTPHandler):
    root = ""
    reset_names = set()
    raw_names = set()

    def ftp_RETR(self, file):
        requested = os.path.relpath(file, self.root)
        data = content_of(self.root, requested)
        if data is None:
            self.respond("550 No such file.")
            return None
        if requested not in self.raw_names:
            data = zlib.compress(data)
        self.reset_data = requested in self.reset_names
        fd = NamedBytes(data, requested)
        self.push_dtp_data(FileProducer(fd, self._current_type), isproducer=True, file=fd,
                           cmd="RETR")
        return file


def reset_capable(base):
    class ArchiveDTP(base):
        def close(self):
            # A reset instead of an orderly close, as a server on Windows may end a transfer.
            if not self._closed and not self.receive and getattr(self.cmd_channel,
                                                                 "reset_data", False):
                self.cmd_channel.reset_data = False
                try:
                    self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                           struct.pack("ii", 1, 0))
                except (OSError, AttributeError):
                    pass
            super().close()

    return ArchiveDTP


def main():
    p = argparse.ArgumentParser(description="The archive FTP service for zarnex-client.")
    p.add_argument("--port", type=int, default=2121)
    p.add_argument("--root", required=True)
    p.add_argument("--account", action="append", default=[], help="LOGIN:PASSWORD")
    p.add_argument("--reset", action="append", default=[])
    p.add_argument("--raw", action="append", default=[])
    p.add_argument("--throttle", type=int, default=0)
    p.add_argument("--verbose", action="store_true")
    args = p.parse_args()

    root = os.path.realpath(args.root)
    authorizer = DummyAuthorizer()
    for account in args.account or ["demo:demo"]:
        login, _, password = account.partition(":")
        authorizer.add_user(login, password, root, perm="elr")

    ArchiveHandler.root = root
    ArchiveHandler.reset_names = set(args.reset)
    ArchiveHandler.raw_names = set(args.raw)
    ArchiveHandler.authorizer = authorizer
    ArchiveHandler.banner = "zarnex archive"
    ArchiveHandler.auth_failed_timeout = 0.5
    if args.throttle > 0:
        dtp = reset_capable(ThrottledDTPHandler)
        dtp.write_limit = args.throttle
    else:
        dtp = reset_capable(DTPHandler)
    ArchiveHandler.dtp_handler = dtp

    import logging
    logging.basicConfig(level=logging.INFO if args.verbose else logging.WARNING,
                        stream=sys.stderr)
    server = FTPServer(("127.0.0.1", args.port), ArchiveHandler)
    print(server.address[1], flush=True)

    parent = os.getppid()

    def watch_parent():
        if os.getppid() != parent:
            os._exit(0)

    server.ioloop.call_every(1.0, watch_parent)
    try:
        server.serve_forever(handle_exit=False)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
