#!/usr/bin/python3
"""A season on one device: a full flash of sessions of mixed sizes, plug-in to every session synced.

Real processes only, on loopback, as in bench/pipeline: ovcloud (server/serve.sh), the ovdevsim
daemon on the full-speed USB link model (usb-fs) and the built `ovservices --headless` in a
temporary home, signed in to the demo account. One device's flash is full: the emulator's largest
(2,097,152 pages of 512 bytes, less the 16 pages of the device's own tables), in a fixed mix of
about a hundred sessions from 50 KiB to about 100 MiB. Measures:

  pipeline  seconds from `ovdevsim replug` to `ovservices status --json` showing every session
            synced (status polled every second)
  read      the bare page loop of bench/pipeline over the same pages, on a twin device (same
            sessions, same link model) in a second emulator daemon, run at the same time as the
            pipeline so that both see the same machine load
  post      curl posting the same bytes as signed 5 MiB chunks (bench/pipeline), before the pipeline
  floor     max(read, post) + the post of the session downloaded last

and, sampled every second, the service's resident memory (VmRSS) and CPU seconds (utime + stime).
Every session is then read back from the server and compared with the device's bytes; the script
exits 1 when one is missing or differs. `--scale F` runs the same mix on a fraction F of the flash.

    /usr/bin/python3 bench/season/season_bench.py BUILD_DIR [--scale F] [--keep]
"""

import argparse
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "bench" / "ovcloud"))
sys.path.insert(0, str(REPO / "bench" / "pipeline"))
sys.path.insert(0, str(REPO / "bench" / "team"))
import pipeline_bench  # noqa: E402  (its helpers read pipeline_bench.DEVSIM, OVSERVICES and SERIAL)
from pipeline_bench import (LINK_BYTES_PER_S, LINK_LATENCY_S, PAGE_EXCHANGE_BYTES, bare_read,  # noqa: E402
                            devsim, post_chunks, service_env, signed_in_service, start_daemon, status_of)
from team_bench import cpu_seconds, load_average, report_byte_check, verify  # noqa: E402
from upload_bench import DEMO, MIB, Server, memory_kib  # noqa: E402

SERIAL = pipeline_bench.SERIAL
# The emulator's flash (SimVirtualDevice::kDefaultFlashPages) less the pages before the first
# session (kFirstSessionPage): what `ovdevsim plug` accepts at most.
FLASH_ROOM = (1 << 21) - 16
CHUNK_PAGES = pipeline_bench.CHUNK // 512
GOAL = 1.10
SYNCED, STORED_OR_LATER = 4, {1, 2, 3, 4, 5, 9, 11}


def season_mix(scale):
    """The pages of each session, in recording order: the whole flash at scale 1, fixed by a seed."""
    rng = random.Random(2026)
    pages = [rng.randint(100, 2_000) for _ in range(60)]  # a warm-up, a test: 50 KiB to 1 MiB
    pages += [rng.randint(2_000, 10_000) for _ in range(24)]  # trainings: 1 to 5 MiB
    # Above one chunk: exactly one, one and a page, then up to four chunks.
    pages += [CHUNK_PAGES, CHUNK_PAGES + 1] + [rng.randint(CHUNK_PAGES + 2, 4 * CHUNK_PAGES) for _ in range(8)]
    weights = [rng.uniform(0.5, 1.5) for _ in range(12)]  # matches and long days: tens of MiB
    rest = FLASH_ROOM - sum(pages)
    big = [int(rest * w / sum(weights)) for w in weights]
    big[-1] += rest - sum(big)
    pages += big
    rng.shuffle(pages)
    if scale != 1:
        pages = [max(2, round(p * scale)) for p in pages]
    return pages


def twin_read(build, sock):
    """The bare page loop over every session of the twin device of sock; prints its seconds."""
    pipeline_bench.DEVSIM = Path(build) / "tools" / "ovdevsim" / "ovdevsim"
    sessions = json.loads(devsim(sock, "sessions", SERIAL, "--json"))
    read = bare_read(sock, sessions)
    print(json.dumps({"read": read, "cpu": time.process_time()}), flush=True)
    return 0


def stored_bytes(store):
    """Bytes of every session's pages in the service's store."""
    total = 0
    for directory, _, files in os.walk(store):
        if "session_data.dat" in files:
            try:
                total += os.stat(os.path.join(directory, "session_data.dat")).st_size
            except FileNotFoundError:
                pass
    return total


