"""A session uploaded by `ovservices --headless` over a throttled uplink (the relay of tests/e2e/netproxy.py,
which models a real link), against the time the bytes alone need at that rate.

Usage: OV_BUILD_DIR=BUILD /usr/bin/python3 bench/upload/throttled.py [KB_PER_SECOND] [PAGES]
Prints the upload time, bytes / rate, and their ratio (goal: at most 1.15)."""

import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))
from netproxy import Relay  # noqa: E402
from processes import Cloud, DevSim, Service, wait_until  # noqa: E402

SERIAL = "OVR0000000000901"


def main():
    rate = int(sys.argv[1]) * 1000 if len(sys.argv) > 1 else 300_000
    pages = int(sys.argv[2]) if len(sys.argv) > 2 else 12000
    with tempfile.TemporaryDirectory(prefix="ovbench-") as base, \
            tempfile.TemporaryDirectory(prefix="ovdevsim-") as state:
        cloud, sim = Cloud(Path(base)), DevSim(state)
        relay = Relay(("127.0.0.1", cloud.port), uplink=rate)
        service = Service(Path(base) / "service", relay, sim)
        try:
            service.start().sign_in()
            sim.plug("--serial", SERIAL, "--sessions", "1", "--pages", str(pages), "--user", "101")
            session = lambda: ((service.device(SERIAL) or {}).get("sessions") or [{}])[0]  # noqa: E731
            wait_until(lambda: session().get("syncStatus") in (2, 3, 4), 300, interval=0.05, what="the upload")
            started = time.monotonic()
            wait_until(lambda: session().get("syncStatus") == 4, 600, interval=0.05, what="the session synced")
            took = time.monotonic() - started
        finally:
            service.stop()
            relay.close()
            sim.stop()
            cloud.stop()
    size = pages * 512
    ideal = size / rate
    print(f"{size} bytes over {rate // 1000} KB/s: {took:.2f} s, bytes / rate {ideal:.2f} s, "
          f"ratio {took / ideal:.3f} (goal <= 1.15)")


if __name__ == "__main__":
    main()
