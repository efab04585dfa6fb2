"""The main job end to end with real processes: a device plugged into the emulator while a headless
ovservices is signed in to ovcloud ends with every session on the server byte for byte."""

import os
import subprocess

from processes import DEMO, ROOT, Cloud, wait_until, built, cloud, devsim, service  # noqa: F401

# 12,000 pages are 6,144,000 bytes: more than one 5 MiB upload chunk.
PAGES = [40, 12000, 300]
VISIBLE_USERS = [101, 102, 103]
HIDDEN_USER = 106  # not one of the coach's athletes


def signed_in(service):
    return service.start().sign_in()


def all_synced(service, serial, count):
    device = service.device(serial)
    return device and len(device["sessions"]) == count and all(
        s["syncStatus"] == 4 for s in device["sessions"])


def test_every_session_arrives_byte_for_byte(service, devsim, cloud):
    signed_in(service)
    serial = devsim.plug("--serial", "OVR0000000000301", "--sessions", str(len(PAGES)),
                         "--pages", ",".join(map(str, PAGES)),
                         "--user", ",".join(map(str, VISIBLE_USERS)), "--default-user", "101")
    wait_until(lambda: all_synced(service, serial, len(PAGES)), 600, interval=1,
               what=f"every session of {serial} synced:\n{service.output()[-3000:]}")

    sessions = devsim.sessions(serial)
    records = {int(r["start"]) // 256: r for r in cloud.records(serial)}
    status = {s["startSeconds"]: s for s in service.device(serial)["sessions"]}
    for session in sessions:
        expected = devsim.dump(serial, session["index"])
        assert len(expected) == session["page_count"] * 512

        record = records[session["start_seconds"]]
        assert (record["status"], record["user"]["id"], record["npages"]) == (
            "complete", session["user"], session["page_count"])
        assert cloud.timeline(record) == expected, f"timeline of session {session['index']} differs"

        folder = service.store / serial / f"{session['start_seconds']:.6f}"
        assert (folder / "session_data.dat").read_bytes() == expected

        shown = status[session["start_seconds"]]
        assert (shown["pages"], shown["user"], shown["syncStatusText"]) == (
            session["page_count"], session["user"], "Synced")
    assert len(records) == len(sessions)
    final = service.status()
    assert (final["user"]["username"], final["storing"], final["syncing"]) == (DEMO["username"], False, False)


def test_sessions_of_a_user_the_account_cannot_see_are_left_on_the_device(service, devsim, cloud):
    signed_in(service)
    serial = devsim.plug("--serial", "OVR0000000000306", "--sessions", "2", "--pages", "30,50",
                         "--user", str(HIDDEN_USER))
    wait_until(lambda: (service.device(serial) or {}).get("fetchStatus") == 2, 300, interval=0.5,
               what=f"the download to end:\n{service.output()[-3000:]}")
    assert service.command("sync", serial).returncode == 0
    wait_until(lambda: not service.status()["syncing"], 120, interval=0.5, what="uploads to settle")
    # Nothing uploaded, listed or kept; still on the device.
    kept = list((service.store / serial).glob("*/session.dat"))
    assert (cloud.records(serial), service.device(serial)["sessions"], kept, len(devsim.sessions(serial))) == (
        [], [], [], 2)


def set_password(cloud, username, password):
    env = dict(os.environ, OVCLOUD_STATE_DIR=str(cloud.state_dir), DJANGO_SETTINGS_MODULE="ovcloud.settings")
    script = ("from django.contrib.auth.models import User; u = User.objects.get(username=%r); "
              "u.set_password(%r); u.save()" % (username, password))
    subprocess.run(["/usr/bin/python3", "manage.py", "shell", "-c", script], cwd=ROOT / "server", env=env,
                   check=True, capture_output=True, timeout=120)


def test_start_up_signs_out_when_the_stored_password_is_refused(service, devsim, tmp_path):
    cloud = Cloud(tmp_path)  # its own server: the password changes
    try:
        service.use_cloud(cloud)
        signed_in(service)
        serial = devsim.plug("--serial", "OVR0000000000307", "--sessions", "1", "--pages", "20", "--user", "101")
        wait_until(lambda: all_synced(service, serial, 1), 300, interval=0.5, what="the session synced")
        # Still plugged: its report at start-up may start the first refresh before start-up asks for it.
        assert service.command("quit").returncode == 0
        service.process.wait(timeout=30)

        set_password(cloud, DEMO["username"], "changed-elsewhere")
        service.start()
        wait_until(lambda: service.status()["user"] is None, 60, interval=0.5,
                   what=f"the sign-out:\n{service.output()[-6000:]}")
        service.stop()
        service.start()
        assert service.status()["user"] is None  # the credential is gone, not only hidden
    finally:
        cloud.stop()


def test_a_replug_before_the_session_list_answers_downloads_again(service, devsim):
    signed_in(service)
    serial = devsim.plug("--serial", "OVR0000000000308", "--sessions", "2", "--pages", "3000,40", "--user", "101")
    wait_until(lambda: all_synced(service, serial, 2), 300, interval=0.5, what="the first download")
    # The list is refused once: the run waits to retry it on an attachment that is about to leave.
    devsim.run("fault", serial, "--refuse", "--op", "sessions", "--times", "1")
    devsim.run("unplug", serial)
    devsim.run("plug", "--serial", serial)
    wait_until(lambda: service.status()["storing"], 30, interval=0.05, what="the download")
    devsim.run("unplug", serial)
    devsim.run("plug", "--serial", serial)
    wait_until(lambda: (service.device(serial) or {}).get("fetchStatus") in (2, 3)
               and not service.status()["storing"], 120, interval=0.5, what="the download to end")
    device = service.device(serial)
    assert (device["fetchStatus"], len(device["sessions"])) == (2, 2), service.output()[-3000:]

