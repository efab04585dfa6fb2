"""A relay in front of ovcloud that misbehaves the way proxies and odd servers do.

    ovcloud_relay.py --upstream http://127.0.0.1:8000 --mode redirect|ignore-start [--times N]

Prints the port it listens on (loopback), then forwards every request to the
upstream server unchanged, Host header included, so that the client's
signature still holds. Modes:

  redirect      every timeline chunk (POST /api/sync/timeline/...) is answered
                "302 Found" with "Location: /moved/" and never reaches ovcloud;
                with --times N only the first N chunks are.
  ignore-start  a record query loses its start__exact filter on the way (and is
                signed anew for its new URL, with the development secret or
                OVCLOUD_API_SECRET): the answer lists every record of the device.
"""

import argparse
import hashlib
import http.client
import os
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DEVELOPMENT_SECRET = "OvDevSecret4ServicesLocal7Tq9Zp2Wn5Hc8Jd"
HOP_BY_HOP = {"connection", "keep-alive", "transfer-encoding", "content-length"}


class Relay(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    upstream = None
    mode = None
    redirects_left = None  # None: every chunk
    lock = threading.Lock()

    def log_message(self, *args):
        pass

    def body(self):
        return self.rfile.read(int(self.headers.get("Content-Length") or 0))

    def answer(self, status, headers, body):
        self.send_response(status)
        for name, value in headers:
            if name.lower() not in HOP_BY_HOP:
                self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def relay(self):
        body = self.body()
        if self.mode == "redirect" and self.command == "POST" and self.path.startswith("/api/sync/timeline/") \
                and self.take_redirect():
            return self.answer(302, [("Location", "/moved/"), ("Content-Type", "application/json")],
                               b'{"moved": true}')
        target, headers = self.path, dict(self.headers.items())
        if self.mode == "ignore-start" and self.path.startswith("/api/record/"):
            target = without_start_filter(target)
            if target != self.path:
                for name in headers:
                    if name.lower() == "x-orvaapisignature":
                        headers[name] = signature(headers, target)
        connection = http.client.HTTPConnection(self.upstream.hostname, self.upstream.port, timeout=120)
        try:
            connection.request(self.command, target, body=body or None, headers=headers)
            response = connection.getresponse()
            self.answer(response.status, response.getheaders(), response.read())
        finally:
            connection.close()

    @classmethod
    def take_redirect(cls):
        with cls.lock:
            if cls.redirects_left is None:
                return True
            if cls.redirects_left == 0:
                return False
            cls.redirects_left -= 1
            return True

    do_GET = do_POST = do_DELETE = do_HEAD = relay


def without_start_filter(target):
    path, _, query = target.partition("?")
    kept = [piece for piece in query.split("&") if not piece.startswith("start__exact=")]
    return path + "?" + "&".join(kept) if "?" in target else path


def signature(headers, target):
    secret = os.environ.get("OVCLOUD_API_SECRET", DEVELOPMENT_SECRET)
    value = {name.lower(): text for name, text in headers.items()}
    url = f"http://{value.get('host')}{target}"
    return hashlib.sha1((secret + value.get("x-orvatimestamp", "") + url).encode()).hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--upstream", required=True)
    parser.add_argument("--mode", choices=["redirect", "ignore-start"], required=True)
    parser.add_argument("--times", type=int, default=0, help="redirect only the first N chunks (0: all)")
    options = parser.parse_args()
    Relay.upstream = urllib.parse.urlsplit(options.upstream)
    Relay.mode = options.mode
    Relay.redirects_left = options.times or None
    server = ThreadingHTTPServer(("127.0.0.1", 0), Relay)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
