#!/usr/bin/python3
"""Loopback HTTP servers for the archive download tests.

  http_servers.py data ROOT [--mode PATH=KIND ...] [--log FILE]
      GET /PATH serves ROOT/PATH (404 when missing). KIND changes one answer:
        nolength   no Content-Length, the body delimited by the close
        badlength  Content-Length: abc
        zero       Content-Length: 0
        short      the whole length announced, half the body sent, then the close
  http_servers.py proxy --auth LOGIN:PASSWORD [--log FILE]
      a forwarding proxy for absolute-URI GETs; "407" without the right Basic credentials

Each request is logged as one line: method, target, the Proxy-Authorization header or "-".
The port is printed alone on the first line of standard output. It ends with its parent.
"""

import argparse
import base64
import http.client
import http.server
import os
import sys
import threading
import urllib.parse

LOCK = threading.Lock()


def log_request(path, handler):
    if not path:
        return
    with LOCK, open(path, "a", encoding="utf-8") as f:
        f.write("%s %s %s\n" % (handler.command, handler.path,
                                handler.headers.get("Proxy-Authorization", "-")))


class DataHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    root = ""
    modes = {}
    log_file = None

    def log_message(self, *args):
        pass

    def do_GET(self):
        log_request(self.log_file, self)
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path).lstrip("/")
        full = os.path.realpath(os.path.join(self.root, path))
        if not full.startswith(self.root + os.sep) or not os.path.isfile(full):
            body = b"not found"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with open(full, "rb") as f:
            data = f.read()
        kind = self.modes.get(path)
        self.send_response(200)
        if kind == "zero":
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if kind in ("nolength", "badlength"):
            if kind == "badlength":
                self.send_header("Content-Length", "abc")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True
            return
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if kind == "short":
            self.wfile.write(data[:len(data) // 2])
            self.close_connection = True
            return
        self.wfile.write(data)


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    expected = ""
    log_file = None

    def log_message(self, *args):
        pass

    def do_GET(self):
        log_request(self.log_file, self)
        if self.headers.get("Proxy-Authorization") != self.expected:
            self.send_response(407)
            self.send_header("Proxy-Authenticate", 'Basic realm="zarnex"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        url = urllib.parse.urlsplit(self.path)
        headers = {k: v for k, v in self.headers.items()
                   if k.lower() not in ("proxy-authorization", "proxy-connection", "connection")}
        conn = http.client.HTTPConnection(url.hostname, url.port or 80, timeout=30)
        conn.request("GET", url.path + ("?" + url.query if url.query else ""), headers=headers)
        resp = conn.getresponse()
        body = resp.read()
        self.send_response(resp.status, resp.reason)
        for k, v in resp.getheaders():
            if k.lower() not in ("connection", "transfer-encoding", "server", "date"):
                self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("kind", choices=["data", "proxy"])
    p.add_argument("root", nargs="?")
    p.add_argument("--mode", action="append", default=[])
    p.add_argument("--auth", default="")
    p.add_argument("--log")
    args = p.parse_args()
    if args.kind == "data":
        handler = DataHandler
        handler.root = os.path.realpath(args.root)
        handler.modes = dict(m.split("=", 1) for m in args.mode)
    else:
        handler = ProxyHandler
        handler.expected = "Basic " + base64.b64encode(args.auth.encode()).decode()
    handler.log_file = args.log
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)

    parent = os.getppid()

    def watch_parent():
        while os.getppid() == parent:
            threading.Event().wait(1.0)
        os._exit(0)

    threading.Thread(target=watch_parent, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
