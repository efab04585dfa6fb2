"""Two things at once against real processes: a sign-out or a quit while an upload waits on a slow web API or a
held network clock returns at once, and the control socket answers throughout; "Sync now" on one session while
the device downloads loses none of the others."""

import tempfile
import time
from pathlib import Path

import pytest

from processes import Cloud, DevSim, Service, built, cloud, devsim, service  # noqa: F401

DELAY_MS = 8000  # each record query and creation; the upload's search for its record waits this long
STORING, STORING_CANCELLED, SYNCED, FETCH_FAILED = 8, 10, 4, 3


@pytest.mark.parametrize("action", ["sign-out", "quit"])
def test_the_main_thread_never_waits_on_the_web_api(action, service, devsim, tmp_path):
    slow = Cloud(tmp_path, faults={"OVCLOUD_FAULT_DELAY_MS": str(DELAY_MS),
                                   "OVCLOUD_FAULT_DELAY_PATH": "/api/record/"})
    try:
        service.use_cloud(slow)
        service.start().sign_in()
        serial = devsim.plug_sessions("OVR0000000000341", [8])
        service.wait(lambda: [s["syncStatus"] for s in (service.device(serial) or {}).get("sessions", [])] == [2],
                     120, "the upload searching for its record", interval=0.1)
        time.sleep(0.5)

        began = time.monotonic()
        result = service.command(action, timeout=30)
        assert result.returncode == 0, result.stderr.decode()
        if action == "quit":
            service.process.wait(timeout=30)
        else:
            assert service.command("status", timeout=30).returncode == 0
        assert time.monotonic() - began < 2, f"{action} took {time.monotonic() - began:.1f} s"
    finally:
        slow.stop()


def test_a_quit_never_waits_on_the_network_clock(service, devsim, tmp_path):
    """Every signed request asks the network clock first: a clock server holding its answers must not hold the
    quit, not even when the quit comes while the users' look-up of three downloads waits on it."""
    slow = Cloud(tmp_path, faults={"OVCLOUD_FAULT_DELAY_MS": "30000", "OVCLOUD_FAULT_DELAY_PATH": "/slowclock/"})
    serials = [f"OVR000000000036{k}" for k in range(3)]
    try:
        service.use_cloud(slow)
        service.env["OV_NETWORK_TIME_URL"] = slow.root + "slowclock/"
        service.sign_in()  # stored for the start, which then looks its users up with signed requests
        service.start()
        for serial in serials:
            devsim.plug_sessions(serial, [8, 3000])
        service.wait(lambda: all(service.device(serial) for serial in serials), 60, "the devices listed")
        time.sleep(1)
        began = time.monotonic()
        assert service.command("quit", timeout=30).returncode == 0
        service.process.wait(timeout=60)
        assert time.monotonic() - began < 5, f"quit took {time.monotonic() - began:.1f} s"
    finally:
        slow.stop()
        for serial in serials:
            devsim.run("unplug", serial, check=False)


# On the emulator's full-speed link a session of 2,400 pages takes about two seconds to download: time to
# ask for one while the device is busy with it or with another.
@pytest.mark.parametrize("which", ["the session downloading", "a session still waiting"])
def test_sync_now_on_one_session_during_a_download_loses_none(which, built, cloud):
    with tempfile.TemporaryDirectory(prefix="ovsn-", ignore_cleanup_errors=True) as base:
        sim = DevSim(base, preset="usb-fs")
        service = Service(Path(base) / "service", cloud, sim)
        try:
            service.start().sign_in()
            serial = sim.plug_sessions("OVR000000000035" + ("1" if which == "the session downloading" else "2"),
                                       [2400] * 3)
            sessions = sim.sessions(serial)
            seen = set()

            def states():
                device = service.device(serial) or {}
                found = {s["startSeconds"]: s["syncStatus"] for s in device.get("sessions", [])}
                seen.update(found.values())
                seen.add(("fetch", device.get("fetchStatus")))
                return found

            downloading = service.wait(lambda: next((start for start, state in states().items() if state == STORING),
                                                    None), 60, "a session downloading", interval=0.05)
            target = downloading if which == "the session downloading" else \
                max(s["start_seconds"] for s in sessions if int(s["start_seconds"]) != int(downloading))
            result = service.command("sync", serial, str(int(target)))
            assert result.returncode == 0, result.stderr.decode()
            service.wait(lambda: set(states().values()) == {SYNCED}, 120, "every session synced", interval=0.1)
            assert not seen & {STORING_CANCELLED, ("fetch", FETCH_FAILED)}, seen
            records = cloud.records(serial)
            assert len(records) == len(sessions)
            for session in sessions:
                held = [r for r in records if int(r["start"]) // 256 == int(session["start_seconds"])]
                assert cloud.timeline(held[0]) == sim.dump(serial, session["index"])
        finally:
            service.stop()
            sim.stop()
