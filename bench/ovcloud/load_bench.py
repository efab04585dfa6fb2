#!/usr/bin/python3
"""ovcloud under a team's load: many desktop services uploading at once.

For each server set-up, in one run:

  postgresql  PostgreSQL (a temporary cluster) and 4 gunicorn workers, then 1 worker
  sqlite      the default SQLite database and a single worker process

--uploaders threads each upload --sessions sessions of --session-mib MiB, one
round after another, as the desktop service does: look the session's record up
(device, start, user), create it when there is none, then send the data in
5 MiB chunks with their Content-Range, one after another on one kept-alive
connection. In even rounds the uploaders go in pairs that send the same
session at the same moment, so that their look-ups and creations race.
Measured: the latency of every chunk request (p50, p95, max) and the total
throughput. Checked afterwards: one record per session, each complete, and its
stored bytes equal to what was sent. Each set-up runs --repeat times,
interleaved with the others; the medians are reported.

    /usr/bin/python3 bench/ovcloud/load_bench.py [--uploaders 16] [--sessions 2]
                                                 [--session-mib 12] [--repeat 3]
"""

import argparse
import hashlib
import http.client
import json
import os
import shutil
import statistics
import sys
import tempfile
import threading
import time
from pathlib import Path

from upload_bench import DEMO, MIB, REPO, Server, auth_headers

sys.path.insert(0, str(REPO / "server" / "tests"))
import pgcluster  # noqa: E402

CHUNK = 5 * MIB
SERIAL = "LOADBENCH0001"
USER = DEMO["athlete_ids"][0]