class Sampler(threading.Thread):
    """The service's VmRSS (KiB) and CPU seconds every second, (seconds since began, rss, cpu), and the
    machine's one-minute load average."""

    def __init__(self, pid, began):
        super().__init__(daemon=True)
        self.pid, self.began, self.samples, self.loads, self.stopping = pid, began, [], [], threading.Event()

    def run(self):
        while not self.stopping.is_set():
            try:
                self.samples.append((time.perf_counter() - self.began, memory_kib(self.pid, "VmRSS"),
                                     cpu_seconds(self.pid)))
                self.loads.append(float(load_average().split()[0]))
            except (FileNotFoundError, ProcessLookupError):
                return
            self.stopping.wait(1.0)


def run_pipeline(env, sock, count, total_bytes, twin_command):
    """Replug to every session synced, the twin's page loop beside it: its measurements."""
    store = Path(env["XDG_DATA_HOME"]) / "OvServices" / "DATA" / "PROD"
    with signed_in_service(env) as service:
        cpu_before = cpu_seconds(service.pid)
        load_before = load_average()
        began = time.perf_counter()
        sampler = Sampler(service.pid, began)
        sampler.start()
        twin = subprocess.Popen(twin_command, stdout=subprocess.PIPE)
        try:
            devsim(sock, "replug", SERIAL)
            moved = []  # (seconds, bytes stored + bytes synced)
            while True:
                report = status_of(env) or {}
                device = next((d for d in report.get("devices", []) if d["serial"] == SERIAL), None)
                sessions = device["sessions"] if device else []
                synced = sum(s["pages"] * 512 for s in sessions if s["syncStatus"] == SYNCED)
                moved.append((time.perf_counter() - began, stored_bytes(store) + synced))
                if len(sessions) == count and all(s["syncStatus"] == SYNCED for s in sessions):
                    took = time.perf_counter() - began
                    break
                if device and device["fetchStatus"] == 3:
                    raise SystemExit(f"download failed: {device['fetchError']}")
                time.sleep(1.0)
            sampler.stopping.set()
            sampler.join()
            result = {"seconds": took, "cpu": cpu_seconds(service.pid) - cpu_before,
                      "hwm_kib": memory_kib(service.pid, "VmHWM"), "load_before": load_before}
            out, _ = twin.communicate(timeout=4 * 3600)
            if twin.returncode != 0:
                raise SystemExit("the twin's page loop failed")
            twin_figures = json.loads(out)
            result["read"], result["twin_cpu"] = twin_figures["read"], twin_figures["cpu"]
            result["load_after"] = load_average()
        finally:
            sampler.stopping.set()
            if twin.poll() is None:
                twin.kill()
                twin.wait()
    result["rss"], result["loads"] = sampler.samples, sampler.loads
    result["moved"] = moved
    result["total_moved"] = 2 * total_bytes
    return result


