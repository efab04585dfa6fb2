"""A download whose device stops answering is shown as stalled within the stall time, logged once, and
picks up by itself once the device answers again, ending byte for byte on the server."""

from processes import Cloud, wait_until, built, cloud, devsim, service  # noqa: F401
from test_pipeline import all_synced, signed_in

SERIAL = "OVR0000000000331"
PAGES = 40000  # long enough to be caught downloading


def progress(service, serial=SERIAL):
    return (service.device(serial) or {}).get("progress") or {}


def test_a_stalled_download_is_shown_and_recovers_byte_for_byte(service, devsim, cloud):
    service.env.update(OV_STALL_SECONDS="4", OV_STALL_BACKOFF_SECONDS="2")
    signed_in(service)
    devsim.plug("--serial", SERIAL, "--sessions", "1", "--pages", str(PAGES), "--user", "101")
    wait_until(lambda: progress(service).get("bytesDone", 0) > 0, 120, interval=0.05, what="the download to start")
    devsim.run("fault", SERIAL, "--no-answer", "--op", "page")

    shown = wait_until(lambda: progress(service).get("stalled") and progress(service), 20, interval=0.25,
                       what=f"the download shown as stalled:\n{service.output()[-3000:]}")
    assert shown["step"] == "downloading" and (shown["index"], shown["count"]) == (1, 1)
    assert 0 < shown["bytesDone"] < PAGES * 512
    assert "stalled" in service.device(SERIAL)["progressText"]

    devsim.run("clear-faults", SERIAL)
    wait_until(lambda: all_synced(service, SERIAL, 1), 300, interval=1,
               what=f"the session synced after the stall:\n{service.output()[-3000:]}")
    assert cloud.timeline(cloud.records(SERIAL)[0]) == devsim.dump(SERIAL, 0)
    assert service.output().count("-Stalled: no progress") == 1


def test_a_stalled_upload_is_shown_and_recovers_byte_for_byte(service, devsim, tmp_path):
    serial = "OVR0000000000332"
    pages = 24000  # three upload chunks
    slow = Cloud(tmp_path, faults={"OVCLOUD_FAULT_DELAY_MS": "60000", "OVCLOUD_FAULT_DELAY_PATH": "/api/sync/"})
    try:
        service.use_cloud(slow)
        # The restart waits for the server to come back without its delay.
        service.env.update(OV_STALL_SECONDS="4", OV_STALL_BACKOFF_SECONDS="25")
        signed_in(service)
        devsim.plug("--serial", serial, "--sessions", "1", "--pages", str(pages), "--user", "101")
        shown = wait_until(lambda: progress(service, serial).get("stalled") and progress(service, serial), 120,
                           interval=0.25,
                           what=f"the upload shown as stalled:\n{service.output()[-3000:]}")
        assert shown["step"] == "uploading" and shown["count"] == 3
    finally:
        slow.stop()
    cloud = Cloud(tmp_path, port=slow.port)  # the same server, without the delay
    try:
        wait_until(lambda: all_synced(service, serial, 1), 300, interval=1,
                   what=f"the session synced after the stall:\n{service.output()[-3000:]}")
        record = cloud.records(serial)[0]
        assert cloud.timeline(record) == devsim.dump(serial, 0)
        # The first chunk was stored before its answer was held: the restart sends only the other two.
        assert record["status"] == "complete" and record["n_uploaded_timelines"] == 3
        assert "-Resuming upload of" in service.output()
    finally:
        cloud.stop()


def test_a_stall_restarts_only_what_the_preferences_allow(service, devsim, cloud):
    """With Auto Sync off, the restarted download stores the session and uploads nothing."""
    serial = "OVR0000000000333"
    settings = service.home / ".config" / "Pellwick"
    settings.mkdir(parents=True, exist_ok=True)
    (settings / "OvServices.conf").write_text("[General]\nAuto%20Sync=false\n")
    service.env.update(OV_STALL_SECONDS="4", OV_STALL_BACKOFF_SECONDS="2")
    signed_in(service)
    devsim.plug("--serial", serial, "--sessions", "1", "--pages", str(PAGES), "--user", "101")
    wait_until(lambda: progress(service, serial).get("bytesDone", 0) > 0, 120, interval=0.05,
               what="the download to start")
    devsim.run("fault", serial, "--no-answer", "--op", "page")
    wait_until(lambda: "-Restarting the stalled" in service.output(), 60, interval=0.25, what="the restart")
    devsim.run("clear-faults", serial)

    def stored():
        device = service.device(serial)
        return device and device["fetchStatus"] == 2 and device["sessions"][0]["syncStatus"] in (1, 9)
    wait_until(stored, 300, interval=1, what=f"the session stored:\n{service.output()[-3000:]}")
    assert not service.status()["syncing"] and cloud.records(serial) == []
