"""The command line of ovservices against the real binary: exit codes, one instance per user,
sign-in with and without a running instance."""

import shlex
import signal

import pytest

from processes import DEMO, wait_until, built, cloud, devsim, service  # noqa: F401

PASSWORD = DEMO["password"]


def check(result, code, text):
    """A command's exit code, and a text in its output."""
    output = (result.stdout + result.stderr).decode()
    assert (result.returncode, text in output) == (code, True), output


@pytest.mark.parametrize("args, code, text", [
    ("status", 3, "not running"),
    ("sync", 3, "not running"),
    ("sign-out", 3, "not running"),
    ("quit", 3, "not running"),
    ("status --help", 0, "Usage: ovservices"),
    ("frobnicate", 2, "unknown command"),
    ("status --yaml", 2, "unknown option"),
    ("sign-in", 2, "wrong number of arguments for 'sign-in'"),
    ("sign-in ''", 2, "sign-in needs a user name"),
    ("sign-in a b", 2, "wrong number of arguments for 'sign-in'"),
    ("sync a b c", 2, "wrong number of arguments for 'sync'"),
    ("sync OVR0000000000101 yesterday", 2, "START is seconds since 1970 or an ISO 8601 time"),
    ("quit now", 2, "wrong number of arguments for 'quit'"),
    ("export a b c", 2, "wrong number of arguments for 'export'"),
    ("export --verify /tmp/x a", 2, "wrong number of arguments for 'export'"),
    ("sync --json", 2, "--json goes with the status"),
    ("--json", 2, "--json goes with the status"),
    ("--headless quit", 2, "--headless starts the service; it takes no command"),
    ("export --out", 2, "--out needs a value"),
    ("status --out /tmp/x", 2, "--out goes with the export command"),
    ("export --out /tmp/x OVR0000000000101 1796378400", 1, "no stored session matches"),
])
def test_without_instance(service, args, code, text):
    check(service.command(*shlex.split(args)), code, text)


@pytest.mark.parametrize("password, code, text", [
    ("not-the-password", 1, "The email or the password is invalid."),
    (PASSWORD, 0, "stored for the next start"),
])
def test_sign_in_without_instance_stores_for_next_start(service, password, code, text):
    check(service.command("sign-in", DEMO["username"], password=password), code, text)
    service.start()
    user = service.status()["user"]
    assert (user and user["username"]) == (DEMO["username"] if code == 0 else None)


# With a window the same is watched on a display: test_window.py.
def test_second_launch_reopens_the_first_and_exits(service):
    line = "No window in headless mode"
    service.start(headless=True)
    before = service.output().count(line)
    for args in ([], ["--headless"]):
        check(service.command(*args, timeout=30), 0, "already running")
    assert service.process.poll() is None
    wait_until(lambda: service.output().count(line) >= before + 2, 10, what="the reopen log lines")


def test_sign_in_and_out_through_the_instance(service):
    service.start()
    check(service.command("sign-in", DEMO["username"], password="nope"), 1, "The email or the password is invalid.")
    assert service.status()["user"] is None

    check(service.command("sign-in", DEMO["username"], password=PASSWORD), 0, "")
    assert service.status()["user"]["username"] == DEMO["username"]
    check(service.command("sign-in", "ada", password="whatever"), 1, "sign out first")
    check(service.command("sync", "OVR0000000000999"), 1, "OVR0000000000999")
    check(service.command("sync", "OVR0000000000999", "1796378400"), 1, "OVR0000000000999")

    assert service.command("sign-out").returncode == 0
    wait_until(lambda: service.status()["user"] is None, 10, what="sign-out")
    check(service.command("sign-out"), 1, "Nobody is signed in")


# A killed instance leaves its socket and its lock behind: the next start replaces them.
@pytest.mark.parametrize("how, code", [("quit", 0), (signal.SIGTERM, 0), (signal.SIGINT, 0),
                                       (signal.SIGKILL, -signal.SIGKILL)])
def test_an_instance_ends_and_the_next_one_starts(service, how, code):
    service.start()
    if how == "quit":
        assert service.command("quit").returncode == 0
    else:
        service.process.send_signal(how)
    assert service.process.wait(timeout=30) == code
    assert service.command("status").returncode == 3
    service.start()
    assert service.status()["user"] is None
