#!/usr/bin/python3
"""Load check of ovcloud's timeline upload.

Starts ovcloud (server/serve.sh, the same gunicorn stack as always, with the
bare sink endpoint enabled) on a free loopback port, then measures:

  upload   a 100 MiB session sent as 5 MiB chunks to /api/sync/timeline/<id>/
           (Basic auth, signature, Content-Range), one curl per chunk, one
           after another as the desktop service sends them
  sink     curl posting the same 5 MiB chunk files to /bench/sink/, an endpoint
           of the same server that only reads and discards the body
  sink1    curl posting the whole 100 MiB in one request to /bench/sink/

and the peak resident memory of the server's processes. Each measurement is
repeated --rounds times; the median is reported. The stored bytes are checked
against the source after every upload round.

    /usr/bin/python3 bench/ovcloud/upload_bench.py [--size-mib 100] [--chunk-mib 5] [--rounds 3]
"""

import argparse
import base64
import hashlib
import http.client
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
SERVE = REPO / "server" / "serve.sh"
API_KEY = os.environ.get("OVCLOUD_API_KEY", "OvDevKey7Lq2Xm9R")
API_SECRET = os.environ.get("OVCLOUD_API_SECRET", "OvDevSecret4ServicesLocal7Tq9Zp2Wn5Hc8Jd")
DEMO = json.loads((REPO / "server" / "demo_account.json").read_text())
MIB = 1024 * 1024


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    def __init__(self, state, **settings):
        """settings: OVCLOUD_* environment of this server (database, workers)."""
        self.port = free_port()
        self.root = f"http://127.0.0.1:{self.port}/"
        self.log = open(Path(state) / "server.log", "wb")
        env = dict(os.environ, OVCLOUD_BENCH_SINK="1", OVCLOUD_ACCESS_LOG="off", **settings)
        self.process = subprocess.Popen([str(SERVE), "--port", str(self.port), "--state", state],
                                        env=env, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if self.process.poll() is not None:
                    break
                time.sleep(0.1)
        raise SystemExit(f"ovcloud did not start; see {self.log.name}")

    def pids(self):
        children = Path(f"/proc/{self.process.pid}/task/{self.process.pid}/children")
        return [self.process.pid] + [int(p) for p in children.read_text().split()]

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
        self.log.close()


def memory_kib(pid, field):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    return 0


def auth_headers(url):
    timestamp = str(int(time.time()))
    signature = hashlib.sha1(f"{API_SECRET}{timestamp}{url}".encode()).hexdigest()
    basic = base64.b64encode(f"{DEMO['username']}:{DEMO['password']}".encode()).decode()
    return {"Authorization": f"Basic {basic}", "X-ORVATIMESTAMP": timestamp,
            "X-ORVAAPIKEY": API_KEY, "X-ORVAAPISIGNATURE": signature,
            "X-ORVAAPIVERSION": "3.3.0"}


def api(server, method, path, body=None):
    url = server.root + "api/" + path
    headers = dict(auth_headers(url), **{"Content-Type": "application/json"})
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=60)
    connection.request(method, "/api/" + path, body=body and json.dumps(body), headers=headers)
    answer = connection.getresponse()
    payload = answer.read()
    connection.close()
    if answer.status >= 300:
        raise SystemExit(f"{method} {path}: {answer.status} {payload[:300]!r}")
    return json.loads(payload) if payload else None


def curl(url, path, headers):
    command = ["curl", "-sS", "-o", "/dev/null", "-w", "%{http_code}", "--data-binary", f"@{path}",
               "-H", "Expect:", "-H", "Content-Type: application/octet-stream"]
    for name, value in headers.items():
        command += ["-H", f"{name}: {value}"]
    result = subprocess.run(command + [url], capture_output=True, text=True, check=True)
    if not result.stdout.startswith("2"):
        raise SystemExit(f"curl {url}: HTTP {result.stdout} {result.stderr}")


def make_session(directory, size, chunk):
    """The session file and its chunk files, named as the desktop service names them."""
    whole = Path(directory) / "session.dat"
    digest = hashlib.sha256()
    parts = []
    with open(whole, "wb") as out:
        for index, offset in enumerate(range(0, size, chunk)):
            piece = os.urandom(min(chunk, size - offset))
            out.write(piece)
            digest.update(piece)
            part = Path(directory) / f"part_{index}_{offset}_{offset + len(piece) - 1}.dat"
            part.write_bytes(piece)
            parts.append((part, offset, offset + len(piece) - 1))
    return whole, parts, digest.hexdigest()


