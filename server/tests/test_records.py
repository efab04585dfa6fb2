"""The record resource: creation, access rules, the client's query strings, paging."""

import pytest
from django.contrib.auth import get_user_model

from cloudapi.models import Device, Record
from conftest import DEMO


def test_created_record_answers_201_with_the_whole_object(coach, unique_serial):
    data = "AAECAwQ="
    answer = coach.post("record/", {
        "data": data, "dev_id": "UID", "device": f"/api/device/{unique_serial}/",
        "start": 2560.75, "end": 5120.9, "firmware_rev": "3", "npages": 7,
        "soft_protocole": 2, "soft_uid": "SOFT", "user": "/api/user/102/"})
    assert answer.status == 201
    record = answer.json()
    assert answer.headers["Location"] == record["resource_uri"] == f"/api/record/{record['id']}/"
    # Fractions of a unit are cut, as the client cuts them in its queries.
    assert (record["start"], record["end"]) == (2560, 5120)
    assert record["status"] == "incomplete" and record["data_status"] is None
    assert record["data"] == data
    assert record["device"] == f"/api/device/{unique_serial}/"
    assert record["user"]["id"] == 102 and record["user"]["profile"]["gender"] == "M"
    assert (record["npages"], record["soft_protocole"], record["n_uploaded_timelines"]) == (7, 2, 0)


@pytest.mark.parametrize("username, owner, status", [
    ("coach", 100, 201),   # oneself
    ("coach", 105, 201),   # a bundle target
    ("coach", 106, 403),   # anyone else is refused
    ("ada", 102, 403),
    ("coach", 999, 400),   # no such user
])
def test_who_may_create_records_for_whom(server, unique_serial, username, owner, status):
    client = server.client(username, DEMO["password"])
    answer = client.post("record/", {"device": f"/api/device/{unique_serial}/", "start": 256,
                                     "end": 512, "user": f"/api/user/{owner}/"})
    assert answer.status == status, answer
    if status != 201:
        assert "error" in answer.json()


@pytest.mark.parametrize("body", [
    b"not json",
    b"[]",
    b'{"device": "/api/device/S/", "start": 1, "end": 2}',                         # no user
    b'{"device": "/api/device/S/", "start": 9, "end": 2, "user": "/api/user/101/"}',  # ends first
    b'{"device": "/api/device/S/", "start": "x", "end": 2, "user": "/api/user/101/"}',
    b'{"device": "S", "start": 1, "end": 2, "user": "/api/person/101/"}',
])
def test_malformed_record_bodies_get_400(coach, body):
    answer = coach.post("record/", body)
    assert answer.status == 400 and answer.json()["error"]


def test_records_of_others_stay_hidden(server, unique_serial):
    coach = server.client()
    coach.create_record(101, unique_serial, 256 * 10)
    coach.create_record(102, unique_serial, 256 * 20)
    ada = server.client("ada", DEMO["password"])
    seen = ada.get(f"record/?device__exact={unique_serial}").json()["objects"]
    assert [record["user"]["id"] for record in seen] == [101]


def test_client_query_strings(coach, unique_serial):
    """The queries as the desktop client writes them, unescaped and in its field order."""
    ten_seconds = coach.create_record(101, unique_serial, 2560, npages=3)
    coach.create_record(101, unique_serial, 2560, user="/api/user/102/")
    coach.create_record(101, unique_serial, 256 * 40, npages=5)
    other_device = coach.create_record(101, unique_serial + "X", 2560)

    def ids(query):
        answer = coach.get("record/?" + query)
        assert answer.status == 200, answer
        return [record["id"] for record in answer.json()["objects"]]

    serial = unique_serial
    assert ids(f"start__exact=2560&user__exact=101&device__exact={serial}") == [ten_seconds["id"]]
    assert len(ids(f"start__exact=2560&device__exact={serial}")) == 2
    assert len(ids(f"start__gte=2560&start__lte=2816&limit=500&device__exact={serial}")) == 2
    assert ids(f"end__exact={2560 + 256 * 60}&device__exact={serial}&npages__exact=3") == \
        [ten_seconds["id"]]
    assert ids(f"user__exact=/api/user/101/&device__exact={serial}X") == [other_device["id"]]
    # Unknown filters are ignored; an empty query lists everything visible.
    assert len(ids(f"device__exact={serial}&colour=blue")) == 3
    assert other_device["id"] in ids("")


def test_empty_filter_and_pages_past_the_end(coach):
    empty = coach.get("record/?")
    assert empty.status == 200
    far = coach.get("record/?offset=1000000&limit=500").json()
    assert far["objects"] == [] and far["meta"]["next"] is None
    assert far["meta"]["previous"] == "/api/record/?limit=500&offset=999500"


@pytest.mark.parametrize("query", ["limit=-1", "limit=ten", "offset=-5", "start__gte=soon",
                                   "user__exact=someone"])
def test_bad_query_values_get_400(coach, query):
    answer = coach.get("record/?" + query)
    assert answer.status == 400 and answer.json()["error"]


@pytest.fixture(scope="module")
def paged_serial(server):
    """1,200 records of one device, made directly in the server's database."""
    serial = "PAGED000001"
    device, _ = Device.objects.get_or_create(serial=serial)
    ada = get_user_model().objects.get(pk=101)
    Record.objects.bulk_create(
        Record(user=ada, device=device, start=256 * (1_000_000 + i), end=256 * (1_000_000 + i) + 100)
        for i in range(1200))
    return serial


def test_1200_records_paged_500_at_a_time_by_next_links(coach, paged_serial):
    query = f"start__gte={256 * 1_000_000}&start__lte={256 * 2_000_000}&limit=500" \
            f"&device__exact={paged_serial}"
    answer = coach.get("record/?" + query).json()
    pages, seen = [answer], []
    while True:
        seen += [record["id"] for record in answer["objects"]]
        if answer["meta"]["next"] is None:
            break
        # Follow the link as the client does: the offset from the "offset=" piece.
        offset = next(p for p in answer["meta"]["next"].split("&") if "offset=" in p).split("=")[1]
        answer = coach.get(f"record/?{query}&offset={offset}").json()
        pages.append(answer)

    assert [len(page["objects"]) for page in pages] == [500, 500, 200]
    assert len(set(seen)) == 1200 and seen == sorted(seen)
    assert [page["meta"]["total_count"] for page in pages] == [1200] * 3
    base = f"/api/record/?start__gte={256 * 1_000_000}&start__lte={256 * 2_000_000}" \
           f"&device__exact={paged_serial}"
    assert [page["meta"]["next"] for page in pages] == \
        [f"{base}&limit=500&offset=500", f"{base}&limit=500&offset=1000", None]
    assert [page["meta"]["previous"] for page in pages] == \
        [None, f"{base}&limit=500&offset=0", f"{base}&limit=500&offset=500"]


def test_limit_zero_means_everything_up_to_the_maximum(coach, paged_serial):
    meta = coach.get(f"record/?device__exact={paged_serial}&limit=0").json()["meta"]
    assert meta["limit"] == 1000
    assert meta["next"] == f"/api/record/?device__exact={paged_serial}&limit=1000&offset=1000"


def test_deleting_a_record_marks_it_deleted(coach, unique_serial):
    record = coach.create_record(101, unique_serial, 512)
    assert coach.request("DELETE", f"record/{record['id']}/").status == 204
    assert coach.get(f"record/{record['id']}/").json()["status"] == "deleted"
