"""serve.sh and what it runs first: arguments, exposure, seeding."""

import os
import sqlite3
import subprocess

import pytest
from conftest import DEMO, SERVER_DIR
from django.contrib.auth import get_user_model
from django.core.management import CommandError, call_command

from ovcloud import config


@pytest.mark.parametrize("args", [["--port", "eighty"], ["--port"], ["--colour", "red"]])
def test_bad_arguments_are_refused(args):
    result = subprocess.run([str(SERVER_DIR / "serve.sh"), *args], capture_output=True,
                            text=True, timeout=30)
    assert result.returncode == 2 and "usage" in result.stderr


@pytest.mark.parametrize("bind, env, refused", [
    ("127.0.0.1", {}, False),
    ("::1", {}, False),
    ("localhost", {}, False),
    ("0.0.0.0", {}, True),
    ("192.0.2.7", {"OVCLOUD_API_KEY": "OwnKey0123456789"}, True),
    ("0.0.0.0", {"OVCLOUD_API_KEY": "OwnKey0123456789", "OVCLOUD_API_SECRET": "Own" * 13}, False),
    # On loopback behind a reverse proxy that serves it to everyone.
    ("127.0.0.1", {"OVCLOUD_SITE_URL": "https://cloud.example.org/"}, True),
])
def test_published_secrets_never_leave_loopback(monkeypatch, bind, env, refused):
    for name, value in env.items():
        monkeypatch.setenv(name, value)
    assert (config.exposure_problem(bind) is not None) == refused
    if refused:
        with pytest.raises(CommandError, match="OVCLOUD_API_"):
            call_command("prepare_server", bind=bind, verbosity=0)


# What a restart keeps is the fault campaign's (ovcloud killed mid-upload and started again).
def test_a_restart_seeds_nothing_again(coach):
    users = get_user_model().objects.filter(pk__in=[1, 104])
    users.update(is_active=False)
    try:
        call_command("prepare_server", bind="127.0.0.1", verbosity=0)
        assert not users.filter(is_active=True).exists()
        assert not get_user_model().objects.get(pk=1).check_password("orvane-admin")
        for listing, described in [("team", "teams"), ("bundle_permission", "bundle_permissions")]:
            assert coach.get(f"{listing}/").json()["meta"]["total_count"] == len(DEMO[described])
    finally:
        users.update(is_active=True)


def test_an_older_database_with_duplicate_records_keeps_the_fullest_live(tmp_path):
    """Databases from before the one-live-record rule may hold several records of one session."""
    env = dict(os.environ, OVCLOUD_STATE_DIR=str(tmp_path), OVCLOUD_DATABASE_URL="")  # SQLite

    def manage(*args):
        subprocess.run(["/usr/bin/python3", "manage.py", *args, "-v", "0"], cwd=SERVER_DIR,
                       env=env, check=True, timeout=120)

    manage("migrate", "auth")
    manage("migrate", "cloudapi", "0001")
    manage("seed_demo")
    database = sqlite3.connect(tmp_path / "ovcloud.sqlite3")
    database.execute("INSERT INTO cloudapi_device VALUES ('DUP1', '2026-01-01')")
    # (start, status, bytes held): three copies of one session, and another session.
    rows = [(256, "incomplete", 0), (256, "complete", 100), (256, "incomplete", 100),
            (512, "incomplete", 0)]
    for start, status, size in rows:
        database.execute(
            "INSERT INTO cloudapi_record (user_id, device_id, start, \"end\", data, dev_id, "
            "firmware_rev, npages, soft_protocole, soft_uid, status, created, timeline_ranges, "
            "timeline_size, n_uploaded_timelines) VALUES (101, 'DUP1', ?, ?, '', '', '', 0, 0, '', "
            "?, '2026-01-01', '[]', ?, 0)", (start, start, status, size))
    database.commit()
    manage("migrate")
    statuses = database.execute("SELECT status FROM cloudapi_record ORDER BY id").fetchall()
    assert [status for status, in statuses] == ["deleted", "complete", "deleted", "incomplete"]
