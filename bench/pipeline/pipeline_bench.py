#!/usr/bin/python3
"""Plug-in to last session synced, for 50 MiB in several sessions, against its two baselines.

Real processes only, on loopback: ovcloud (server/serve.sh), the ovdevsim daemon on the full-speed
USB link model (usb-fs) and the built `ovservices --headless` in a temporary home. Measures:

  pipeline  seconds from `ovdevsim replug` to `ovservices status --json` showing every session
            synced (status polled every 0.2 s)
  read      the link's own time to read the same pages: a bare loop on the daemon's socket, one
            page request after the other, as a download asks them
  post      curl posting the same bytes as 5 MiB chunks to the timeline resource (signed, with
            Content-Range), one after another

and prints pipeline / (read + post) and pipeline / floor, where the floor is the larger of read
and post plus the post time of the session downloaded last (downloads and uploads of different
sessions overlap; the last session's upload cannot).

    /usr/bin/python3 bench/pipeline/pipeline_bench.py BUILD_DIR [--pages N,N,...]
"""

import argparse
import contextlib
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "bench" / "ovcloud"))
from upload_bench import DEMO, MIB, Server, api, auth_headers, curl  # noqa: E402

SERIAL = "OVR0000000000501"
# 102,400 pages of 512 bytes: 50 MiB in five sessions, two of them above one 5 MiB chunk.
DEFAULT_PAGES = "30720,20480,25600,15360,10240"
CHUNK = 5 * MIB
# The usb-fs link model: each request costs its latency plus its bytes over the bandwidth (a page
# request and its answer with their frames, about 590 bytes).
LINK_LATENCY_S, LINK_BYTES_PER_S, PAGE_EXCHANGE_BYTES = 250e-6, 1_000_000, 590


class DeviceSocket:
    """The emulator daemon's wire protocol, just enough to read pages."""

    def __init__(self, path):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 1
        self.send(1, struct.pack("<I", 1))

    def send(self, kind, body):
        self.sock.sendall(struct.pack("<IB", len(body) + 1, kind) + body)

    def receive(self):
        length, = struct.unpack("<I", self.exact(4))
        frame = self.exact(length)
        return frame[0], frame[1:]

    def exact(self, n):
        data = bytearray()
        while len(data) < n:
            piece = self.sock.recv(n - len(data))
            if not piece:
                raise SystemExit("the emulator closed the connection")
            data += piece
        return bytes(data)

    def handle_of(self, serial):
        while True:
            kind, body = self.receive()
            if kind != 2:
                continue
            count, = struct.unpack_from("<I", body)
            offset = 4
            for _ in range(count):
                handle, _location, _recovery = struct.unpack_from("<IIB", body, offset)
                offset += 9
                texts = []
                for _ in range(4):
                    size, = struct.unpack_from("<H", body, offset)
                    texts.append(body[offset + 2:offset + 2 + size].decode())
                    offset += 2 + size
                if texts[0] == serial:
                    return handle

    def read_page(self, handle, page):
        request_id = self.next_id
        self.next_id += 1
        self.send(3, struct.pack("<QIBQQI", request_id, handle, 2, page, 0, 0))
        while True:
            kind, body = self.receive()
            if kind == 5 and struct.unpack_from("<Q", body)[0] == request_id:
                status, size = struct.unpack_from("<iI", body, 8)
                if status != 0 or size != 512:
                    raise SystemExit(f"page {page}: status {status}, {size} bytes")
                return


def devsim(sock, *args):
    return subprocess.run([str(DEVSIM), "--socket", sock, *args], check=True, capture_output=True,
                          timeout=600).stdout


def bare_read(sock, sessions):
    device = DeviceSocket(sock)
    handle = device.handle_of(SERIAL)
    began = time.perf_counter()
    for session in sessions:
        for page in range(session["start_page"], session["end_page"] + 1):
            device.read_page(handle, page)
    return time.perf_counter() - began


def post_chunks(server, sock, sessions, work):
    """curl's time for every session's chunks; answers (total, {index: seconds})."""
    per_session = {}
    for session in sessions:
        data = devsim(sock, "dump", SERIAL, str(session["index"]))
        size = len(data)
        start = 256 * (1_600_000_000 + session["index"])
        record = api(server, "POST", "record/", {
            "data": "", "dev_id": "BENCH", "device": "/api/device/BENCH0000000001/", "start": start,
            "end": start + 256, "npages": size // 512, "user": f"/api/user/{DEMO['athlete_ids'][0]}/"})
        url = f"{server.root}api/sync/timeline/{record['id']}/"
        parts = []
        for offset in range(0, size, CHUNK):
            part = Path(work) / f"part_{session['index']}_{offset}.dat"
            part.write_bytes(data[offset:offset + CHUNK])
            parts.append((part, offset, min(offset + CHUNK, size) - 1))
        began = time.perf_counter()
        for path, first, last in parts:
            curl(url, path, dict(auth_headers(url), **{"Content-Range": f"bytes {first}-{last}/{size}"}))
        per_session[session["index"]] = time.perf_counter() - began
        for path, _, _ in parts:
            path.unlink()
    return sum(per_session.values()), per_session


def service_env(work, server, sock):
    home = Path(work) / "home"
    runtime = Path(work) / "run"
    home.mkdir()
    runtime.mkdir(mode=0o700)
    return dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), HOME=str(home), XDG_RUNTIME_DIR=str(runtime),
                XDG_CONFIG_HOME=str(home / ".config"), XDG_DATA_HOME=str(home / ".local/share"),
                XDG_STATE_HOME=str(home / ".local/state"), OV_SERVER_URL=server.root + "api/",
                OV_NETWORK_TIME_URL=server.root, OV_DEVSIM_SOCKET=sock)


