"""Fault injection on record creation: refused, reset before saving, saved with the answer lost."""

import http.client

import pytest

from ovclient import record_body

SERIAL = "FAULTYREC01"


def test_record_creation_faults_in_sequence(start_server):
    server = start_server(OVCLOUD_FAULT_FAIL_RECORD="1:503", OVCLOUD_FAULT_RESET_RECORD="2",
                          OVCLOUD_FAULT_DROP_ANSWER_RECORD="3")
    coach = server.client()

    def held():
        return len(coach.get(f"record/?device__exact={SERIAL}").json()["objects"])

    # 1st: refused with the chosen status, nothing created.
    answer = coach.post("record/", record_body(101, SERIAL, 256 * 1000))
    assert answer.status == 503 and answer.json()["error"] and held() == 0
    # 2nd: reset before anything is saved; 3rd: saved, then reset instead of the answer.
    for at, created in [(256 * 2000, 0), (256 * 3000, 1)]:
        with pytest.raises((ConnectionError, http.client.RemoteDisconnected)):
            coach.post("record/", record_body(101, SERIAL, at))
        assert held() == created
    # Chunks are counted apart: the 4th creation and its first chunk go through.
    record = coach.create_record(101, SERIAL, 256 * 4000)
    assert coach.upload_chunk(record["id"], b"x" * 512, 0, 512).status == 200
    assert held() == 2
