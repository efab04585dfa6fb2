#!/usr/bin/python3
"""A team's devices docked at once: plug-in to every session synced for one device, then for sixteen.

Real processes only, on loopback: ovcloud (server/serve.sh), the ovdevsim daemon on the full-speed
USB link model (usb-fs, each device on a link of its own) and the built `ovservices --headless`,
a fresh one in a temporary home for each phase, signed in to the demo account. Measures:

  one    seconds from plugging one device (two sessions) to `ovservices status --json` showing
         both sessions synced (status polled every 0.25 s)
  team   the same for --devices devices holding the same sessions, plugged in one burst on one
         control connection, to every session of every device synced

and for each phase the service's peak resident memory (VmHWM) and its CPU seconds (utime + stime)
per device, with the machine's load average. Every session of every device is then read back from
the server and compared with the device's own bytes; each must have exactly one record. Exits 1
when a byte, a record or a session is missing or differs.

    /usr/bin/python3 bench/team/team_bench.py BUILD_DIR [--pages N,N] [--devices N]
"""

import argparse
import hashlib
import json
import os
import shutil
import socket
import struct
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "bench" / "ovcloud"))
sys.path.insert(0, str(REPO / "bench" / "pipeline"))
sys.path.insert(0, str(REPO / "server" / "tests"))
import pipeline_bench  # noqa: E402  (its helpers read pipeline_bench.DEVSIM and OVSERVICES)
from ovclient import ApiClient  # noqa: E402
from pipeline_bench import devsim, service_env, signed_in_service, start_daemon, status_of  # noqa: E402
from upload_bench import DEMO, MIB, Server, memory_kib  # noqa: E402

# 24,000 pages a device: about 20 s of usb-fs link time (250 us + 590 bytes a page exchange).
DEFAULT_PAGES = "10000,14000"
LINK_LATENCY_S, LINK_BYTES_PER_S, PAGE_EXCHANGE_BYTES = 250e-6, 1_000_000, 590
GOAL = 1.25
CONTROL, CONTROL_REPLY = 7, 8
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def serial_of(number):
    return f"OVR{number:013d}"


def replug_at_once(sock, serials):
    """Every replug sent on one control connection before the first reply is read."""
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
        s.connect(sock)
        frames = b""
        for serial in serials:
            body = bytes([CONTROL]) + json.dumps({"cmd": "replug", "serial": serial}).encode()
            frames += struct.pack("<I", len(body)) + body
        s.sendall(frames)
        stream = s.makefile("rb")
        replies = 0
        while replies < len(serials):
            length, = struct.unpack("<I", stream.read(4))
            frame = stream.read(length)
            if frame[0] != CONTROL_REPLY:
                continue
            reply = json.loads(frame[1:])
            if not reply.get("ok"):
                raise SystemExit(f"replug refused: {reply}")
            replies += 1


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS  # utime, stime


def load_average():
    return " ".join(Path("/proc/loadavg").read_text().split()[:3])


def run_phase(work, name, server, sock, serials, count):
    """Plugs serials at once into a fresh signed-in service; answers its measurements."""
    phase = Path(work) / name
    phase.mkdir()
    env = service_env(phase, server, sock)
    with signed_in_service(env) as service:
        load_before = load_average()
        cpu_before = cpu_seconds(service.pid)
        began = time.perf_counter()
        replug_at_once(sock, serials)
        deadline = time.monotonic() + 1800
        while True:
            report = status_of(env) or {}
            devices = {d["serial"]: d for d in report.get("devices", []) if d["serial"] in serials}
            failed = [d for d in devices.values() if d["fetchStatus"] == 3]
            if failed:
                raise SystemExit(f"{name}: download failed: {failed[0]['fetchError']}")
            if len(devices) == len(serials) and all(
                    len(d["sessions"]) == count and all(s["syncStatus"] == 4 for s in d["sessions"])
                    for d in devices.values()):
                took = time.perf_counter() - began
                break
            if time.monotonic() > deadline:
                raise SystemExit(f"{name}: not every session synced in time; see {env['HOME']}/service.log")
            time.sleep(0.25)
        return {"seconds": took, "cpu": cpu_seconds(service.pid) - cpu_before,
                "hwm_kib": memory_kib(service.pid, "VmHWM"), "rss_kib": memory_kib(service.pid, "VmRSS"),
                "load_before": load_before, "load_after": load_average()}


