"""Fault injection: each fault on a server of its own, started with it enabled."""

import http.client
import time

import pytest
from django.core.exceptions import ImproperlyConfigured

from ovcloud import faults
from ovclient import record_body, send

DATA = bytes(range(256)) * 64  # 16 KiB, sent as four 4 KiB chunks


def test_chunk_faults_in_sequence(start_server):
    coach = start_server(OVCLOUD_FAULT_FAIL_CHUNK="1:503", OVCLOUD_FAULT_RESET_CHUNK="2",
                         OVCLOUD_FAULT_DROP_ANSWER_CHUNK="3", OVCLOUD_FAULT_DELAY_MS="400",
                         OVCLOUD_FAULT_DELAY_PATH="/api/sync/").client()
    record = coach.create_record(101, "FAULTY00001", 256 * 100)
    quarter = len(DATA) // 4

    def upload(index):
        return coach.upload_chunk(record["id"], DATA[index * quarter:(index + 1) * quarter],
                                  index * quarter, len(DATA))

    # 1st chunk: refused with the chosen status, nothing stored.
    answer = upload(0)
    assert answer.status == 503 and answer.json()["error"] and coach.held(record["id"])[1] == 0
    # 2nd chunk: the connection is reset while the body is read; nothing counts.
    # 3rd chunk: stored, but the answer never comes.
    for index, stored in [(1, 0), (2, quarter)]:
        with pytest.raises((ConnectionError, http.client.RemoteDisconnected)):
            upload(index)
        assert coach.held(record["id"])[1] == stored
    # From then on the server behaves, answers to uploads late.
    for index in (0, 1, 3):
        started = time.monotonic()
        assert upload(index).status == 200
        assert time.monotonic() - started >= 0.4
    assert coach.get(f"sync/timeline/{record['id']}/").body == DATA
    assert coach.held(record["id"]) == ("complete", len(DATA))
    started = time.monotonic()  # the delay holds only answers under its path
    assert coach.get("account/").status == 200 and time.monotonic() - started < 0.4


def test_record_creation_faults_in_sequence(start_server):
    coach = start_server(OVCLOUD_FAULT_FAIL_RECORD="1:503", OVCLOUD_FAULT_RESET_RECORD="2").client()

    def held():
        return len(coach.get("record/?device__exact=FAULTYREC01").json()["objects"])

    answer = coach.post("record/", record_body(101, "FAULTYREC01", 256 * 1000))
    assert answer.status == 503 and answer.json()["error"] and held() == 0
    with pytest.raises((ConnectionError, http.client.RemoteDisconnected)):
        coach.post("record/", record_body(101, "FAULTYREC01", 256 * 2000))
    # Chunks are counted apart: the 3rd creation and its first chunk go through.
    record = coach.create_record(101, "FAULTYREC01", 256 * 3000)
    assert coach.upload_chunk(record["id"], b"x" * 512, 0, 512).status == 200
    assert held() == 1


def test_unauthorized_to_everything(start_server):
    refusing = start_server(OVCLOUD_FAULT_UNAUTHORIZED="1")
    answer = refusing.client().get("account/")
    assert answer.status == 401 and answer.headers["WWW-Authenticate"].startswith("Basic")
    # The site root still answers, with the Date the client reads network time from.
    root = send("HEAD", refusing.root, None, {})
    assert root.status == 200 and root.headers["Date"]


@pytest.mark.parametrize("env", [
    {"OVCLOUD_FAULT_FAIL_CHUNK": "3"},
    {"OVCLOUD_FAULT_FAIL_CHUNK": "0:500"},
    {"OVCLOUD_FAULT_FAIL_CHUNK": "2:700"},
    {"OVCLOUD_FAULT_RESET_CHUNK": "x"},
    {"OVCLOUD_FAULT_DELAY_MS": "soon"},
    {"OVCLOUD_FAULT_RESET_CHUNK": "2", "OVCLOUD_FAULT_DROP_ANSWER_CHUNK": "4,2"},
])
def test_mistyped_fault_settings_stop_the_start(monkeypatch, env):
    for name, value in env.items():
        monkeypatch.setenv(name, value)
    with pytest.raises(ImproperlyConfigured):
        faults.plan_from_environment()

