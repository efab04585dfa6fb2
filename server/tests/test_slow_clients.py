"""Clients that send their request headers slowly hold up nobody else."""

import http.client
import json
import socket
import threading
import time

from ovclient import record_body

SLOW_CONNECTIONS = 40  # more than the test server's 2 workers x 8 threads


def trickle(sockets, stop):
    """One header byte per connection every half second: never a complete header block,
    and never idle long enough for a per-read timeout to notice."""
    while not stop.wait(0.5):
        for sock in sockets:
            try:
                sock.send(b"x")
            except OSError:
                pass  # dropped by the server: what the test expects in the end


def kept_alive_requests(server, serial):
    """Requests on one connection, the second a chunk refused before its body is read."""
    client = server.client()
    record = client.create_record(101, serial, 256)
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    requests = [("GET", "account/", None, {}),
                ("POST", f"sync/timeline/{record['id']}/", bytes(1 << 20),
                 {"Content-Range": "bytes 0-9/10", "Content-Type": "application/octet-stream"}),
                ("POST", "record/", json.dumps(record_body(101, serial, 512)), {})]
    statuses = []
    for method, path, body, headers in requests:
        began = time.monotonic()
        connection.request(method, "/api/" + path, body=body,
                           headers=dict(client.headers(client.base_url + path), **headers))
        answer = connection.getresponse()
        answer.read()  # before the next request on the connection
        statuses.append(answer.status)
        assert time.monotonic() - began < 2
    connection.close()
    return statuses


def test_slow_headers_hold_up_no_other_request_and_are_dropped(start_server, unique_serial):
    server = start_server(OVCLOUD_HEADER_TIMEOUT="4")
    sockets = [socket.create_connection(("127.0.0.1", server.port)) for _ in range(SLOW_CONNECTIONS)]
    stop = threading.Event()
    for sock in sockets:
        sock.sendall(b"GET /api/account/ HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ")
    trickler = threading.Thread(target=trickle, args=(sockets, stop))
    trickler.start()
    try:
        time.sleep(1)
        assert kept_alive_requests(server, unique_serial) == [200, 400, 201]
        time.sleep(5)  # past the header timeout
        sockets[0].settimeout(5)
        assert sockets[0].recv(64).startswith(b"HTTP/1.1 408 ")
    finally:
        stop.set()
        trickler.join()
        for sock in sockets:
            sock.close()
