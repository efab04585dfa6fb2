"""serve.sh: restarting on the same state keeps the data and re-seeds without duplicates."""

import subprocess

import pytest
from conftest import DEMO, SERVER_DIR, Server


def test_restart_keeps_data_and_seeds_once(tmp_path):
    first = Server(tmp_path).wait_ready()
    try:
        record = first.client().create_record(104, "RESTART0001", 256 * 42)
        first.client().upload_chunk(record["id"], b"kept", 0, 4)
    finally:
        first.stop()

    again = Server(tmp_path).wait_ready()
    try:
        coach = again.client()
        assert coach.get(f"sync/timeline/{record['id']}/").body == b"kept"
        assert coach.get(f"record/{record['id']}/").json()["status"] == "complete"
        permissions = coach.get("bundle_permission/?bundle=/api/bundle/1/&limit=0").json()
        assert [p["user_target"]["id"] for p in permissions["objects"]] == DEMO["athlete_ids"]
        assert [t["name"] for t in coach.get("team/?limit=0").json()["objects"]] == \
            [t["name"] for t in DEMO["teams"]]
    finally:
        again.stop()


@pytest.mark.parametrize("args", [["--port", "eighty"], ["--port"], ["--colour", "red"]])
def test_bad_arguments_are_refused(args):
    result = subprocess.run([str(SERVER_DIR / "serve.sh"), *args], capture_output=True,
                            text=True, timeout=30)
    assert result.returncode == 2 and "usage" in result.stderr
