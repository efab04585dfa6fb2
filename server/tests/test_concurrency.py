"""Several uploaders of one session at once, across worker processes: one record, all its bytes."""

import threading

import pytest

SESSIONS = 6
UPLOADERS = 6  # per session, all at once
CHUNK = 64


def find_or_create(client, serial, start):
    """What the desktop service does before its first chunk: look the session up, else create it."""
    query = f"record/?start__exact={start}&user__exact=101&device__exact={serial}"
    found = client.get(query).json()["objects"]
    if found:
        return found[0]
    answer = client.post("record/", {"user": "/api/user/101/", "device": f"/api/device/{serial}/",
                                     "start": start, "end": start + 256, "npages": 1})
    assert answer.status in (200, 201), answer
    return answer.json()


def upload_session(client, serial, start, barrier, failures):
    try:
        barrier.wait()
        record = find_or_create(client, serial, start)
        data = start.to_bytes(8, "big") * (2 * CHUNK // 8)
        for first in (0, CHUNK):
            answer = client.upload_chunk(record["id"], data[first:first + CHUNK], first, len(data))
            assert answer.status == 200, answer
    except Exception as failure:  # reported by the test's thread
        failures.append(failure)


@pytest.mark.parametrize("database", ["sqlite", "postgresql"])
def test_concurrent_uploads_of_one_session_make_one_complete_record(start_server, request,
                                                                    database, unique_serial):
    env = {"OVCLOUD_WORKERS": "4", "OVCLOUD_DATABASE_URL": ""}  # empty: SQLite
    if database == "postgresql":
        env["OVCLOUD_DATABASE_URL"] = request.getfixturevalue("postgres").database("race")
    server = start_server(**env)
    starts = [256 * (1_000 + i) for i in range(SESSIONS)]
    barrier, failures = threading.Barrier(SESSIONS * UPLOADERS), []
    threads = [threading.Thread(target=upload_session,
                                args=(server.client(), unique_serial, start, barrier, failures))
               for start in starts for _ in range(UPLOADERS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures, failures[0]
    records = server.records(unique_serial)
    assert sorted(record["start"] for record in records) == starts
    for record in records:
        assert record["status"] == "complete"
        assert server.timeline(record) == record["start"].to_bytes(8, "big") * (2 * CHUNK // 8)