class Uploader:
    """One desktop service: a kept-alive connection, its requests signed one by one."""

    def __init__(self, server):
        self.server = server
        self.connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=120)

    def send(self, method, path, body=None, headers=None):
        url = self.server.root + "api/" + path
        all_headers = dict(auth_headers(url), **(headers or {}))
        self.connection.request(method, "/api/" + path, body=body, headers=all_headers)
        answer = self.connection.getresponse()
        payload = answer.read()
        if answer.status >= 300:
            raise RuntimeError(f"{method} {path}: {answer.status} {payload[:200]!r}")
        return json.loads(payload)

    def find_or_create(self, start, size):
        found = self.send("GET", f"record/?start__exact={start}&user__exact={USER}"
                                 f"&device__exact={SERIAL}")["objects"]
        if found:
            return found[0]["id"]
        body = {"data": "", "device": f"/api/device/{SERIAL}/", "start": start,
                "end": start + 256 * 60, "npages": size // 512, "user": f"/api/user/{USER}/"}
        return self.send("POST", "record/", json.dumps(body),
                         {"Content-Type": "application/json"})["id"]

    def upload(self, start, data, latencies):
        record = self.find_or_create(start, len(data))
        for first in range(0, len(data), CHUNK):
            piece = data[first:first + CHUNK]
            began = time.perf_counter()
            self.send("POST", f"sync/timeline/{record}/", piece, {
                "Content-Type": "application/octet-stream",
                "Content-Range": f"bytes {first}-{first + len(piece) - 1}/{len(data)}"})
            latencies.append(time.perf_counter() - began)


def session_data(base, index):
    """Each session's own bytes: its index, then the shared random bytes."""
    return index.to_bytes(8, "big") + base[8:]


def session_of(round_number, uploader):
    """Which session an uploader sends in a round: in even rounds uploaders go in
    pairs, both of a pair sending the same session at the same moment."""
    return round_number, uploader - uploader % 2 if round_number % 2 == 0 else uploader


def run_load(server, state, args, base):
    latencies, failures = [], []
    keys = sorted({session_of(r, u) for r in range(args.sessions) for u in range(args.uploaders)})
    sessions = {key: (256 * (1_800_000_000 + number * 3600), number)
                for number, key in enumerate(keys)}
    barrier = threading.Barrier(args.uploaders)

    def work(uploader_number):
        uploader = Uploader(server)
        try:
            for round_number in range(args.sessions):
                barrier.wait()
                start, number = sessions[session_of(round_number, uploader_number)]
                uploader.upload(start, session_data(base, number), latencies)
        except Exception as failure:  # reported after the run
            barrier.abort()
            failures.append(failure)

    threads = [threading.Thread(target=work, args=(u,)) for u in range(args.uploaders)]
    began = time.perf_counter()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.perf_counter() - began
    if failures:
        raise SystemExit(f"upload failed: {failures[0]!r}")
    check(server, state, dict(sessions.values()), base)
    return latencies, elapsed, len(keys), args.uploaders * args.sessions * len(base)


def check(server, state, starts, base):
    """One complete record per session, holding exactly the session's bytes.
    starts: each session's start and number."""
    records = Uploader(server).send("GET", f"record/?limit=0&device__exact={SERIAL}")["objects"]
    by_start = {}
    for record in records:
        by_start.setdefault(record["start"], []).append(record)
    for start, index in starts.items():
        found = by_start.get(start, [])
        if len(found) != 1:
            raise SystemExit(f"session {index}: {len(found)} records")
        stored = Path(state) / "timelines" / f"{found[0]['id']}.dat"
        if found[0]["status"] != "complete" or \
                hashlib.sha256(stored.read_bytes()).digest() != \
                hashlib.sha256(session_data(base, index)).digest():
            raise SystemExit(f"session {index}: record {found[0]['id']} is not the bytes sent")
    if len(records) != len(starts):
        raise SystemExit(f"{len(records)} records for {len(starts)} sessions")


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def measure(settings, args, base, work):
    state = tempfile.mkdtemp(dir=work)
    server = Server(state, **settings)
    try:
        latencies, elapsed, sessions, sent = run_load(server, state, args, base)
    finally:
        server.stop()
        shutil.rmtree(state, ignore_errors=True)
    return {"chunks": len(latencies), "sessions": sessions, "p50": statistics.median(latencies),
            "p95": percentile(latencies, 0.95), "max": max(latencies),
            "elapsed": elapsed, "mib_s": sent / MIB / elapsed}


def medians(runs):
    """Each measure's median over the runs of one set-up."""
    return {key: statistics.median(run[key] for run in runs) for key in runs[0]}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--uploaders", type=int, default=16)
    parser.add_argument("--sessions", type=int, default=2, help="rounds: sessions per uploader")
    parser.add_argument("--session-mib", type=int, default=12)
    parser.add_argument("--repeat", type=int, default=3,
                        help="runs of each set-up, interleaved; medians are reported")
    args = parser.parse_args()
    base = os.urandom(args.session_mib * MIB)

    work = tempfile.mkdtemp(prefix="ovcloud-load-")
    try:
        cluster = pgcluster.Cluster()
    except pgcluster.Unavailable as reason:
        raise SystemExit(f"PostgreSQL cannot be started here: {reason}")
    # PostgreSQL with one worker as well, to tell the database's share from the workers'.
    setups = [("postgresql, 4 workers", "pg4", "4"), ("postgresql, 1 worker", "pg1", "1"),
              ("sqlite, 1 worker", None, "1")]
    try:
        runs = {label: [] for label, _, _ in setups}
        for repetition in range(args.repeat):
            for label, database, workers in setups:
                settings = {"OVCLOUD_WORKERS": workers}
                if database:
                    settings["OVCLOUD_DATABASE_URL"] = cluster.database(f"{database}_{repetition}")
                runs[label].append(measure(settings, args, base, work))
        results = {label: medians(values) for label, values in runs.items()}
    finally:
        cluster.stop()
        shutil.rmtree(work, ignore_errors=True)

    print(f"ovcloud under load: {args.uploaders} uploaders at once, {args.sessions} rounds of one "
          f"{args.session_mib} MiB session each (in even rounds two uploaders send the same "
          f"session), 5 MiB chunks, loopback; every session one complete record with its bytes; "
          f"medians of {args.repeat} interleaved runs")
    for name, r in results.items():
        print(f"  {name:22s} sessions {r['sessions']:3.0f}  chunks {r['chunks']:4.0f}"
              f"  p50 {r['p50']:6.2f} s  p95 {r['p95']:6.2f} s"
              f"  max {r['max']:6.2f} s  total {r['elapsed']:6.1f} s  {r['mib_s']:6.1f} MiB/s")
    pg, lite = results["postgresql, 4 workers"], results["sqlite, 1 worker"]
    print(f"  p95 postgresql/sqlite {pg['p95'] / lite['p95']:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
