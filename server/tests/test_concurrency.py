"""Several uploaders of one session at once, across worker processes: one record, all its bytes."""

import threading
from concurrent.futures import ThreadPoolExecutor

import pytest
from ovclient import record_body

SESSIONS = 6
UPLOADERS = 6  # per session, all at once
CHUNK = 64


def session_bytes(start):
    return start.to_bytes(8, "big") * (2 * CHUNK // 8)


def upload_session(client, serial, start, barrier):
    """As the desktop service does: find the session's record, else create it; then the chunks."""
    barrier.wait()
    found = client.get(f"record/?start__exact={start}&user__exact=101&device__exact={serial}")
    record = (found.json()["objects"] or [None])[0] or \
        client.post("record/", record_body(101, serial, start)).json()
    data = session_bytes(start)
    for first in (0, CHUNK):
        answer = client.upload_chunk(record["id"], data[first:first + CHUNK], first, len(data))
        assert answer.status == 200, answer


@pytest.mark.parametrize("database", ["sqlite", "postgresql"])
def test_concurrent_uploads_of_one_session_make_one_complete_record(start_server, request,
                                                                    database, unique_serial):
    env = {"OVCLOUD_WORKERS": "4", "OVCLOUD_DATABASE_URL": ""}  # empty: SQLite
    if database == "postgresql":
        env["OVCLOUD_DATABASE_URL"] = request.getfixturevalue("postgres").database("race")
    server = start_server(**env)
    starts = [256 * (1_000 + i) for i in range(SESSIONS)] * UPLOADERS
    barrier = threading.Barrier(len(starts))
    with ThreadPoolExecutor(len(starts)) as pool:
        list(pool.map(lambda start: upload_session(server.client(), unique_serial, start, barrier),
                      starts))
    records = server.records(unique_serial)
    assert sorted(record["start"] for record in records) == sorted(set(starts))
    for record in records:
        assert record["status"] == "complete"
        assert server.timeline(record) == session_bytes(record["start"])