def rss_figures(run):
    """Peak, median of the second half, and RSS when 10, 50 and 90 % of the bytes had moved (MiB)."""
    samples = run["rss"]
    half = run["seconds"] / 2
    figures = {"peak": max(r for _, r, _ in samples) / 1024,
               "median_second_half": statistics.median(r for t, r, _ in samples if t >= half) / 1024}
    for share in (10, 50, 90):
        when = next(t for t, m in run["moved"] if m >= run["total_moved"] * share / 100)
        figures[f"at_{share}"] = min(samples, key=lambda s: abs(s[0] - when))[1] / 1024
    return figures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--scale", type=float, default=1.0, help="fraction of the flash (default 1: full)")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder (logs, store)")
    parser.add_argument("--twin-read", metavar="SOCKET", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.twin_read:
        return twin_read(args.build, args.twin_read)
    if not 0 < args.scale <= 1:
        parser.error("--scale takes a fraction above 0, at most 1")
    pipeline_bench.DEVSIM = Path(args.build) / "tools" / "ovdevsim" / "ovdevsim"
    pipeline_bench.OVSERVICES = Path(args.build) / "src" / "app" / "ovservices"
    pages = season_mix(args.scale)
    total_bytes = sum(pages) * 512
    # A stop by SIGTERM (or a closed terminal) unwinds like Ctrl-C: every process is stopped.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(129))

    work = tempfile.mkdtemp(prefix="ovseason-")
    daemons, server = [], None
    try:
        sock, state, daemon = start_daemon(work)
        daemons.append(daemon)
        twin_work = os.path.join(work, "twin")
        os.mkdir(twin_work)
        twin_sock, _, twin_daemon = start_daemon(twin_work)
        daemons.append(twin_daemon)
        server = Server(state)
        plug = ["plug", "--serial", SERIAL, "--sessions", str(len(pages)), "--pages", ",".join(map(str, pages)),
                "--user", str(DEMO["athlete_ids"][0]), "--seed", "2026",
                "--first-start", str(int(time.time()) // 86400 * 86400 - 86400 * (len(pages) + 1))]
        devsim(sock, "--wait", "10", *plug)
        devsim(twin_sock, "--wait", "10", *plug)
        sessions = json.loads(devsim(sock, "sessions", SERIAL, "--json"))
        if sessions != json.loads(devsim(twin_sock, "sessions", SERIAL, "--json")):
            raise SystemExit("the twin's sessions differ from the device's")
        post, per_session = post_chunks(server, twin_sock, sessions, work)
        devsim(sock, "unplug", SERIAL)
        daemon_cpu, twin_daemon_cpu = cpu_seconds(daemon.pid), cpu_seconds(twin_daemon.pid)
        run = run_pipeline(service_env(work, server, sock), sock, len(sessions), total_bytes,
                           [sys.executable, str(Path(__file__).resolve()), args.build, "--twin-read", twin_sock])
        run["daemon_cpu"] = cpu_seconds(daemon.pid) - daemon_cpu
        run["twin_daemon_cpu"] = cpu_seconds(twin_daemon.pid) - twin_daemon_cpu
        faults = verify(server, sock, [SERIAL])
    finally:
        if server:
            server.stop()
        for daemon in daemons:
            daemon.terminate()
        for daemon in daemons:
            daemon.wait(timeout=30)
        if args.keep:
            print(f"(kept {work})")
        else:
            shutil.rmtree(work, ignore_errors=True)

    took, read = run["seconds"], run["read"]
    last = per_session[sessions[-1]["index"]]
    floor = max(read, post) + last
    model = sum(pages) * (LINK_LATENCY_S + PAGE_EXCHANGE_BYTES / LINK_BYTES_PER_S)
    rss = rss_figures(run)
    sizes = sorted(pages)
    print(f"season benchmark: {total_bytes / MIB:.0f} MiB ({sum(pages)} pages, scale {args.scale:g}) in "
          f"{len(pages)} sessions of {sizes[0]} to {sizes[-1]} pages (median {sizes[len(sizes) // 2]}; "
          f"{sum(p > CHUNK_PAGES for p in pages)} above one 5 MiB chunk), usb-fs link")
    print(f"  pipeline (replug to last session synced)           {took:8.1f} s")
    print(f"  read     (bare page loop, twin device, concurrent) {read:8.1f} s")
    print(f"  model    (the link model's own time)               {model:8.1f} s  (pipeline / model {took / model:.3f})")
    print(f"  post     (curl, 5 MiB chunks, signed, before)      {post:8.1f} s  (last session {last:.2f} s)")
    print(f"  floor    max(read, post) + last session's post     {floor:8.1f} s")
    print(f"  ratio pipeline / floor  {took / floor:.3f}   (goal: at most {GOAL})")
    print(f"  service RSS (MiB): peak {rss['peak']:.1f}, median of the second half {rss['median_second_half']:.1f}, "
          f"at 10/50/90 % of the bytes moved {rss['at_10']:.1f} / {rss['at_50']:.1f} / {rss['at_90']:.1f} "
          f"(VmHWM {run['hwm_kib'] / 1024:.1f})")
    print(f"  service CPU {run['cpu']:.1f} s ({100 * run['cpu'] / took:.1f} % of one core over the pipeline, "
          f"{1e6 * run['cpu'] / sum(pages):.0f} us a page); its daemon {run['daemon_cpu']:.1f} s")
    print(f"  twin: page loop CPU {run['twin_cpu']:.1f} s, its daemon {run['twin_daemon_cpu']:.1f} s")
    loads = run["loads"]
    print(f"  load (1 min) during the pipeline: mean {statistics.mean(loads):.1f}, "
          f"from {min(loads):.1f} to {max(loads):.1f}; {run['load_before']} before, {run['load_after']} after")
    return report_byte_check(len(sessions), faults)


if __name__ == "__main__":
    sys.exit(main())
