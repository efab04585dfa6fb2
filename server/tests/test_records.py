"""The record resource: creation, what it accepts and refuses, the client's queries, paging."""

import json

import pytest
from django.contrib.auth import get_user_model

from cloudapi.models import Device, Record
from conftest import DEMO
from ovclient import record_body


def test_created_record_answers_201_with_the_whole_object(coach, unique_serial):
    answer = coach.post("record/", record_body(102, unique_serial, 2560, npages=7, data="AAECAwQ="))
    assert answer.status == 201
    record = answer.json()
    assert answer.headers["Location"] == record["resource_uri"] == f"/api/record/{record['id']}/"
    assert record["status"] == "incomplete" and record["data_status"] is None
    assert (record["data"], record["npages"], record["n_uploaded_timelines"]) == ("AAECAwQ=", 7, 0)
    assert record["device"] == f"/api/device/{unique_serial}/"
    assert record["user"]["id"] == 102 and record["user"]["profile"]["gender"] == "M"


@pytest.mark.parametrize("fields, stored", [
    # Fractions of a unit are cut, as the client cuts them in its queries.
    ({"start": 2560.75, "end": 5120.9}, {"start": 2560, "end": 5120}),
    # A device clock set back while recording: kept, as a session of no length.
    ({"start": 256 * 9, "end": 256 * 2}, {"start": 256 * 9, "end": 256 * 9}),
    # Device texts are NUL-padded.
    ({"dev_id": "UID\0\0\0", "soft_uid": "SOFT\0", "firmware_rev": "1.4.2\0x"},
     {"dev_id": "UID", "soft_uid": "SOFT", "firmware_rev": "1.4.2"}),
])
def test_device_values_are_normalised_not_refused(coach, unique_serial, fields, stored):
    record = coach.create_record(101, unique_serial, 256, **fields)
    assert {key: record[key] for key in stored} == stored


@pytest.mark.parametrize("username, owner, status", [
    ("coach", 100, 201),   # oneself
    ("coach", 105, 201),   # a bundle target
    ("coach", 106, 403),   # anyone else is refused
    ("ada", 102, 403),
    ("coach", 999, 400),   # no such user
])
def test_who_may_create_records_for_whom(server, unique_serial, username, owner, status):
    answer = server.client(username, DEMO["password"]).post(
        "record/", record_body(owner, unique_serial, 256))
    assert answer.status == status, answer
    if status != 201:
        assert answer.json()["error"]


@pytest.mark.parametrize("body, status", [
    (b"not json", 400),
    (b"[]", 400),
    (b"[" * 20000 + b"]" * 20000, 400),            # nested past the recursion limit
    ({"user": None}, 400),
    ({"start": "x"}, 400),
    ({"start": 10 ** 400}, 400),                     # an integer no float holds
    ({"user": "/api/person/101/"}, 400),
    ({"user": "/api/user/99999999999999999999/"}, 400),
    ({"user": "/api/user/\u0661\u0660\u0661/"}, 400),  # Arabic-Indic digits for 101
    ({"device": "/api/device/S\0/"}, 400),
    ({"device": f"/api/device/{'S' * 65}/"}, 400),
    ({"npages": 2 ** 63}, 400),
    ({"soft_protocole": 2 ** 64}, 400),
    ({"data": "A" * 100_000}, 413),
])
def test_hostile_record_bodies_get_4xx_and_create_nothing(coach, unique_serial, body, status):
    if isinstance(body, dict):
        body = json.dumps(record_body(101, unique_serial, 256, **body)).encode()
    answer = coach.post("record/", body)
    assert answer.status == status and answer.json()["error"], answer
    assert not Record.objects.filter(device_id=unique_serial).exists()


