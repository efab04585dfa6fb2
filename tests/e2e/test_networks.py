"""The networks users have, end to end: a slow uplink, connections closed without an answer, a proxy, and a
slow device link. Real ovcloud, emulator and `ovservices --headless`, with a relay from netproxy.py in between."""

import time

from netproxy import ForwardProxy, Relay
from processes import Cloud, wait_until, built, cloud, devsim, service  # noqa: F401

CHUNK = 5 * 1024 * 1024


def test_a_slow_uplink_uploads_once_without_a_stall(service, devsim, cloud):
    # 5,273,600 bytes at 200 KB/s: the first chunk takes about 26 s, the stall limit is 10 s.
    serial, pages = "OVR0000000000411", 10300
    relay = Relay(("127.0.0.1", cloud.port), uplink=200_000)
    try:
        service.use_cloud(relay)
        service.env.update(OV_STALL_SECONDS="10")
        service.start().sign_in()
        devsim.plug_sessions(serial, [pages])
        seen = set()

        def first_chunk_done():
            progress = (service.device(serial) or {}).get("progress") or {}
            if progress.get("step") == "uploading" and 0 < progress["bytesDone"] < CHUNK:
                seen.add(progress["bytesDone"])
            return progress.get("step") == "uploading" and progress["bytesDone"] >= CHUNK or service.synced(serial)

        service.wait(first_chunk_done, 120, "the first chunk sent")
        service.wait(lambda: service.synced(serial), 120, "the session synced", interval=1)
    finally:
        relay.close()
    assert len(seen) >= 4, f"bytesDone inside the first chunk: {sorted(seen)}"
    records = cloud.records(serial)
    assert len(records) == 1 and cloud.timeline(records[0]) == devsim.dump(serial, 0)
    assert "-Stalled:" not in service.output()
    assert service.output().count("-START SYNC FOR SESSION") == 1


def test_connections_closed_unanswered_never_sign_out(service, devsim, cloud):
    serial = "OVR0000000000413"
    refused = {"paths": (b"/api/bundle_permission/", b"/api/record/", b"/api/sync/timeline/")}
    relay = Relay(("127.0.0.1", cloud.port),
                  close_unanswered=lambda head: any(p in head.split(b"\r\n")[0] for p in refused["paths"]))
    try:
        # A session stored earlier: the first refresh at start-up asks for the account's users.
        service.start().sign_in()
        devsim.plug_sessions(serial, [20])
        service.wait(lambda: service.synced(serial), 120, "the first session synced")
        service.stop()
        devsim.run("unplug", serial)
        service.use_cloud(relay)
        service.start()
        wait_until(lambda: relay.closed_unanswered >= 2, 60, what="the refresh's requests closed")
        time.sleep(2)  # a sign-out would follow the failed refresh at once
        assert service.status()["user"] is not None, service.output()[-3000:]
        # And an upload whose every request is closed unanswered.
        devsim.plug_sessions("OVR0000000000414", [20])
        service.wait(lambda: any(s["syncStatus"] in (0, 5) for s in
                                 (service.device("OVR0000000000414") or {"sessions": []})["sessions"]), 120,
                     "the upload failed")
        assert service.status()["user"] is not None, service.output()[-3000:]
        refused["paths"] = ()
        service.command("sync")
        service.wait(lambda: service.synced("OVR0000000000414"), 120, "the upload after the drops")
        assert service.status()["user"] is not None
    finally:
        relay.close()


def test_every_request_goes_through_the_system_proxy(service, devsim, tmp_path):
    # A name only the proxy can resolve: a request that went around it could not reach the server.
    cloud = Cloud(tmp_path, faults={"OVCLOUD_ALLOWED_HOSTS": "ovcloud.test"})
    proxy = ForwardProxy(hosts={"ovcloud.test": "127.0.0.1"})
    try:
        named = f"http://ovcloud.test:{cloud.port}/"
        service.env.update(http_proxy=proxy.url, https_proxy=proxy.url, OV_SERVER_URL=named + "api/",
                           OV_NETWORK_TIME_URL=named, OV_ACCOUNT_SITE_URL=named.rstrip("/"))
        service.start().sign_in()
        serial = devsim.plug_sessions("OVR0000000000415", [40])
        service.wait(lambda: service.synced(serial), 120, "synced")
        doctor = service.command("doctor", "--json", timeout=120).stdout.decode()
    finally:
        proxy.close()
        cloud.stop()
    seen = "\n".join(proxy.requests)
    for request in ("GET /api/account/", "GET /api/record/?", "POST /api/record/", "POST /api/sync/timeline/"):
        assert request.replace(" /", f" {named}") in seen, seen
    assert f"through the proxy 127.0.0.1:{proxy.port}" in doctor, doctor


def test_a_slow_device_link_shows_each_page_and_is_never_stalled(service, devsim, cloud):
    serial = "OVR0000000000416"
    service.env.update(OV_STALL_SECONDS="2")
    service.start().sign_in()
    devsim.run("link", "--bandwidth", "3000")  # about six pages a second
    devsim.plug_sessions(serial, [60])
    seen = set()

    def downloaded():
        device = service.device(serial) or {}
        progress = device.get("progress") or {}
        if progress.get("step") == "downloading":
            seen.add(progress["bytesDone"])
        return service.synced(serial)

    service.wait(downloaded, 120, "the session synced", interval=0.3)
    assert len(seen) >= 5 and all(done % 512 == 0 for done in seen), sorted(seen)
    assert "-Stalled:" not in service.output()
