"""Chunked timeline upload: ranges, order, repetition, completion, refusals."""

import os

import pytest

from cloudapi.timeline import merge_range
from ovclient import send

CHUNK = 64 * 1024


def session_bytes(size, seed=7):
    return bytes((i * 31 + seed + (i >> 9)) % 251 for i in range(size))


def chunks(data, size=CHUNK):
    return [(offset, data[offset:offset + size]) for offset in range(0, len(data), size)]


def test_out_of_order_and_repeated_chunks_end_complete_with_identical_bytes(coach, server,
                                                                           unique_serial):
    data = session_bytes(5 * CHUNK + 1234)
    record = coach.create_record(101, unique_serial, 256 * 500)
    parts = chunks(data)
    order = [3, 0, 5, 3, 1, 0, 4]  # chunk 2 is still missing after these
    for index in order:
        offset, piece = parts[index]
        answer = coach.upload_chunk(record["id"], piece, offset, len(data))
        assert answer.status == 200, answer
        assert answer.json()["status"] == "incomplete"

    held = coach.get(f"record/{record['id']}/").json()
    assert held["status"] == "incomplete"
    assert held["data_status"]["timeline"]["size"] == len(data) - len(parts[2][1])

    offset, piece = parts[2]
    final = coach.upload_chunk(record["id"], piece, offset, len(data)).json()
    assert final["status"] == "complete" and final["size"] == len(data)
    assert coach.get(f"record/{record['id']}/").json()["status"] == "complete"
    assert coach.get(f"sync/timeline/{record['id']}/").body == data
    with open(os.path.join(server.state_dir, "timelines", f"{record['id']}.dat"), "rb") as f:
        assert f.read() == data

    # A chunk sent again after completion changes nothing.
    again = coach.upload_chunk(record["id"], parts[0][1], 0, len(data))
    assert again.status == 200 and again.json()["status"] == "complete"
    assert coach.get(f"sync/timeline/{record['id']}/").body == data


@pytest.mark.parametrize("extra, status", [(0, 200), (-1, 400), (1, 400)])
def test_chunked_transfer_encoding_body(coach, unique_serial, extra, status):
    """A client streaming a file may send no Content-Length at all; the range still
    has to match the bytes that come."""
    data = session_bytes(3 * CHUNK + max(extra, 0), seed=3)
    size = 3 * CHUNK
    record = coach.create_record(101, unique_serial, 256 * 600)
    url = coach.base_url + f"sync/timeline/{record['id']}/"
    headers = coach.headers(url, content_type="application/octet-stream")
    headers["Content-Range"] = f"bytes 0-{size - 1}/{size}"
    body = data[:size + extra]
    pieces = iter([body[:1000], body[1000:CHUNK], body[CHUNK:]])
    answer = send("POST", url, pieces, headers, encode_chunked=True)
    assert answer.status == status, answer
    stored = coach.get(f"record/{record['id']}/").json()
    assert stored["status"] == ("complete" if status == 200 else "incomplete")
    if status == 200:
        assert coach.get(f"sync/timeline/{record['id']}/").body == data


@pytest.mark.parametrize("content_range, body", [
    (None, b"abc"),                      # no Content-Range
    ("bytes 0-2", b"abc"),               # no total
    ("items 0-2/10", b"abc"),
    ("bytes 5-2/10", b"abc"),            # first after last
    ("bytes 8-10/10", b"abc"),           # past the end
    ("bytes 0-3/10", b"abc"),            # body shorter than the range
    ("bytes 0-1/10", b"abc"),            # body longer than the range
])
def test_bad_ranges_get_400_with_json_error(coach, unique_serial, content_range, body):
    record = coach.create_record(101, unique_serial, 256 * 700)
    headers = {"Content-Range": content_range} if content_range else {}
    answer = coach.post(f"sync/timeline/{record['id']}/", body,
                        content_type="application/octet-stream", headers=headers)
    assert answer.status == 400 and answer.json()["error"]
    assert coach.get(f"record/{record['id']}/").json()["data_status"] is None


def test_total_must_agree_with_earlier_chunks(coach, unique_serial):
    record = coach.create_record(101, unique_serial, 256 * 800)
    assert coach.upload_chunk(record["id"], b"abcd", 0, 8).status == 200
    answer = coach.upload_chunk(record["id"], b"efgh", 4, 9)
    assert answer.status == 400 and "total" in answer.json()["error"]


@pytest.mark.parametrize("username, expected", [("ada", 404), ("coach", 409)])
def test_uploads_refused_for_hidden_or_deleted_records(server, unique_serial, username, expected):
    coach = server.client()
    record = coach.create_record(102, unique_serial, 256 * 900)
    coach.request("DELETE", f"record/{record['id']}/")
    answer = server.client(username, "orvane-demo").upload_chunk(record["id"], b"ab", 0, 2)
    assert answer.status == expected and answer.json()["error"]


@pytest.mark.parametrize("ranges, first, last, merged", [
    ([], 0, 9, [[0, 9]]),
    ([[0, 9]], 10, 19, [[0, 19]]),               # adjacent ranges join
    ([[10, 19]], 0, 4, [[0, 4], [10, 19]]),      # a gap stays
    ([[0, 4], [10, 19]], 5, 9, [[0, 19]]),       # filling the gap
    ([[0, 19]], 5, 9, [[0, 19]]),                # repeated inside
    ([[0, 4], [8, 9], [20, 30]], 3, 25, [[0, 30]]),
])
def test_merge_range(ranges, first, last, merged):
    assert merge_range(ranges, first, last) == merged
