"""Real processes for the end-to-end tests, and their fixtures: the ovcloud web API (server/serve.sh), the ovdevsim
daemon and the built `ovservices --headless`, each in temporary directories, on loopback only.

OV_BUILD_DIR names the build to test (./ov test sets build/release). The test files import the fixtures from here:
a conftest.py in tests/e2e would take the name of the server's own when both suites run in one pytest."""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("OV_BUILD_DIR", ROOT / "build" / "release"))
OVSERVICES = BUILD / "src" / "app" / "ovservices"
OVDEVSIM = BUILD / "tools" / "ovdevsim" / "ovdevsim"
DEMO = json.loads((ROOT / "server" / "demo_account.json").read_text())

sys.path.insert(0, str(ROOT / "server" / "tests"))
from ovclient import ApiClient  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(predicate, timeout, interval=0.2, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise AssertionError(f"timed out after {timeout}s waiting for {what}")


def stop(process, sig=signal.SIGTERM, timeout=20):
    if process.poll() is None:
        process.send_signal(sig)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Cloud:
    """ovcloud on a free loopback port with its own state directory."""

    def __init__(self, state_dir, faults=None, port=None):
        """faults: OVCLOUD_FAULT_* settings (docs/ovcloud.md); a port given takes over a stopped server's."""
        self.state_dir = Path(state_dir)
        self.port = port or free_port()
        self.root = f"http://127.0.0.1:{self.port}/"
        self.api_root = self.root + "api/"
        self.log = open(self.state_dir / "ovcloud.log", "ab")
        env = {k: v for k, v in os.environ.items() if not k.startswith("OVCLOUD_FAULT_")}
        env.update({"OVCLOUD_WORKERS": "2", **(faults or {})})
        self.process = subprocess.Popen(
            [str(ROOT / "server" / "serve.sh"), "--port", str(self.port), "--state", str(self.state_dir)],
            env=env, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        wait_until(self._ready, 120, what="ovcloud")

    def _ready(self):
        if self.process.poll() is not None:
            raise RuntimeError((self.state_dir / "ovcloud.log").read_text())
        try:
            with urllib.request.urlopen(self.root, timeout=2) as answer:
                return answer.status == 200
        except OSError:
            return False

    def client(self, username=DEMO["username"], password=DEMO["password"]):
        return ApiClient(self.api_root, username, password)

    def records(self, serial=None):
        """Every record, or those of one device."""
        objects = self.client().get("record/?limit=0").json()["objects"]
        return [r for r in objects if serial is None or r["device"] == f"/api/device/{serial}/"]

    def timeline(self, record):
        return self.client().get(f"sync/timeline/{record['id']}/").body

    def set_password(self, username, password):
        env = dict(os.environ, OVCLOUD_STATE_DIR=str(self.state_dir), DJANGO_SETTINGS_MODULE="ovcloud.settings")
        script = (f"from django.contrib.auth.models import User; u = User.objects.get(username={username!r}); "
                  f"u.set_password({password!r}); u.save()")
        subprocess.run(["/usr/bin/python3", "manage.py", "shell", "-c", script], cwd=ROOT / "server", env=env,
                       check=True, capture_output=True, timeout=120)

    def stop(self):
        stop(self.process, signal.SIGINT)
        self.log.close()

    def kill(self):
        """SIGKILL of the server and its workers, as a crash would end them."""
        os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()
        self.log.close()


class DevSim:
    """The ovdevsim daemon and its command line."""

    def __init__(self, state_dir, preset="zero"):
        self.socket = str(Path(state_dir) / "ovdevsim.sock")
        self.log = open(Path(state_dir) / "ovdevsim.log", "ab")
        self.process = subprocess.Popen(
            [str(OVDEVSIM), "--socket", self.socket, "serve", "--state-dir", str(Path(state_dir) / "devices"),
             "--preset", preset], stdout=self.log, stderr=subprocess.STDOUT)
        self.run("ping", wait=10)

    def run(self, *args, check=True, wait=None):
        options = ["--wait", str(wait)] if wait else []
        result = subprocess.run([str(OVDEVSIM), "--socket", self.socket, *options, *args],
                                capture_output=True, timeout=120)
        if check and result.returncode != 0:
            raise AssertionError(f"ovdevsim {args}: {result.stderr.decode()}")
        return result

    def plug(self, *args):
        return self.run("plug", *args).stdout.decode().strip()

    def plug_sessions(self, serial, pages, users="101", *more):
        """A device holding one session per page count in pages, recorded for users (a comma-separated list)."""
        return self.plug("--serial", serial, "--sessions", str(len(pages)), "--pages", ",".join(map(str, pages)),
                         "--user", users, *more)

    def sessions(self, serial):
        return json.loads(self.run("sessions", serial, "--json").stdout)

    def dump(self, serial, index):
        return self.run("dump", serial, str(index)).stdout

    def stop(self):
        stop(self.process, signal.SIGINT)
        self.log.close()


class Service:
    """The built ovservices in a temporary home: the headless service and its subcommands."""

    def __init__(self, base, cloud, devsim):
        base = Path(base)
        self.home = base / "home"
        self.runtime = base / "run"
        self.home.mkdir(parents=True, exist_ok=True)
        self.runtime.mkdir(mode=0o700, parents=True, exist_ok=True)
        local = self.home / ".local"
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": str(self.home),
                    "XDG_RUNTIME_DIR": str(self.runtime), "XDG_CONFIG_HOME": str(self.home / ".config"),
                    "XDG_DATA_HOME": str(local / "share"), "XDG_STATE_HOME": str(local / "state"),
                    "OV_DEVSIM_SOCKET": devsim.socket, "QT_QPA_PLATFORM": "offscreen"}
        self.use_cloud(cloud)
        self.store = local / "share" / "OvServices" / "DATA" / "PROD"
        self.process = None

    def use_cloud(self, cloud):
        self.env.update(OV_SERVER_URL=cloud.api_root, OV_NETWORK_TIME_URL=cloud.root,
                        OV_ACCOUNT_SITE_URL=cloud.root.rstrip("/"))

    def command(self, *args, password=None, timeout=180):
        return subprocess.run([str(OVSERVICES), *args], env=self.env, capture_output=True, timeout=timeout,
                              input=(password + "\n").encode() if password is not None else b"")

    def start(self, headless=True):
        self.log = open(self.home / "service.log", "ab")
        self.process = subprocess.Popen([str(OVSERVICES), *(["--headless"] if headless else [])], env=self.env,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        wait_until(lambda: self._answers(), 60, what="ovservices control socket")
        return self

    def _answers(self):
        if self.process.poll() is not None:
            raise RuntimeError(f"ovservices exited with {self.process.returncode}:\n{self.output()}")
        return self.command("status").returncode == 0

    def sign_in(self):
        result = self.command("sign-in", DEMO["username"], password=DEMO["password"])
        assert result.returncode == 0, result.stderr.decode()
        return self

    def status(self):
        result = self.command("status", "--json")
        assert result.returncode == 0, result.stderr.decode()
        return json.loads(result.stdout)

    def device(self, serial, status=None):
        """What the status reports of one device (of `status` when given), or None."""
        return next((d for d in (status or self.status())["devices"] if d["serial"] == serial), None)

    def synced(self, serial, count=1):
        """Whether the status lists count sessions of serial, every one synced."""
        device = self.device(serial)
        return device and len(device["sessions"]) == count and all(s["syncStatus"] == 4 for s in device["sessions"])

    def wait(self, predicate, timeout, what, interval=0.5):
        """wait_until, telling the end of the service's log when it times out."""
        try:
            return wait_until(predicate, timeout, interval, what)
        except AssertionError as late:
            raise AssertionError(f"{late}:\n{self.output()[-3000:]}") from None

    def output(self):
        path = self.home / "service.log"
        return path.read_text(errors="replace") if path.exists() else ""

    def stop(self):
        if self.process:
            stop(self.process)
            self.log.close()

    def kill(self):
        self.process.kill()
        self.process.wait()
        self.log.close()


@pytest.fixture(scope="session")
def built():
    for binary in (OVSERVICES, OVDEVSIM):
        if not binary.exists():
            pytest.fail(f"{binary} is not built (OV_BUILD_DIR={BUILD})")


@pytest.fixture(scope="session")
def cloud(built, tmp_path_factory):
    server = Cloud(tmp_path_factory.mktemp("ovcloud"))
    yield server
    server.stop()


@pytest.fixture
def devsim(built):
    # A short path: the socket's name must fit in sun_path.
    with tempfile.TemporaryDirectory(prefix="ovdevsim-", ignore_cleanup_errors=True) as state:
        sim = DevSim(state)
        yield sim
        sim.stop()


@pytest.fixture
def service(built, cloud, devsim):
    with tempfile.TemporaryDirectory(prefix="ovs-", ignore_cleanup_errors=True) as base:
        instance = Service(base, cloud, devsim)
        yield instance
        instance.stop()


@pytest.fixture
def display():
    """A virtual X display (Xvfb) and a D-Bus session bus of its own: the environment a window needs."""
    if not shutil.which("Xvfb") or not shutil.which("xdotool"):
        pytest.fail("Xvfb and xdotool are needed (./ov setup installs them)")
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as displayfd:
        number = displayfd.readline().strip()
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], stdout=subprocess.PIPE,
                           text=True)
    address = bus.stdout.readline().strip()
    yield {"DISPLAY": f":{number}", "DBUS_SESSION_BUS_ADDRESS": address}
    for process in (bus, xvfb):
        process.terminate()
        process.wait(timeout=10)