@pytest.mark.parametrize("method, path, status", [
    ("GET", "record/?limit=-1", 400),
    ("GET", "record/?limit=%C2%B2", 400),                   # superscript two
    ("GET", "record/?offset=" + "9" * 30, 400),
    ("GET", "record/?start__gte=soon", 400),
    ("GET", "record/?start__exact=" + "9" * 20, 400),
    ("GET", "record/?npages__exact=%C2%B2", 400),
    ("GET", "record/?user__exact=someone", 400),
    ("GET", "record/?user__exact=/api/user/99999999999999999999/", 400),
    ("GET", "record/?device__exact=S%00", 400),
    ("GET", "bundle_permission/?bundle=" + "9" * 4000, 400),
    ("GET", "record/99999999999999999999/", 404),
    ("GET", "user/%C2%B2/", 404),
    ("DELETE", "record/99999999999999999999/", 404),
    ("POST", "sync/timeline/99999999999999999999/", 404),
    ("OPTIONS", "record/", 405),
])
def test_hostile_queries_and_ids_get_4xx(coach, method, path, status):
    answer = coach.request(method, path)
    assert answer.status == status and answer.json()["error"], answer


def test_records_of_others_stay_hidden(server, unique_serial):
    coach = server.client()
    coach.create_record(101, unique_serial, 256 * 10)
    coach.create_record(102, unique_serial, 256 * 20)
    seen = server.client("ada", DEMO["password"]).get(f"record/?device__exact={unique_serial}")
    assert [record["user"]["id"] for record in seen.json()["objects"]] == [101]


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
    assert len(ids(f"start__exact=2560.9&device__exact={serial}")) == 2
    assert len(ids(f"start__gte=2560&start__lte=2816&limit=500&device__exact={serial}")) == 2
    assert ids(f"end__exact={2560 + 256 * 60}&device__exact={serial}&npages__exact=3") == \
        [ten_seconds["id"]]
    assert ids(f"user__exact=/api/user/101/&device__exact={serial}X") == [other_device["id"]]
    # Unknown filters are ignored; an empty query lists everything visible.
    assert len(ids(f"device__exact={serial}&colour=blue")) == 3
    assert other_device["id"] in ids("")


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
    query = f"start__gte={256 * 1_000_000}&limit=500&device__exact={paged_serial}"
    pages = [coach.get("record/?" + query).json()]
    while pages[-1]["meta"]["next"]:
        # Follow the link as the client does: the offset from the "offset=" piece.
        offset = pages[-1]["meta"]["next"].rsplit("offset=", 1)[1]
        pages.append(coach.get(f"record/?{query}&offset={offset}").json())

    seen = [record["id"] for page in pages for record in page["objects"]]
    assert [len(page["objects"]) for page in pages] == [500, 500, 200]
    assert len(set(seen)) == 1200 and seen == sorted(seen)
    base = f"/api/record/?start__gte={256 * 1_000_000}&device__exact={paged_serial}&limit=500"
    assert [page["meta"]["next"] for page in pages] == \
        [f"{base}&offset=500", f"{base}&offset=1000", None]
    assert [page["meta"]["previous"] for page in pages] == \
        [None, f"{base}&offset=0", f"{base}&offset=500"]


@pytest.mark.parametrize("query, limit, next_link", [
    ("limit=0", 1000, "limit=1000&offset=1000"),      # everything, up to the maximum
    ("offset=1000000&limit=500", 500, None),          # past the end
])
def test_limits_and_offsets(coach, paged_serial, query, limit, next_link):
    meta = coach.get(f"record/?device__exact={paged_serial}&{query}").json()["meta"]
    assert meta["limit"] == limit and meta["total_count"] == 1200
    prefix = f"/api/record/?device__exact={paged_serial}&"
    assert meta["next"] == (prefix + next_link if next_link else None)


def test_deleting_a_record_marks_it_deleted(coach, unique_serial):
    record = coach.create_record(101, unique_serial, 512)
    assert coach.request("DELETE", f"record/{record['id']}/").status == 204
    assert coach.get(f"record/{record['id']}/").json()["status"] == "deleted"