def upload_round(server, parts, size, start):
    record = api(server, "POST", "record/", {
        "data": base64.b64encode(bytes(64)).decode(), "dev_id": "BENCH",
        "device": "/api/device/BENCH0000001/",
        "start": start, "end": start + 256 * 3600, "firmware_rev": "1.0.0", "npages": size // 512,
        "soft_protocole": 1, "soft_uid": "BENCH", "user": f"/api/user/{DEMO['athlete_ids'][0]}/"})
    url = f"{server.root}api/sync/timeline/{record['id']}/"
    began = time.perf_counter()
    for path, first, last in parts:
        curl(url, path, dict(auth_headers(url), **{"Content-Range": f"bytes {first}-{last}/{size}"}))
    elapsed = time.perf_counter() - began
    return record["id"], elapsed


def sink_round(server, paths):
    url = server.root + "bench/sink/"
    began = time.perf_counter()
    for path in paths:
        curl(url, path, {})
    return time.perf_counter() - began


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size-mib", type=int, default=100)
    parser.add_argument("--chunk-mib", type=int, default=5)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    size, chunk = args.size_mib * MIB, args.chunk_mib * MIB

    work = tempfile.mkdtemp(prefix="ovcloud-bench-")
    state = os.path.join(work, "state")
    os.mkdir(state)
    server = None
    try:
        whole, parts, expected = make_session(work, size, chunk)
        server = Server(state)
        # Warm up every worker (imports, database connection) before the baseline memory.
        for _ in range(8):
            api(server, "GET", "account/")
        sink_round(server, [parts[0][0]])
        before = {pid: memory_kib(pid, "VmRSS") for pid in server.pids()}

        times = {"upload": [], "sink": [], "sink1": []}
        for round_number in range(args.rounds):
            record_id, elapsed = upload_round(server, parts, size, 256 * (1_700_000_000 + round_number))
            times["upload"].append(elapsed)
            stored = Path(state) / "timelines" / f"{record_id}.dat"
            if hashlib.sha256(stored.read_bytes()).hexdigest() != expected:
                raise SystemExit(f"record {record_id}: stored bytes differ from the source")
            if api(server, "GET", f"record/{record_id}/")["status"] != "complete":
                raise SystemExit(f"record {record_id} is not complete")
            stored.unlink()
            times["sink"].append(sink_round(server, [p for p, _, _ in parts]))
            times["sink1"].append(sink_round(server, [whole]))
        peaks = {pid: memory_kib(pid, "VmHWM") for pid in server.pids()}
    finally:
        if server:
            server.stop()
        shutil.rmtree(work, ignore_errors=True)

    median = {name: statistics.median(values) for name, values in times.items()}
    mib = size / MIB
    print(f"ovcloud upload load check: {args.size_mib} MiB in {len(parts)} chunks of "
          f"{args.chunk_mib} MiB over loopback, median of {args.rounds} rounds")
    rows = [("upload  (timeline, signed, chunked)", "upload"),
            ("sink    (same chunk files, bare endpoint)", "sink"),
            ("sink1   (one 100 MiB post, bare endpoint)", "sink1")]
    for label, name in rows:
        print(f"  {label:42s} {median[name]:6.2f} s  {mib / median[name]:7.1f} MiB/s  "
              f"(rounds: {', '.join(f'{t:.2f}' for t in times[name])})")
    print(f"  ratio upload/sink  {median['upload'] / median['sink']:.2f}")
    print(f"  ratio upload/sink1 {median['upload'] / median['sink1']:.2f}")
    for pid in sorted(peaks):
        role = "master" if pid == server.process.pid else "worker"
        print(f"  peak RSS {role} {pid}: {peaks[pid] / 1024:6.1f} MiB "
              f"(RSS before the uploads {before.get(pid, 0) / 1024:6.1f} MiB)")
    worst = max(peaks[pid] - before.get(pid, 0) for pid in peaks) / 1024
    print(f"  largest growth of one process during the run: {worst:.1f} MiB "
          f"(chunk size {args.chunk_mib} MiB)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