def verify(server, sock, serials):
    """Every session of every device on the server, byte for byte, one record each; answers the faults."""
    client = ApiClient(server.root + "api/", DEMO["username"], DEMO["password"])
    records = client.get("record/?limit=0", timeout=120).json()["objects"]
    faults = []
    for serial in serials:
        mine = [r for r in records if r["device"] == f"/api/device/{serial}/"]
        sessions = json.loads(devsim(sock, "sessions", serial, "--json"))
        if len(mine) != len(sessions):
            faults.append(f"{serial}: {len(mine)} records for {len(sessions)} sessions")
        for session in sessions:
            matching = [r for r in mine if int(r["start"]) // 256 == int(session["start_seconds"])]
            if len(matching) != 1:
                faults.append(f"{serial} session {session['index']}: {len(matching)} records")
                continue
            expected = hashlib.sha256(devsim(sock, "dump", serial, str(session["index"]))).hexdigest()
            stored = client.get(f"sync/timeline/{matching[0]['id']}/", timeout=120)
            if stored.status != 200 or hashlib.sha256(stored.body).hexdigest() != expected:
                faults.append(f"{serial} session {session['index']}: the server's bytes differ "
                              f"(HTTP {stored.status}, {len(stored.body)} bytes)")
    return faults


def report_byte_check(sessions, faults):
    """The end of a report: what the server held, each fault found, and the exit status."""
    print(f"  bytes: {sessions} sessions checked on the server, "
          f"{'all identical, one record each' if not faults else f'{len(faults)} faults'}")
    for fault in faults:
        print(f"    {fault}")
    return 1 if faults else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--pages", default=DEFAULT_PAGES)
    parser.add_argument("--devices", type=int, default=16)
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder (logs, stores)")
    args = parser.parse_args()
    pipeline_bench.DEVSIM = Path(args.build) / "tools" / "ovdevsim" / "ovdevsim"
    pipeline_bench.OVSERVICES = Path(args.build) / "src" / "app" / "ovservices"
    pages = [int(p) for p in args.pages.split(",")]
    one = [serial_of(700)]
    team = [serial_of(701 + i) for i in range(args.devices)]

    work = tempfile.mkdtemp(prefix="ovteam-")
    sock, state, daemon = start_daemon(work)
    server = None
    try:
        server = Server(state)
        # All plugged before any is unplugged, so that each keeps a USB location of its own.
        for serial in one + team:
            devsim(sock, "--wait", "10", "plug", "--serial", serial, "--sessions", str(len(pages)),
                   "--pages", args.pages, "--user", str(DEMO["athlete_ids"][0]))
        for serial in one + team:
            devsim(sock, "unplug", serial)
        daemon_cpu = cpu_seconds(daemon.pid)
        single = run_phase(work, "one", server, sock, one, len(pages))
        single["daemon_cpu"] = cpu_seconds(daemon.pid) - daemon_cpu
        devsim(sock, "unplug", one[0])
        daemon_cpu = cpu_seconds(daemon.pid)
        many = run_phase(work, "team", server, sock, team, len(pages))
        many["daemon_cpu"] = cpu_seconds(daemon.pid) - daemon_cpu
        faults = verify(server, sock, one + team)
    finally:
        if server:
            server.stop()
        daemon.terminate()
        daemon.wait(timeout=30)
        if args.keep:
            print(f"(kept {work})")
        else:
            shutil.rmtree(work, ignore_errors=True)

    model = sum(pages) * (LINK_LATENCY_S + PAGE_EXCHANGE_BYTES / LINK_BYTES_PER_S)
    ratio = many["seconds"] / single["seconds"]
    print(f"team benchmark: {args.devices} devices of {len(pages)} sessions ({args.pages} pages, "
          f"{sum(pages) * 512 / MIB:.1f} MiB a device), usb-fs link, link model {model:.1f} s a device")
    for label, run, devices in (("one", single, 1), ("team", many, args.devices)):
        print(f"  {label:<4} {run['seconds']:7.2f} s  peak RSS {run['hwm_kib'] / 1024:6.1f} MiB  "
              f"(RSS at the end {run['rss_kib'] / 1024:6.1f} MiB)  CPU {run['cpu'] / devices:5.2f} s a device  "
              f"daemon CPU {run['daemon_cpu'] / devices:5.2f} s a device  "
              f"load {run['load_before']} -> {run['load_after']}")
    print(f"  ratio team / one  {ratio:.3f}   (goal: at most {GOAL})")
    return report_byte_check(len(one + team) * len(pages), faults)


if __name__ == "__main__":
    sys.exit(main())
