"""Real ovcloud servers (serve.sh -> gunicorn) on free loopback ports, each with a
temporary state directory. The main server's is also this process's Django state,
so a test may prepare or inspect data through the ORM."""

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

SERVER_DIR = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SERVER_DIR))

MAIN_STATE = tempfile.mkdtemp(prefix="ovcloud-test-")
os.environ["OVCLOUD_STATE_DIR"] = MAIN_STATE
os.environ["DJANGO_SETTINGS_MODULE"] = "ovcloud.settings"
for name in [n for n in os.environ if n.startswith("OVCLOUD_FAULT_")]:
    del os.environ[name]  # faults are opted into per server below

import django  # noqa: E402

django.setup()

from ovclient import ApiClient  # noqa: E402

DEMO = json.loads((SERVER_DIR / "demo_account.json").read_text())


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    def __init__(self, state_dir, env=None):
        self.state_dir = Path(state_dir)
        self.port = free_port()
        self.root = f"http://127.0.0.1:{self.port}/"
        self.api_root = self.root + "api/"
        self.log_path = self.state_dir / "server.log"
        # A short idle timeout lets a test watch a stalled upload being dropped.
        environment = dict(os.environ, OVCLOUD_WORKERS="2", OVCLOUD_BODY_IDLE_TIMEOUT="2",
                           **(env or {}))
        self.log = open(self.log_path, "ab")
        self.process = subprocess.Popen(
            [str(SERVER_DIR / "serve.sh"), "--port", str(self.port), "--state", str(state_dir)],
            env=environment, stdout=self.log, stderr=subprocess.STDOUT)

    def wait_ready(self, timeout=60):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError(f"ovcloud exited early:\n{self.log_path.read_text()}")
            try:
                with urllib.request.urlopen(self.root, timeout=2) as answer:
                    if answer.status == 200:
                        return self
            except OSError:
                time.sleep(0.1)
        raise RuntimeError(f"ovcloud did not answer in {timeout}s:\n{self.log_path.read_text()}")

    def stop(self):
        # serve.sh execs gunicorn, so this is the gunicorn master; INT is its quick shutdown.
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()

    def client(self, username=DEMO["username"], password=DEMO["password"], **kwargs):
        return ApiClient(self.api_root, username, password, **kwargs)


@pytest.fixture(scope="session")
def server():
    main = Server(MAIN_STATE).wait_ready()
    yield main
    main.stop()


@pytest.fixture(scope="session")
def start_server(tmp_path_factory):
    """Starts another server, e.g. with fault injection: start_server(OVCLOUD_FAULT_...=...)."""
    started = []

    def start(**env):
        state = tmp_path_factory.mktemp("ovcloud-state")
        started.append(Server(state, env))
        return started[-1].wait_ready()

    yield start
    for one in started:
        one.stop()


@pytest.fixture
def coach(server):
    return server.client()


@pytest.fixture
def unique_serial(request):
    """A device serial of its own for each test, so record queries do not overlap."""
    return f"OVT{abs(hash(request.node.nodeid)) % 10**9:09d}"


def pytest_unconfigure(config):
    shutil.rmtree(MAIN_STATE, ignore_errors=True)
