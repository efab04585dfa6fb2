"""gunicorn's threaded worker, with request headers read before a thread is given.

The stock gthread worker hands every accepted (or keep-alive) connection to a
thread at once, and that thread blocks reading the request line and headers
without any time limit. A few dozen clients that connect and send their
headers a byte at a time, or not at all, then hold every thread, and nobody
else is answered: no credentials needed.

Here the worker's event loop reads the headers itself, without blocking,
from as many connections as it holds; a connection goes to a thread only once
its header block is complete. A connection whose headers are not complete
within the header timeout is answered 408, one whose headers grow past
64 KiB 431, and closed. The request body is read by the thread as before,
under the body idle timeout of ovcloud.guard.
"""

import errno
import io
import selectors
import time
from functools import partial

from gunicorn.workers.gthread import TConn, ThreadWorker

from . import config

HEADER_END = b"\r\n\r\n"
READ_SIZE = 16 * 1024
# Far above what any client of the API sends, and it bounds the memory that
# connections still sending their headers can take.
MAX_HEADER_BYTES = 64 * 1024
# A refused upload chunk is read to its end to keep its connection; past this
# the connection is closed instead of reading on.
MAX_SKIPPED_BODY = 6 * 1024 * 1024


def error_answer(status, text):
    body = b'{"error": "%s"}' % text
    return b"HTTP/1.1 %s\r\nConnection: close\r\nContent-Type: application/json\r\n" \
           b"Content-Length: %d\r\n\r\n%s" % (status, len(body), body)


TIMEOUT_ANSWER = error_answer(b"408 Request Timeout", b"Request headers were not received in time")
TOO_LARGE_ANSWER = error_answer(b"431 Request Header Fields Too Large",
                                b"Request headers are too large")


def take_buffered(conn):
    """The bytes a connection's parser has read from the socket but not parsed yet."""
    if conn.parser is None:
        return b""
    unreader = conn.parser.unreader
    buffered = unreader.buf.getvalue()
    unreader.buf = io.BytesIO()
    return buffered


class HeaderReadingWorker(ThreadWorker):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.header_timeout = config.header_timeout()
        self.reading = {}  # connection -> (deadline, bytes received so far)

    def accept(self, server, listener):
        try:
            sock, client = listener.accept()
        except OSError as e:
            if e.errno not in (errno.EAGAIN, errno.ECONNABORTED, errno.EWOULDBLOCK):
                raise
            return
        self.nr_conns += 1
        self.read_headers(TConn(self.cfg, sock, client, server))

    def reuse_connection(self, conn, client):
        """A kept-alive connection has bytes again: its next request's headers."""
        with self._lock:
            self.poller.unregister(client)
            try:
                self._keep.remove(conn)
            except ValueError:  # closed meanwhile by the keep-alive sweep
                return
        self.read_headers(conn)

    def read_headers(self, conn):
        # Bytes of this request that came with the end of the previous one wait in its parser.
        self.reading[conn] = (time.monotonic() + self.header_timeout, bytearray(take_buffered(conn)))
        with self._lock:
            self.poller.register(conn.sock, selectors.EVENT_READ,
                                 partial(self.on_header_bytes, conn))

    def on_header_bytes(self, conn, sock):
        deadline, received = self.reading[conn]
        try:
            data = sock.recv(READ_SIZE)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            data = b""
        if not data:  # the client went away before its request was complete
            self.drop(conn)
            return
        received += data
        # Only the new bytes, and the three before them, can complete the end marker.
        if received.find(HEADER_END, max(0, len(received) - len(data) - 3)) >= 0:
            self.stop_reading(conn)
            conn.init()  # makes the parser, which must hold these bytes before a thread reads
            conn.parser.unreader.unread(bytes(received))
            self.enqueue_req(conn)
        elif len(received) > MAX_HEADER_BYTES:
            self.drop(conn, TOO_LARGE_ANSWER)

    def stop_reading(self, conn):
        del self.reading[conn]
        with self._lock:
            self.poller.unregister(conn.sock)

    def drop(self, conn, answer=b""):
        self.stop_reading(conn)
        if answer:
            try:
                conn.sock.send(answer)
            except OSError:
                pass  # a best effort: the client may be gone or not reading
        self.nr_conns -= 1
        conn.close()

    def handle(self, conn):
        while True:
            keepalive, conn = super().handle(conn)
            if not keepalive:
                return keepalive, conn
            if not self.skip_unread_body(conn):
                return False, conn
            # Reading it may have taken in the whole next request too: no more bytes
            # will come to wake the event loop for it, so it is served here.
            if HEADER_END not in conn.parser.unreader.buf.getvalue():
                return keepalive, conn

    @staticmethod
    def skip_unread_body(conn):
        """Reads the rest of a body the view did not read (an upload refused before
        its body), which would otherwise be read as the next request's headers.
        False when the connection is better closed: the rest is longer than a
        chunk, stalls, or is malformed."""
        skipped = 0
        try:
            while skipped <= MAX_SKIPPED_BODY:
                piece = conn.parser.mesg.body.read(READ_SIZE)
                if not piece:
                    return True
                skipped += len(piece)
        except OSError:  # gunicorn's body errors are IOErrors too
            pass
        return False

    def murder_keepalived(self):
        """Called by the event loop about once a second: also ends slow headers."""
        super().murder_keepalived()
        now = time.monotonic()
        for conn, (deadline, _) in list(self.reading.items()):
            if deadline <= now:
                self.drop(conn, TIMEOUT_ANSWER)
