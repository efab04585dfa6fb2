"""A download whose device stops answering is shown as stalled within the stall time, logged once, and
picks up by itself once the device answers again, ending byte for byte on the server."""

from processes import Cloud, built, cloud, devsim, service  # noqa: F401

SERIAL = "OVR0000000000331"
PAGES = 40000  # long enough to be caught downloading


def progress(service, serial=SERIAL):
    return (service.device(serial) or {}).get("progress") or {}


def test_a_stalled_download_is_shown_and_recovers_byte_for_byte(service, devsim, cloud):
    service.env.update(OV_STALL_SECONDS="4", OV_STALL_BACKOFF_SECONDS="2")
    service.start().sign_in()
    devsim.plug_sessions(SERIAL, [PAGES])
    service.wait(lambda: progress(service).get("bytesDone", 0) > 0, 120, "the download to start", interval=0.05)
    devsim.run("fault", SERIAL, "--no-answer", "--op", "page")

    shown = service.wait(lambda: progress(service).get("stalled") and progress(service), 20,
                         "the download shown as stalled", interval=0.25)
    assert shown["step"] == "downloading" and (shown["index"], shown["count"]) == (1, 1)
    assert 0 < shown["bytesDone"] < PAGES * 512
    assert "stalled" in service.device(SERIAL)["progressText"]

    devsim.run("clear-faults", SERIAL)
    service.wait(lambda: service.synced(SERIAL), 300, "the session synced after the stall", interval=1)
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
        service.start().sign_in()
        devsim.plug_sessions(serial, [pages])
        shown = service.wait(lambda: progress(service, serial).get("stalled") and progress(service, serial), 120,
                             "the upload shown as stalled", interval=0.25)
        assert shown["step"] == "uploading" and shown["count"] == 3
    finally:
        slow.stop()
    cloud = Cloud(tmp_path, port=slow.port)  # the same server, without the delay
    try:
        service.wait(lambda: service.synced(serial), 300, "the session synced after the stall", interval=1)
        record = cloud.records(serial)[0]
        assert cloud.timeline(record) == devsim.dump(serial, 0)
        # The first chunk was stored before its answer was held: the restart sends only the other two.
        assert record["status"] == "complete" and record["n_uploaded_timelines"] == 3
        assert "-Resuming upload of" in service.output()
    finally:
        cloud.stop()
