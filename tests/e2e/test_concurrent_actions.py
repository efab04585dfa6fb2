"""Two things at once against real processes: a sign-out or a quit while an upload waits on a slow web API
returns at once, and the control socket answers throughout; "Sync now" on one session while the device
downloads loses none of the others."""

import tempfile
import time
from pathlib import Path

import pytest

from processes import Cloud, DevSim, Service, wait_until, built, cloud, devsim, service  # noqa: F401

DELAY_MS = 8000  # each record query and creation; the upload's search for its record waits this long


def session_status(service, serial):
    device = service.device(serial)
    return device["sessions"][0]["syncStatus"] if device and device["sessions"] else None


@pytest.mark.parametrize("action", ["sign-out", "quit"])
def test_the_main_thread_never_waits_on_the_web_api(action, service, devsim, tmp_path):
    slow = Cloud(tmp_path, faults={"OVCLOUD_FAULT_DELAY_MS": str(DELAY_MS),
                                   "OVCLOUD_FAULT_DELAY_PATH": "/api/record/"})
    try:
        service.use_cloud(slow)
        service.start().sign_in()
        serial = "OVR0000000000341"
        devsim.plug("--serial", serial, "--sessions", "1", "--pages", "8", "--user", "101")
        wait_until(lambda: session_status(service, serial) == 2, 120, interval=0.1,
                   what=f"the upload searching for its record:\n{service.output()[-3000:]}")
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


STORING, STORING_CANCELLED, SYNCED, FETCH_FAILED = 8, 10, 4, 3  # 7 is waiting as well as failed: not told apart


# On the emulator's full-speed link a session of 2,400 pages takes about two seconds to download: time to
# ask for one while the device is busy with it or with another.
@pytest.mark.parametrize("which", ["the session downloading", "a session still waiting"])
def test_sync_now_on_one_session_during_a_download_loses_none(which, built, cloud):
    with tempfile.TemporaryDirectory(prefix="ovsn-", ignore_cleanup_errors=True) as base:
        sim = DevSim(base, preset="usb-fs")
        service = Service(Path(base) / "service", cloud, sim)
        try:
            service.start().sign_in()
            serial = "OVR0000000000351" if which == "the session downloading" else "OVR0000000000352"
            sim.plug("--serial", serial, "--sessions", "3", "--pages", "2400", "--user", "101")
            sessions = sim.sessions(serial)
            seen = set()

            def states():
                device = service.device(serial)
                found = {s["startSeconds"]: s["syncStatus"] for s in (device or {}).get("sessions", [])}
                seen.update(found.values())
                seen.add(("fetch", device and device["fetchStatus"]))
                return found

            downloading = wait_until(lambda: next((start for start, state in states().items()
                                                   if state == STORING), None), 60, interval=0.05,
                                     what="a session downloading")
            target = downloading if which == "the session downloading" else \
                max(s["start_seconds"] for s in sessions if int(s["start_seconds"]) != int(downloading))
            result = service.command("sync", serial, str(int(target)))
            assert result.returncode == 0, result.stderr.decode()
            wait_until(lambda: set(states().values()) == {SYNCED}, 120, interval=0.1,
                       what=f"every session synced:\n{service.output()[-3000:]}")
            assert not seen & {STORING_CANCELLED, ("fetch", FETCH_FAILED)}, seen
            records = cloud.records(serial)
            assert len(records) == len(sessions)
            for session in sessions:
                held = [r for r in records if int(r["start"]) // 256 == int(session["start_seconds"])]
                assert cloud.timeline(held[0]) == sim.dump(serial, session["index"])
        finally:
            service.stop()
            sim.stop()