def status_of(env):
    """`ovservices status --json` of the service of env; None while it does not answer."""
    answer = subprocess.run([str(OVSERVICES), "status", "--json"], env=env, capture_output=True, timeout=60)
    return json.loads(answer.stdout) if answer.returncode == 0 else None


@contextlib.contextmanager
def signed_in_service(env):
    """`ovservices --headless` of env signed in to the demo account and answering; quit when the block ends."""
    signed = subprocess.run([str(OVSERVICES), "sign-in", DEMO["username"]], env=env, capture_output=True,
                            input=(DEMO["password"] + "\n").encode(), timeout=120)
    if signed.returncode != 0:
        raise SystemExit(f"sign-in failed: {signed.stderr.decode()}")
    log = open(Path(env["HOME"]) / "service.log", "wb")
    service = subprocess.Popen([str(OVSERVICES), "--headless"], env=env, stdout=log, stderr=subprocess.STDOUT)
    try:
        while not status_of(env):
            time.sleep(0.1)
        yield service
    finally:
        subprocess.run([str(OVSERVICES), "quit"], env=env, capture_output=True, timeout=60)
        try:
            service.wait(timeout=60)
        except subprocess.TimeoutExpired:
            service.kill()
        log.close()


def pipeline(env, sock, count):
    with signed_in_service(env):
        began = time.perf_counter()
        devsim(sock, "replug", SERIAL)
        while True:
            report = status_of(env) or {}
            device = next((d for d in report.get("devices", []) if d["serial"] == SERIAL), None)
            if device and len(device["sessions"]) == count and all(s["syncStatus"] == 4 for s in device["sessions"]):
                return time.perf_counter() - began
            if device and device["fetchStatus"] == 3:
                raise SystemExit(f"download failed: {device['fetchError']}")
            time.sleep(0.2)


def start_daemon(work):
    """The emulator daemon on the usb-fs link in work, and the folder for ovcloud's state: (socket, state, process)."""
    sock = os.path.join(work, "devsim.sock")
    state = os.path.join(work, "cloud")
    os.mkdir(state)
    daemon = subprocess.Popen([str(DEVSIM), "--socket", sock, "serve", "--state-dir", os.path.join(work, "devices"),
                               "--preset", "usb-fs"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return sock, state, daemon


def main():
    global DEVSIM, OVSERVICES
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--pages", default=DEFAULT_PAGES)
    args = parser.parse_args()
    DEVSIM = Path(args.build) / "tools" / "ovdevsim" / "ovdevsim"
    OVSERVICES = Path(args.build) / "src" / "app" / "ovservices"
    pages = [int(p) for p in args.pages.split(",")]

    work = tempfile.mkdtemp(prefix="ovpipe-")
    sock, state, daemon = start_daemon(work)
    server = None
    try:
        server = Server(state)
        devsim(sock, "--wait", "10", "plug", "--serial", SERIAL, "--sessions", str(len(pages)),
               "--pages", args.pages, "--user", str(DEMO["athlete_ids"][0]))
        sessions = json.loads(devsim(sock, "sessions", SERIAL, "--json"))
        read = bare_read(sock, sessions)
        post, per_session = post_chunks(server, sock, sessions, work)
        devsim(sock, "unplug", SERIAL)
        took = pipeline(service_env(work, server, sock), sock, len(sessions))
    finally:
        if server:
            server.stop()
        daemon.terminate()
        daemon.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)

    last = per_session[sessions[-1]["index"]]
    floor = max(read, post) + last
    total_mib = sum(pages) * 512 / MIB
    print(f"pipeline benchmark: {total_mib:.0f} MiB in {len(pages)} sessions ({args.pages} pages), usb-fs link")
    print(f"  pipeline (replug to last session synced) {took:7.2f} s")
    print(f"  read     (bare page loop on the link)     {read:7.2f} s")
    model = sum(pages) * (LINK_LATENCY_S + PAGE_EXCHANGE_BYTES / LINK_BYTES_PER_S)
    print(f"  model    (the link model's own time)      {model:7.2f} s  (pipeline / model {took / model:.3f})")
    print(f"  post     (curl, 5 MiB chunks, signed)     {post:7.2f} s  (last session {last:.2f} s)")
    print(f"  ratio pipeline / (read + post)  {took / (read + post):.3f}   (goal: at most 1.1)")
    print(f"  ratio pipeline / floor          {took / floor:.3f}   (floor = max(read, post) + last session's post)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
