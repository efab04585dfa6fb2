"""The main job end to end with real processes: a device plugged into the emulator while a headless
ovservices is signed in to ovcloud ends with every session the account may see on the server byte for
byte, and the others left on the device."""

from processes import DEMO, Cloud, built, cloud, devsim, service  # noqa: F401

# 12,000 pages are 6,144,000 bytes: more than one 5 MiB upload chunk.
PAGES = [40, 12000, 300, 30]
USERS = [101, 102, 103, 106]  # 106 is not one of the coach's athletes: the session stays on the device alone


def test_every_session_arrives_byte_for_byte(service, devsim, cloud):
    service.start().sign_in()
    serial = devsim.plug_sessions("OVR0000000000301", PAGES, ",".join(map(str, USERS)), "--default-user", "101")

    def synced():  # counted: a session listed by mistake fails the checks below rather than this wait
        return [s["syncStatus"] for s in (service.device(serial) or {"sessions": []})["sessions"]].count(4)
    service.wait(lambda: synced() == len(PAGES) - 1, 600, "every session synced", interval=1)

    sessions = devsim.sessions(serial)
    records = {int(r["start"]) // 256: r for r in cloud.records(serial)}
    status = {s["startSeconds"]: s for s in service.device(serial)["sessions"]}
    for session in sessions:
        expected = devsim.dump(serial, session["index"])
        assert len(expected) == session["page_count"] * 512
        folder = service.store / serial / f"{session['start_seconds']:.6f}"
        if session["user"] == USERS[-1]:
            assert session["start_seconds"] not in records | status and not (folder / "session.dat").exists()
            continue
        record = records[session["start_seconds"]]
        assert (record["status"], record["user"]["id"], record["npages"]) == (
            "complete", session["user"], session["page_count"])
        assert cloud.timeline(record) == expected, f"timeline of session {session['index']} differs"
        assert (folder / "session_data.dat").read_bytes() == expected

        shown = status[session["start_seconds"]]
        assert (shown["pages"], shown["user"], shown["syncStatusText"]) == (
            session["page_count"], session["user"], "Synced")
    assert len(records) == len(sessions) - 1
    final = service.status()
    assert (final["user"]["username"], final["storing"], final["syncing"]) == (DEMO["username"], False, False)


def test_start_up_signs_out_when_the_stored_password_is_refused(service, devsim, tmp_path):
    cloud = Cloud(tmp_path)  # its own server: the password changes
    try:
        service.use_cloud(cloud)
        service.start().sign_in()
        serial = devsim.plug_sessions("OVR0000000000307", [20])
        service.wait(lambda: service.synced(serial), 300, "the session synced")
        # Still plugged: its report at start-up may start the first refresh before start-up asks for it.
        assert service.command("quit").returncode == 0
        service.process.wait(timeout=30)

        cloud.set_password(DEMO["username"], "changed-elsewhere")
        service.start().wait(lambda: service.status()["user"] is None, 60, "the sign-out")
        service.stop()
        service.start()
        assert service.status()["user"] is None  # the credential is gone, not only hidden
    finally:
        cloud.stop()


def test_a_replug_before_the_session_list_answers_downloads_again(service, devsim):
    service.start().sign_in()
    serial = devsim.plug_sessions("OVR0000000000308", [3000, 40])
    service.wait(lambda: service.synced(serial, 2), 300, "the first download")
    # The list is refused once: the run waits to retry it on an attachment that is about to leave.
    devsim.run("fault", serial, "--refuse", "--op", "sessions", "--times", "1")
    devsim.run("unplug", serial)
    devsim.run("plug", "--serial", serial)
    service.wait(lambda: service.status()["storing"], 30, "the download", interval=0.05)
    devsim.run("unplug", serial)
    devsim.run("plug", "--serial", serial)
    service.wait(lambda: (service.device(serial) or {}).get("fetchStatus") in (2, 3)
                 and not service.status()["storing"], 120, "the download to end")
    device = service.device(serial)
    assert (device["fetchStatus"], len(device["sessions"])) == (2, 2), service.output()[-3000:]
