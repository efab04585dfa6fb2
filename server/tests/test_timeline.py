"""Chunked timeline upload: ranges, order, repetition, completion, refusals, stalls."""

import http.client
import time
from urllib.parse import urlsplit

import pytest

from ovclient import send

CHUNK = 64 * 1024


def session_bytes(size, seed=7):
    return bytes((i * 31 + seed + (i >> 9)) % 251 for i in range(size))


@pytest.mark.parametrize("sent, ranges", [
    ([0], [[0, CHUNK - 1]]),
    ([0, 1], [[0, 2 * CHUNK - 1]]),                      # adjacent chunks are one range
    ([3, 1], [[CHUNK, 2 * CHUNK - 1], [3 * CHUNK, 4 * CHUNK - 1]]),
    ([4, 0, 4], [[0, CHUNK - 1], [4 * CHUNK, 4 * CHUNK + 99]]),  # the short last chunk
])
def test_an_incomplete_record_lists_the_ranges_it_holds(coach, unique_serial, sent, ranges):
    """What a client reads to resume an upload: the byte ranges held, merged, in order,
    beside the size and total, in the record and in the record list alike."""
    data = session_bytes(4 * CHUNK + 100, seed=5)
    record = coach.create_record(101, unique_serial, 256 * 400)
    for index in sent:
        piece = data[index * CHUNK:(index + 1) * CHUNK]
        assert coach.upload_chunk(record["id"], piece, index * CHUNK, len(data)).status == 200
    expected = {"size": sum(last - first + 1 for first, last in ranges), "total": len(data),
                "ranges": ranges}
    assert coach.get(f"record/{record['id']}/").json()["data_status"]["timeline"] == expected
    listed = coach.get(f"record/?device__exact={unique_serial}").json()["objects"]
    assert [found["data_status"]["timeline"] for found in listed] == [expected]


@pytest.mark.parametrize("extra, status", [(0, 200), (-1, 400), (1, 400)])
def test_chunked_transfer_encoding_body(coach, unique_serial, extra, status):
    """A client streaming a file may send no Content-Length at all; the range still
    has to match the bytes that come."""
    size = 3 * CHUNK
    data = session_bytes(size + extra, seed=3)
    record = coach.create_record(101, unique_serial, 256 * 600)
    url = coach.base_url + f"sync/timeline/{record['id']}/"
    headers = coach.headers(url, content_type="application/octet-stream")
    headers["Content-Range"] = f"bytes 0-{size - 1}/{size}"
    pieces = iter([data[:1000], data[1000:CHUNK], data[CHUNK:]])
    assert send("POST", url, pieces, headers, encode_chunked=True).status == status
    assert coach.held(record["id"]) == (("complete", size) if status == 200 else ("incomplete", 0))
    if status == 200:
        assert coach.get(f"sync/timeline/{record['id']}/").body == data


@pytest.mark.parametrize("content_range, status", [
    (None, 400),                        # no Content-Range
    ("bytes 0-2", 400),                 # no total
    ("items 0-2/10", 400),
    ("bytes 5-2/10", 400),              # first after last
    ("bytes 8-10/10", 400),             # past the end
    ("bytes 0-3/10", 400),              # body shorter than the range
    ("bytes 0-1/10", 400),              # body longer than the range
    ("bytes 0-2/" + "9" * 5000, 400),
    (f"bytes {2 ** 40 - 3}-{2 ** 40 - 1}/{2 ** 40}", 413),  # more than a device holds
])
def test_bad_ranges_are_refused_before_anything_is_stored(coach, unique_serial, content_range,
                                                          status):
    record = coach.create_record(101, unique_serial, 256 * 700)
    headers = {"Content-Range": content_range} if content_range else {}
    answer = coach.post(f"sync/timeline/{record['id']}/", b"abc",
                        content_type="application/octet-stream", headers=headers)
    assert answer.status == status and answer.json()["error"]
    assert coach.get(f"sync/timeline/{record['id']}/").status == 404


@pytest.mark.parametrize("who, deleted, total, status", [
    ("ada", False, 8, 404),     # a record it may not see
    ("coach", True, 8, 409),    # a deleted record
    ("coach", False, 9, 400),   # another total than earlier chunks gave
])
def test_chunks_a_record_does_not_take(server, coach, unique_serial, who, deleted, total, status):
    record = coach.create_record(102, unique_serial, 256 * 900)
    assert coach.upload_chunk(record["id"], b"abcd", 0, 8).status == 200
    if deleted:
        coach.request("DELETE", f"record/{record['id']}/")
    answer = server.client(who).upload_chunk(record["id"], b"efgh", 4, total)
    assert answer.status == status and answer.json()["error"]
    assert coach.held(record["id"])[1] == 4


def begin_upload(client, record_id, total, length, sent):
    """A chunk upload whose body stops after the bytes sent; the caller may send the rest."""
    url = urlsplit(client.base_url + f"sync/timeline/{record_id}/")
    connection = http.client.HTTPConnection(url.hostname, url.port, timeout=20)
    connection.putrequest("POST", url.path)
    headers = client.headers(url.geturl(), content_type="application/octet-stream")
    headers.update({"Content-Range": f"bytes 0-{length - 1}/{total}",
                    "Content-Length": str(length)})
    for name, value in headers.items():
        connection.putheader(name, value)
    connection.endheaders(sent)
    time.sleep(0.5)  # the server is now waiting for the rest of the body
    return connection


def test_a_stalled_upload_holds_up_no_other_chunk_and_is_dropped(coach, unique_serial):
    record = coach.create_record(101, unique_serial, 256 * 1000)
    stalled = begin_upload(coach, record["id"], 8, 4, b"ab")
    assert coach.upload_chunk(record["id"], b"efgh", 4, 8, timeout=5).status == 200
    assert stalled.getresponse().status == 408  # after the server's idle timeout
    assert coach.held(record["id"]) == ("incomplete", 4)


def test_a_delete_during_an_upload_stays_deleted(coach, unique_serial):
    record = coach.create_record(101, unique_serial, 256 * 1100)
    upload = begin_upload(coach, record["id"], 4, 4, b"ab")
    assert coach.request("DELETE", f"record/{record['id']}/", timeout=5).status == 204
    upload.send(b"cd")
    assert upload.getresponse().status == 409
    assert coach.held(record["id"]) == ("deleted", 0)
