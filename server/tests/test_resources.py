"""The read resources as the desktop client reads them, and the list format."""

import json

import pytest
from conftest import DEMO

ATHLETES = DEMO["athlete_ids"]


def assert_keys_sorted(body):
    def check(pairs):
        keys = [key for key, _ in pairs]
        assert keys == sorted(keys), keys
        return dict(pairs)

    json.loads(body, object_pairs_hook=check)


def assert_full_user(user, user_id):
    assert user["id"] == user_id and isinstance(user["id"], int)
    assert user["resource_uri"] == f"/api/user/{user_id}/"
    assert {"first_name", "last_name", "username", "email"} <= user.keys()
    profile = user["profile"]
    assert profile["gender"] in ("M", "F")
    assert len(profile["date_of_birth"]) == 10 and profile["date_of_birth"][4] == "-"
    assert {"height", "weight", "resource_uri"} <= profile.keys()


def test_account_lists_the_signed_in_user_alone(coach):
    answer = coach.get("account/")
    assert answer.status == 200
    assert_keys_sorted(answer.body)
    listing = answer.json()
    assert listing["meta"] == {"limit": 500, "next": None, "offset": 0, "previous": None,
                               "total_count": 1}
    [user] = listing["objects"]
    assert_full_user(user, DEMO["user_id"])
    assert user["username"] == DEMO["username"]


def test_sign_in_with_email_as_user_name(server):
    user = DEMO["users"][1]
    answer = server.client(user["email"], DEMO["password"]).get("account/")
    assert answer.status == 200
    assert answer.json()["objects"][0]["id"] == user["id"]


def test_bundle_permissions_name_the_coach_athletes(coach):
    answer = coach.get("bundle_permission/?bundle=/api/bundle/1/&limit=0")
    assert answer.status == 200
    assert_keys_sorted(answer.body)
    permissions = answer.json()["objects"]
    assert [p["user_target"]["id"] for p in permissions] == ATHLETES
    for permission in permissions:
        assert permission["bundle"] == "/api/bundle/1/"
        assert permission["resource_uri"].startswith("/api/bundle_permission/")
        assert_full_user(permission["user_allowed"], DEMO["user_id"])
        assert_full_user(permission["user_target"], permission["user_target"]["id"])
    assert coach.get("bundle_permission/?bundle=/api/bundle/2/&limit=0").json()["objects"] == []


@pytest.mark.parametrize("username, team_names", [
    ("coach", ["Sprint", "Endurance", "Juniors"]),  # manages all three
    ("ada", ["Sprint"]),                            # member of one
    ("felix", ["Juniors"]),
])
def test_teams_are_those_managed_or_joined(server, username, team_names):
    teams = server.client(username, DEMO["password"]).get("team/?limit=0").json()["objects"]
    assert [team["name"] for team in teams] == team_names
    described = {team["name"]: team["members"] for team in DEMO["teams"]}
    for team in teams:
        assert [member["id"] for member in team["members"]] == described[team["name"]]
        for member in team["members"]:
            assert_full_user(member, member["id"])


@pytest.mark.parametrize("username, path, status", [
    ("coach", "user/101/", 200),         # a bundle target
    ("coach", "user/106/", 404),         # in the coach's team, but no permission
    ("ada", "user/101/", 200),           # oneself
    ("ada", "user/100/", 404),           # permissions are one-way
    ("coach", "bundle/1/", 200),
    ("coach", "profile/999/", 404),
])
def test_who_may_see_which_user(server, username, path, status):
    assert server.client(username, DEMO["password"]).get(path).status == status


def test_user_list_is_oneself_and_bundle_targets(coach):
    users = coach.get("user/?limit=0").json()["objects"]
    assert [user["id"] for user in users] == [DEMO["user_id"], *ATHLETES]


def test_device_resource_appears_with_its_first_record(coach, unique_serial):
    assert coach.get(f"device/{unique_serial}/").status == 404
    coach.create_record(101, unique_serial, 256 * 1000)
    device = coach.get(f"device/{unique_serial}/").json()
    assert device == {"serial": unique_serial, "resource_uri": f"/api/device/{unique_serial}/"}


def test_api_errors_are_json(coach):
    answer = coach.get("record/999999/")
    assert answer.status == 404
    assert "error" in answer.json()
    answer = coach.get("no_such_resource/")
    assert answer.status == 404 and "error" in answer.json()
