"""Loopback proxies that stand for the networks users have: a TCP relay that limits the uplink, closes
connections unanswered or answers them with a drip or a flood, and a plain HTTP forward proxy that records
every request it carries.

A relay behaves like a real link, not like loopback: it accepts with an Ethernet-sized segment and a small
receive buffer, so the sender's kernel cannot soak up megabytes the link has not carried yet."""

import socket
import threading
import time

SEGMENT = 1460  # the maximum segment of an Ethernet link
BUFFER = 32 * 1024


def _listener(real_link=True):
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if real_link:
        # Set before listening: accepted sockets inherit them, and the SYN-ACK advertises them. Slow on
        # loopback (about 800 KB/s, the window waiting for delayed acknowledgements).
        server.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, SEGMENT)
        server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, BUFFER)
    server.bind(("127.0.0.1", 0))
    server.listen(64)
    return server


class _Server:
    """A loopback listener that serves each connection on a thread of its own (`_serve`) until closed."""

    def _listen(self, real_link=True):
        self.lock = threading.Lock()
        self.server = _listener(real_link)
        self.port = self.server.getsockname()[1]
        self.running = True
        threading.Thread(target=self._accept, daemon=True).start()

    def close(self):
        self.running = False
        self.server.close()

    def _accept(self):
        while self.running:
            try:
                client, _ = self.server.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(client,), daemon=True).start()


class Relay(_Server):
    """Forwards every connection to target (host, port).

    uplink: bytes per second from client to server (None: unlimited).
    close_unanswered: a predicate on the request head; a matching request is read and the connection closed
    without an answer.
    hostile: {"kind": "drip" or "flood", "match": predicate on the request head, "times": N}: the next N matching
    requests get their answer a byte at a time (drip, 200 bytes a second for 2,000 bytes) or, instead of it,
    an endless body announced as 64 MiB (flood).
    real_link: Ethernet segments and a small receive buffer, as a link a user has (see the module)."""

    DRIP_RATE, DRIP_BYTES = 200, 2000
    FLOOD_LENGTH = 64 * 1024 * 1024

    def __init__(self, target, uplink=None, close_unanswered=None, hostile=None, real_link=True):
        self.target = target
        self.uplink = uplink
        self.close_unanswered = close_unanswered
        self.hostile = hostile
        self.closed_unanswered = 0
        self.hostile_answers = 0
        self._listen(real_link)
        self.root = f"http://127.0.0.1:{self.port}/"
        self.api_root = self.root + "api/"

    def _serve(self, client):
        # The server is reached only once a request comes: an idle connection (clients open them ahead)
        # would hold one of the server's few workers.
        try:
            first = client.recv(65536)
            upstream = socket.create_connection(self.target) if first else None
        except OSError:
            upstream = None
        if upstream is None:
            client.close()
            return
        drip = {"left": 0}  # bytes of answer still to drip on this connection
        threading.Thread(target=self._pipe, args=(upstream, client, None, drip), daemon=True).start()
        self._pipe(client, upstream, self.uplink, drip, inspect=True, first=first)

    def _decide(self, head):
        """What to do with the request starting with head: 'close', 'drip', 'flood' or None."""
        with self.lock:
            if self.close_unanswered and self.close_unanswered(head):
                self.closed_unanswered += 1
                return "close"
            if self.hostile and self.hostile["times"] > 0 and self.hostile["match"](head):
                self.hostile["times"] -= 1
                self.hostile_answers += 1
                return self.hostile["kind"]
        return None

    def _flood(self, client):
        client.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n"
                       % self.FLOOD_LENGTH)
        block = b" " * 65536
        for _ in range(self.FLOOD_LENGTH // len(block)):
            client.sendall(block)

    def _pipe(self, source, sink, rate, drip, inspect=False, first=b""):
        started, sent = time.monotonic(), 0
        try:
            while True:
                data, first = first or source.recv(4096 if rate else 65536), b""
                if not data:
                    break
                if inspect and data[:4] in (b"GET ", b"POST", b"HEAD"):
                    decision = self._decide(data)
                    if decision == "close":
                        break
                    if decision == "flood":
                        self._flood(source)
                        break
                    if decision == "drip":
                        drip["left"] = self.DRIP_BYTES
                if not inspect and drip["left"]:
                    dripped, data = data[:drip["left"]], data[drip["left"]:]
                    drip["left"] -= len(dripped)
                    for i in range(len(dripped)):
                        sink.sendall(dripped[i:i + 1])
                        time.sleep(1 / self.DRIP_RATE)
                sink.sendall(data)
                if rate:
                    sent += len(data)
                    ahead = sent / rate - (time.monotonic() - started)
                    if ahead > 0:
                        time.sleep(ahead)
        except OSError:
            pass
        finally:
            _end(source, sink)


def _end(*sockets):
    """Ends both sides of a relayed connection. A shutdown, not only a close: the other direction's thread
    is blocked reading one of these sockets, and a close made on another thread neither wakes that read
    nor sends anything before it returns, so the client would wait for an answer that never comes (a
    server reset seen as a minute of silence)."""
    for s in sockets:
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        s.close()


def _copy(source, sink):
    try:
        while data := source.recv(65536):
            sink.sendall(data)
    except OSError:
        pass
    finally:
        _end(source, sink)


class ForwardProxy(_Server):
    """An HTTP forward proxy (what http_proxy names): one request per connection, forwarded to the host its
    absolute URL names (looked up in `hosts` first, as the proxy's own name service), with every request line
    kept in `requests`."""

    def __init__(self, hosts=None):
        self.hosts = hosts or {}
        self.requests = []
        self._listen()
        self.url = f"http://127.0.0.1:{self.port}"

    @staticmethod
    def _read_head(sock):
        data = b""
        while b"\r\n\r\n" not in data:
            more = sock.recv(65536)
            if not more:
                return None, b""
            data += more
        head, _, rest = data.partition(b"\r\n\r\n")
        return head, rest

    def _serve(self, client):
        try:
            head, rest = self._read_head(client)
            if head is None:
                return
            lines = head.split(b"\r\n")
            method, url, version = lines[0].split(b" ", 2)
            with self.lock:
                self.requests.append(f"{method.decode()} {url.decode()}")
            if method == b"CONNECT":  # a tunnel, as the reachability probe asks for
                host, _, port = url.partition(b":")
                upstream = socket.create_connection((self.hosts.get(host.decode(), host.decode()), int(port)))
                client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                threading.Thread(target=_copy, args=(upstream, client), daemon=True).start()
                _copy(client, upstream)
                return
            hostport, _, path = url.split(b"://", 1)[1].partition(b"/")
            host, _, port = hostport.partition(b":")
            headers = [h for h in lines[1:] if not h.lower().startswith((b"connection:", b"proxy-connection:"))]
            length = next((int(h.split(b":", 1)[1]) for h in headers if h.lower().startswith(b"content-length:")), 0)
            while len(rest) < length:
                more = client.recv(65536)
                if not more:
                    return
                rest += more
            upstream = socket.create_connection((self.hosts.get(host.decode(), host.decode()), int(port or 80)))
            upstream.sendall(b" ".join([method, b"/" + path, version]) + b"\r\n" +
                             b"\r\n".join(headers + [b"Connection: close"]) + b"\r\n\r\n" + rest)
            while True:
                data = upstream.recv(65536)
                if not data:
                    break
                client.sendall(data)
            upstream.close()
        except (OSError, ValueError):
            pass
        finally:
            client.close()
