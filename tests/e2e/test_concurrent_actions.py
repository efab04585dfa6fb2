"""A sign-out or a quit while an upload waits on a slow web API returns at once, and the control socket
answers throughout."""

import time

import pytest

from processes import Cloud, built, cloud, devsim, service  # noqa: F401

DELAY_MS = 8000  # each record query and creation; the upload's search for its record waits this long


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
