"""Real ovcloud servers (serve.sh -> gunicorn, started as the end-to-end tests start it) on free
loopback ports, each with a temporary state directory. The main server's is also this process's
Django state, so a test may prepare or inspect data through the ORM."""

import os
import shutil
import sys
import tempfile
from pathlib import Path

import pytest

SERVER_DIR = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SERVER_DIR))
sys.path.insert(0, str(SERVER_DIR.parent / "tests" / "e2e"))

MAIN_STATE = tempfile.mkdtemp(prefix="ovcloud-test-")
os.environ["OVCLOUD_STATE_DIR"] = MAIN_STATE
os.environ["DJANGO_SETTINGS_MODULE"] = "ovcloud.settings"
for name in [n for n in os.environ if n.startswith("OVCLOUD_FAULT_")]:
    del os.environ[name]  # faults are opted into per server below

import django  # noqa: E402

django.setup()

import pgcluster  # noqa: E402
from processes import DEMO, Cloud  # noqa: E402,F401 (DEMO is for the tests)


def serve(state_dir, **env):
    """A short idle timeout lets a test watch a stalled upload being dropped."""
    return Cloud(state_dir, faults={"OVCLOUD_BODY_IDLE_TIMEOUT": "2", **env})


@pytest.fixture(scope="session")
def server():
    main = serve(MAIN_STATE)
    yield main
    main.stop()


@pytest.fixture(scope="session")
def start_server(tmp_path_factory):
    """Starts another server, e.g. with fault injection: start_server(OVCLOUD_FAULT_...=...)."""
    started = []

    def start(**env):
        state = tmp_path_factory.mktemp("ovcloud-state")
        started.append(serve(state, **env))
        return started[-1]

    yield start
    for one in started:
        one.stop()


@pytest.fixture(scope="session")
def postgres():
    """A temporary PostgreSQL cluster; cluster.database(name) makes an empty database."""
    try:
        cluster = pgcluster.Cluster()
    except pgcluster.Unavailable as reason:
        pytest.skip(f"PostgreSQL cannot be started here: {reason}")
    yield cluster
    cluster.stop()


@pytest.fixture
def coach(server):
    return server.client()


@pytest.fixture
def unique_serial(request):
    """A device serial of its own for each test, so record queries do not overlap."""
    return f"OVT{abs(hash(request.node.nodeid)) % 10**9:09d}"


def pytest_unconfigure(config):
    shutil.rmtree(MAIN_STATE, ignore_errors=True)
