"""ovservices doctor against real peers: every check passes on a working set-up, and each fails with a
fix when its cause is brought in (no emulator, server down, wrong password, a store that cannot be
written, no D-Bus)."""

import json
import stat
import subprocess
import textwrap

import pytest

from processes import DEMO, free_port, stop, built, cloud, devsim, service  # noqa: F401

# Owns the names a tray host and logind own, on a private bus standing in for the session and system bus.
NAME_OWNER = textwrap.dedent("""
    import sys, time, dbus
    bus = dbus.bus.BusConnection(sys.argv[1])
    for name in ("org.kde.StatusNotifierWatcher", "org.freedesktop.login1"):
        bus.request_name(name)
    print("ready", flush=True)
    time.sleep(3600)
""")


@pytest.fixture
def desktop_bus(tmp_path):
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address"],
                              stdout=subprocess.PIPE, text=True)
    address = daemon.stdout.readline().strip()
    owner = subprocess.Popen(["/usr/bin/python3", "-c", NAME_OWNER, address], stdout=subprocess.PIPE, text=True)
    assert owner.stdout.readline().strip() == "ready"
    yield address
    stop(owner)
    stop(daemon)


@pytest.fixture
def healthy(service, devsim, desktop_bus):
    service.env.update(DBUS_SESSION_BUS_ADDRESS=desktop_bus, DBUS_SYSTEM_BUS_ADDRESS=desktop_bus)
    service.sign_in()
    devsim.plug("--serial", "OVR0000000000321", "--sessions", "1", "--pages", "10")
    return service


def doctor(service):
    result = service.command("doctor", "--json", timeout=120)
    report = json.loads(result.stdout)
    return result.returncode, {check["name"]: check for check in report["checks"]}, report


def test_every_check_passes_on_a_working_set_up(healthy):
    code, checks, report = doctor(healthy)
    failed = [c for c in checks.values() if c["status"] == "fail"]
    assert (code, report["ok"], failed) == (0, True, [])
    for name in ("Device library", "Device OVR0000000000321", "Server", "Server clock", "Credentials",
                 "Store folder", "Log folder", "Tray", "Sleep inhibitor"):
        assert checks[name]["status"] == "pass", checks[name]


def store_is_a_file(service, tmp):
    service.store.parent.mkdir(parents=True, exist_ok=True)
    service.store.write_text("not a folder")


@pytest.mark.parametrize("check, cause", [
    ("Device library", lambda s, tmp: s.env.update(OV_DEVSIM_SOCKET=str(tmp / "nothing.sock"))),
    ("Server", lambda s, tmp: s.env.update(OV_SERVER_URL=f"http://127.0.0.1:{free_port()}/api/")),
    ("Credentials", None),  # the server refuses the stored password
    ("Store folder", store_is_a_file),
    ("Tray", lambda s, tmp: s.env.update(DBUS_SESSION_BUS_ADDRESS=f"unix:path={tmp}/no-bus")),
    ("Sleep inhibitor", lambda s, tmp: s.env.update(DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={tmp}/no-bus")),
])
def test_a_check_fails_with_a_fix_for_its_cause(healthy, tmp_path, cloud, check, cause):
    cause(healthy, tmp_path) if cause else cloud.set_password(DEMO["username"], "changed-elsewhere")
    try:
        code, checks, report = doctor(healthy)
    finally:
        if not cause:
            cloud.set_password(DEMO["username"], DEMO["password"])
    assert (code, report["ok"], checks[check]["status"]) == (1, False, "fail"), checks[check]
    assert checks[check]["fix"] and (cause or "refuses the password" in checks[check]["detail"])


def test_folders_the_doctor_makes_are_their_owners_alone(service):
    # No instance has run in this home: the doctor is the first to make the store and log folders.
    service.command("doctor", "--json", timeout=120)
    logs = service.store.parents[3] / "state" / "ovservices" / "Logs"
    for folder in (service.store, logs):
        assert stat.S_IMODE(folder.stat().st_mode) == 0o700, folder
