"""The record resource: creation, what it accepts and refuses, the client's queries, paging."""

import json

import pytest
from django.contrib.auth import get_user_model

from cloudapi.models import Device, Record
from conftest import DEMO
from ovclient import record_body


@pytest.mark.parametrize("fields, stored", [
    ({"npages": 7, "data": "AAECAwQ="}, {"status": "incomplete", "data_status": None, "npages": 7,
                                         "data": "AAECAwQ=", "n_uploaded_timelines": 0}),
    # Fractions of a unit are cut, as the client cuts them in its queries.
    ({"start": 2560.75, "end": 5120.9}, {"start": 2560, "end": 5120}),
    # A device clock set back while recording: kept, as a session of no length.
    ({"start": 256 * 9, "end": 256 * 2}, {"start": 256 * 9, "end": 256 * 9}),
    # Device texts are NUL-padded.
    ({"dev_id": "UID\0\0\0", "soft_uid": "SOFT\0", "firmware_rev": "1.4.2\0x"},
     {"dev_id": "UID", "soft_uid": "SOFT", "firmware_rev": "1.4.2"}),
])
def test_created_record_holds_what_the_device_meant(coach, unique_serial, fields, stored):
    answer = coach.post("record/", record_body(102, unique_serial, 256, **fields))
    record = answer.json()
    assert answer.status == 201 and answer.headers["Location"] == record["resource_uri"]
    assert {key: record[key] for key in stored} == stored
    assert (record["user"]["id"], record["device"]) == (102, f"/api/device/{unique_serial}/")


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
    assert answer.status == status and (status == 201 or answer.json()["error"]), answer


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
    ({"device": "/api/device/\udcff/"}, 400),        # a lone surrogate, escaped in JSON
    ({"device": f"/api/device/{'S' * 65}/"}, 400),
    ({"device": "/api/device/../"}, 400),            # would name the device list itself
    ({"device": "/api/device/S%2F..%2F/"}, 400),
    ({"firmware_rev": "1.4\n.2"}, 400),
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
    ("GET", "device/../", 404),
    ("GET", "sync/timeline/1/../../../../secret_key", 404),
    ("GET", "sync/timeline/..%2F..%2Fsecret_key/", 404),
])
def test_hostile_queries_and_ids_get_4xx(coach, method, path, status):
    answer = coach.request(method, path)
    assert answer.status == status and answer.json()["error"], answer


# 1,500 fit the request line and are more than Django parses; 10,000 do not fit it.
@pytest.mark.parametrize("count", [1_500, 10_000])
def test_too_many_query_parameters_get_400(coach, count):
    assert coach.get("record/?" + "&".join(["a"] * count)).status == 400


def test_records_of_others_stay_hidden(server, coach, unique_serial):
    coach.create_record(101, unique_serial, 256 * 10)
    coach.create_record(102, unique_serial, 256 * 20)
    seen = server.client("ada", DEMO["password"]).get(f"record/?device__exact={unique_serial}")
    assert [record["user"]["id"] for record in seen.json()["objects"]] == [101]


@pytest.mark.parametrize("query, found", [
    # As the desktop client writes them: unescaped, in its field order.
    ("start__exact=2560&user__exact=101&device__exact={S}", [0]),
    ("start__exact=2560.9&device__exact={S}", [0, 1]),
    ("start__gte=2560&start__lte=2816&limit=500&device__exact={S}", [0, 1]),
    ("end__exact=17920&device__exact={S}&npages__exact=3", [0]),
    ("user__exact=/api/user/101/&device__exact={S}X", [3]),
    ("device__exact={S}&colour=blue", [0, 1, 2]),  # unknown filters are ignored
])
def test_client_query_strings(coach, unique_serial, query, found):
    made = [coach.create_record(101, unique_serial, 2560, npages=3),
            coach.create_record(102, unique_serial, 2560),
            coach.create_record(101, unique_serial, 256 * 40),
            coach.create_record(101, unique_serial + "X", 2560)]
    answer = coach.get("record/?" + query.replace("{S}", unique_serial)).json()
    assert [record["id"] for record in answer["objects"]] == [made[i]["id"] for i in found]


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


@pytest.mark.parametrize("query, count, next_offset, previous_offset", [
    ("limit=500", 500, 500, None),
    ("limit=500&offset=500", 500, 1000, 0),
    ("limit=500&offset=1000", 200, None, 500),
    ("limit=0", 1000, 1000, None),                  # everything, up to the maximum
    ("offset=1000000&limit=500", 0, None, 999500),  # past the end
])
def test_pages_and_their_links(coach, paged_serial, query, count, next_offset, previous_offset):
    """Links keep the client's other parameters in its order, then limit and offset."""
    answer = coach.get(f"record/?start__gte=256&device__exact={paged_serial}&{query}").json()
    meta, ids = answer["meta"], [record["id"] for record in answer["objects"]]
    assert len(ids) == count and ids == sorted(ids) and meta["total_count"] == 1200

    def link(offset):
        return None if offset is None else \
            f"/api/record/?start__gte=256&device__exact={paged_serial}&limit={meta['limit']}&offset={offset}"
    assert (meta["next"], meta["previous"]) == (link(next_offset), link(previous_offset))


def test_a_session_has_one_live_record_and_a_deleted_one_makes_way(coach, unique_serial):
    first = coach.create_record(101, unique_serial, 256 * 50)
    again = coach.post("record/", record_body(101, unique_serial, 256 * 50))
    assert (again.status, again.json()["id"]) == (200, first["id"])
    assert coach.request("DELETE", f"record/{first['id']}/").status == 204
    second = coach.create_record(101, unique_serial, 256 * 50)
    assert second["id"] != first["id"]
