"""Two things at once against real processes: a sign-out or a quit while an upload waits on a slow web API
returns at once, and the control socket answers throughout."""

import time

import pytest

from processes import Cloud, wait_until, built, cloud, devsim, service  # noqa: F401

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
