"""The read resources as the desktop client reads them, and the list format."""

import pytest
from conftest import DEMO

ATHLETES = DEMO["athlete_ids"]


def assert_full_user(user, user_id):
    assert user["id"] == user_id and user["resource_uri"] == f"/api/user/{user_id}/"
    assert {"first_name", "last_name", "username", "email"} <= user.keys()
    assert user["profile"]["gender"] in ("M", "F")
    assert len(user["profile"]["date_of_birth"]) == 10


def test_account_lists_the_signed_in_user_alone(coach):
    listing = coach.get("account/").json()
    assert listing["meta"] == {"limit": 500, "next": None, "offset": 0, "previous": None,
                               "total_count": 1}
    [user] = listing["objects"]
    assert_full_user(user, DEMO["user_id"])


def test_bundle_permissions_and_user_list_name_the_coach_athletes(coach):
    permissions = coach.get("bundle_permission/?bundle=/api/bundle/1/&limit=0").json()["objects"]
    assert [p["user_target"]["id"] for p in permissions] == ATHLETES
    for permission in permissions:
        assert_full_user(permission["user_allowed"], DEMO["user_id"])
        assert_full_user(permission["user_target"], permission["user_target"]["id"])
    assert coach.get("bundle_permission/?bundle=/api/bundle/2/&limit=0").json()["objects"] == []
    assert [user["id"] for user in coach.get("user/?limit=0").json()["objects"]] == [DEMO["user_id"], *ATHLETES]


@pytest.mark.parametrize("username, team_names, visible", [
    ("coach", ["Sprint", "Endurance", "Juniors"], [100, *ATHLETES]),  # manages all three
    ("ada", ["Sprint"], [101]),                                       # member of one
    ("felix", ["Juniors"], [106]),
])
def test_teams_show_private_data_of_visible_members_only(server, username, team_names, visible):
    teams = server.client(username).get("team/?limit=0").json()["objects"]
    assert [team["name"] for team in teams] == team_names
    described = {team["name"]: team["members"] for team in DEMO["teams"]}
    for team in teams:
        assert [member["id"] for member in team["members"]] == described[team["name"]]
        for member in team["members"]:
            if member["id"] in visible:
                assert_full_user(member, member["id"])
            else:
                assert member["profile"] is None and "email" not in member
                assert member["last_name"] and member["resource_uri"]


@pytest.mark.parametrize("username, path, status", [
    ("coach", "user/101/", 200),         # a bundle target
    ("coach", "user/106/", 404),         # in the coach's team, but no permission
    ("ada", "user/101/", 200),           # oneself
    ("ada", "user/100/", 404),           # permissions are one-way
    ("coach", "bundle/1/", 200),
    ("coach", "profile/999/", 404),
    ("coach", "no_such_resource/", 404),
])
def test_who_may_see_which_user(server, username, path, status):
    answer = server.client(username).get(path)
    assert answer.status == status and (status == 200 or answer.json()["error"])


def test_device_resource_appears_with_its_first_record(coach, unique_serial):
    assert coach.get(f"device/{unique_serial}/").status == 404
    coach.create_record(101, unique_serial, 256 * 1000)
    device = coach.get(f"device/{unique_serial}/").json()
    assert device == {"serial": unique_serial, "resource_uri": f"/api/device/{unique_serial}/"}
