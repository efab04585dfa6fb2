"""The built ovservices with its window, on a virtual X display with its own D-Bus session bus,
watched from outside the process as the X server sees it: the main window appears, closing it
leaves the service running, a second launch exits 0 and brings the window back, quit ends it."""

import subprocess

from processes import wait_until, built, cloud, devsim, display, service  # noqa: F401

WINDOW_TITLE = "^OvServices$"


def visible_windows(env):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", WINDOW_TITLE], env=env,
                            capture_output=True, text=True)
    return result.stdout.split()


def test_window_appears_and_a_second_launch_brings_it_back(service, display):
    service.env.update(display)
    service.env["QT_QPA_PLATFORM"] = "xcb"
    service.start(headless=False)
    wait_until(lambda: visible_windows(service.env), 30, what="the main window on the display")
    # No tray on a bare X server: the window stays the way in, and the log says so once.
    wait_until(lambda: "No system tray on this desktop" in service.output(), 10, what="the no-tray log line")

    # Ctrl+W closes the window; the service goes on.
    window = visible_windows(service.env)[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window, "key", "ctrl+w"], env=service.env, check=True)
    wait_until(lambda: not visible_windows(service.env), 20, what="the window to close")
    assert service.process.poll() is None
    assert service.command("status").returncode == 0

    second = service.command(timeout=60)
    assert second.returncode == 0, second.stderr.decode()
    wait_until(lambda: visible_windows(service.env), 20, what="the window to come back")

    assert service.command("quit").returncode == 0
    assert service.process.wait(timeout=30) == 0
    assert service.output().count("No system tray on this desktop") == 1
