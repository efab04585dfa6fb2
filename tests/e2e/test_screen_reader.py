"""The built ovservices with its window, driven as a screen reader user drives it: over the
accessibility bus (AT-SPI) and the keyboard only, while emulated devices come and go under it.

Assigning a user keeps to the device the user chose when another device takes its row; a firmware
update says "completed" only once the device holds the new firmware, even when another device is
plugged while it is written. Every control on the way has an accessible name."""

import json
import subprocess
import sys
from pathlib import Path

import pytest

from processes import wait_until, built, cloud, devsim, display, service  # noqa: F401

HERE = Path(__file__).resolve().parent
BUS_LAUNCHER = Path("/usr/libexec/at-spi-bus-launcher")
# Roles a user acts on: each must have a name, or a screen reader can only say "button". (A table's
# empty cell, such as the progress column of an idle row, is content rather than a control.)
CONTROL_ROLES = {"push button", "check box", "radio button", "combo box", "text", "password text", "list",
                 "list item", "table", "toggle button", "spin button", "slider"}
OFFERED = "1.1.0"  # the firmware image beside the built binary (resources/firmware)
CHIARA = 103  # Chiara Rossi of the demo team


class Screen:
    """The window as the accessibility bus shows it, and the keyboard."""

    def __init__(self, env):
        self.env = env

    def _run(self, *command):
        result = subprocess.run(list(command), env=self.env, capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, f"{command}: {result.stdout}{result.stderr}"
        return result.stdout

    def shown(self):
        """Every showing node of the window."""
        nodes = json.loads(self._run(sys.executable, str(HERE / "atspi_showing.py"), "ovservices", "tree"))
        return [node for node in nodes if node["showing"]]

    def node(self, name, role=None):
        """The showing node named name (of role), or None."""
        return next((n for n in self.shown() if n["name"] == name and role in (None, n["role"])), None)

    def says(self, text):
        """Whether some showing node's name or text contains text."""
        return any(text in node["name"] or text in node["text"] for node in self.shown())

    def act(self, name, role=None):
        """Presses a button, or toggles the selection of a table cell or list item, named name."""
        self._run(sys.executable, str(HERE / "atspi_showing.py"), "ovservices", "act", name, *[role] if role else [])

    def key(self, *keys):
        window = self._run("xdotool", "search", "--onlyvisible", "--name", "^OvServices$").split()[0]
        self._run("xdotool", "windowfocus", "--sync", window, "key", *keys)

    def unnamed_controls(self):
        return [n for n in self.shown() if n["role"] in CONTROL_ROLES and not n["name"].strip()]


@pytest.fixture
def screen(service, display):
    if not BUS_LAUNCHER.exists():
        pytest.fail(f"{BUS_LAUNCHER} is needed (./ov setup installs at-spi2-core and python3-pyatspi)")
    env = {**service.env, **display, "QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    launcher = subprocess.Popen([str(BUS_LAUNCHER), "--launch-immediately"], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
    service.env.update(env)
    service.sign_in()
    yield Screen(env)
    service.stop()  # before its display goes
    launcher.terminate()
    launcher.wait(timeout=10)


def devices(devsim):
    return {d["serial"]: d for d in json.loads(devsim.run("list", "--json").stdout)}


def open_window(service, screen):
    service.start(headless=False)
    wait_until(lambda: screen.node("Devices"), 30, what="the window on the accessibility bus")


def test_assign_writes_to_the_chosen_device_when_another_takes_its_row(service, devsim, screen):
    chosen = devsim.plug("--serial", "OVR0000000000200", "--default-user", "101", "--user", "101",
                         "--firmware", OFFERED)
    open_window(service, screen)
    # One device opens its detail at once; the list (and its Assign button) is one step back.
    if wait_until(lambda: screen.node("Assign users to devices") or screen.node("Back to the device list"), 30,
                  what="the device list or detail") and not screen.node("Assign users to devices"):
        screen.act("Back to the device list")
    wait_until(lambda: screen.node("Assign users to devices"), 20, what="the Assign button")
    screen.act("Assign users to devices")
    wait_until(lambda: screen.node(chosen, "table cell") and screen.node("Chiara Rossi", "list item"), 30,
               what="the device table and the team")
    screen.act(chosen, "table cell")
    screen.act("Chiara Rossi", "list item")
    wait_until(lambda: screen.node("Assign the selected user to the selected Orvane")["enabled"], 10,
               what="Assign to be enabled by a device and a user selected")

    # A device sorting before the chosen one takes its row.
    other = devsim.plug("--serial", "OVR0000000000100", "--default-user", "101", "--user", "101",
                        "--firmware", OFFERED)
    wait_until(lambda: screen.node(other, "table cell"), 20, what="the second device's row")
    assert screen.node(chosen, "table cell")["selected"], "the choice did not stay on the chosen device"
    assert not screen.node(other, "table cell")["selected"]
    assert screen.unnamed_controls() == []
    screen.key("ctrl+Return")
    wait_until(lambda: devices(devsim)[chosen]["default_user"] == CHIARA, 20,
               what="the chosen device to hold Chiara Rossi")
    assert devices(devsim)[other]["default_user"] == 101


def test_firmware_update_completes_only_once_written(service, devsim, screen):
    # About four seconds of writing, and a restart, so that a plug lands in the middle of it.
    devsim.run("link", "--flash-block-us", "600000", "--restart-ms", "1000")
    updated = devsim.plug("--serial", "OVR0000000000300", "--firmware", "1.0.0", "--default-user", "101",
                          "--user", "101")
    open_window(service, screen)
    offer = f"Would you like to update to firmware version {OFFERED}?"
    wait_until(lambda: screen.says(offer), 30, what="the firmware offer")
    for control in ("Update firmware", "OK", "Cancel"):
        node = screen.node(control, "push button")
        assert node and node["focusable"], f"{control} cannot be reached with the keyboard"
    assert screen.node("OK")["focused"], "the offer's answer is not where the keyboard is"
    assert screen.unnamed_controls() == []

    screen.key("Return")  # the offer's OK starts the update
    wait_until(lambda: screen.says("Please wait while your device firmware is being updated"), 10,
               what="the wait message")
    assert devices(devsim)[updated]["fw_revision"] == "1.0.0", "the write ended before a plug could land in it"
    devsim.plug("--serial", "OVR0000000000400", "--firmware", OFFERED)

    def completed():
        shown = screen.says("Updating the Orvane Device completed.")
        device = devices(devsim)[updated]
        assert not shown or (device["fw_revision"] == OFFERED and device["attached"]), \
            f"completion shown while the device is {device}"
        return shown
    wait_until(completed, 60, interval=0.3, what="the completion message")
    assert screen.node("OK", "push button")["focused"]
    assert screen.unnamed_controls() == []
    screen.key("space")
    wait_until(lambda: not screen.says("Updating the Orvane Device completed."), 10, what="the message to go")
    wait_until(lambda: screen.says(OFFERED), 10, what="the detail to show the new firmware")
