"""A seeded fault campaign against real processes. Each scenario plugs a device holding sessions of
mixed sizes into a fresh ovdevsim daemon and a headless ovservices in a fresh home, injects faults
chosen from the seed (on the device, in the service, in the web API), lets the service recover by
itself (restart, replug, `ovservices sync`) and then checks that nothing was lost, duplicated,
corrupted, left stuck or leaked into a log.

OV_FAULT_CAMPAIGN=soak runs scenarios until at least 1,000 faults were injected (./ov soak [SEED]);
the default is a short run on a fixed seed. OV_FAULT_SEED sets the seed, OV_FAULT_SCENARIOS=N stops after N
scenarios (to replay one found by a soak). Both print a table; the logs of a scenario with a problem are kept in
OV_FAULT_LOGS (default: ov-faults-SEED in the temporary folder)."""

import base64
import collections
import contextlib
import datetime
import json
import os
import random
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from netproxy import Relay as LinkRelay  # noqa: E402
from processes import DEMO, ROOT, Cloud, DevSim, Service, built, wait_until  # noqa: E402,F401

SOAK = os.environ.get("OV_FAULT_CAMPAIGN") == "soak"
SEED = int(os.environ.get("OV_FAULT_SEED") or 1206)
SOAK_FAULTS = 1000
SCENARIOS = int(os.environ.get("OV_FAULT_SCENARIOS") or 0)  # stop after this many scenarios (0: no limit)
KEPT_LOGS = Path(os.environ.get("OV_FAULT_LOGS") or Path(tempfile.gettempdir()) / f"ov-faults-{SEED}")
VISIBLE_USERS = [101, 102, 103]
HIDDEN_USER = 106  # not one of the coach's athletes
PAGE_COUNTS = [2, 9, 64, 300, 10300]  # 10,300 pages need two 5 MiB upload chunks
SYNCED, IN_FLIGHT = 4, {2, 3, 8, 11}  # sync started, syncing, storing, CRC checking
FAILED = {5, 6, 7, 10}  # sync failed or cancelled, storing failed or cancelled
FETCH_FAILED = 3
API_SECRET = "OvDevSecret4ServicesLocal7Tq9Zp2Wn5Hc8Jd"
SECRETS = [DEMO["password"], API_SECRET, "Authorization:", "X-ORVAAPISIGNATURE",
           base64.b64encode(f"{DEMO['username']}:{DEMO['password']}".encode()).decode()]

# Faults of the web API by request number: chunks and record creations are counted apart (every worker counts
# in one sequence each).
CHUNK_FAULTS = {"chunk-500": "FAIL", "chunk-503": "FAIL", "chunk-reset": "RESET", "chunk-answer-lost": "DROP_ANSWER"}
RECORD_FAULTS = {"record-500": "FAIL", "record-reset": "RESET", "record-answer-lost": "DROP_ANSWER"}
DEVICE_FAULTS = ["fail-page", "corrupt-page", "refuse-page", "refuse-list", "lost-page-answer", "unplug-after-pages"]
LIVE_FAULTS = ["unplug-mid-download", "kill-service-download", "kill-service-upload", "kill-ovcloud-upload",
               "ovcloud-down-at-start", "unplug-mid-upload", "sync-now-during-download",
               "sign-out-and-in-during-upload"]
SHORT_SCENARIOS = len(LIVE_FAULTS)
# Faults of the computer the service runs on. Its clock jumps a day while it transfers (libfaketime moves the
# service's wall clock only: a real jump leaves the monotonic clock alone); the disk under its store fills up.
HOST_FAULTS = ["clock-forward", "clock-back", "full-disk"]
# A session record overwritten with random bytes while the service is stopped (after a kill): drawn from a
# generator of its own, so a seed's scenarios stay as they were; the short run corrupts one in its second.
CORRUPT_RECORD = "corrupt-record"
# Between the service and the web API (a relay in front of it): a slow uplink, requests whose connection closes
# without an answer, an answer dripped a byte at a time, an endless answer.
NETWORK_FAULTS = ["slow-uplink", "closed-unanswered", "drip", "flood"]
FAULTED_REQUESTS = (b"GET /api/record/", b"POST /api/record/", b"POST /api/sync/timeline/",
                    b"GET /api/bundle_permission/")
CLOCK_JUMPS = {"clock-forward": "+1d", "clock-back": "-1d"}
FAKETIME = Path("/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1")
# Faults of what stands between the service and the web API, a relay in front of it (ovcloud_relay.py): the
# scenario's first chunks answered "302 Found" instead of reaching the server, or record queries that lose their
# start filter, so that the answer lists every record of the device.
RELAY_FAULTS = {"chunk-redirect": "redirect", "filter-ignored": "ignore-start"}
RELAY = ROOT / "tests" / "e2e" / "ovcloud_relay.py"
DAY = 86400
CONTROL_ANSWER_SECONDS = 2  # the control socket answers within this, whatever the service is doing
# What a user does at the same time: sign out and in again while the service's first refresh of the device
# list runs (it reads the store and asks the web API). Drawn apart, like the record faults.
USER_ACTIONS_SHARE = 0.3
LISTED_AFTER_SIGN_IN_SECONDS = 30
# Devices of a team plugged in before the service starts, beside the one that meets the faults: up to two more
# (three at once). With Auto Sync off the service stores and uploads nothing until the user asks, even when the
# stall watchdog restarts a download (made quick here). Both drawn apart, like the record faults.
COMPANION_PAGES = [2, 9, 64, 300]
AUTO_SYNC_OFF = "auto-sync-off-with-stall"
QUICK_STALL = {"OV_STALL_SECONDS": "4", "OV_STALL_BACKOFF_SECONDS": "2"}
READY, STORED = 1, 9


def fault_plan(rng, kinds, first, share):
    """Request number -> fault kind: about `share` of the requests go wrong; the short run meets each kind at the
    numbers `first`."""
    if not SOAK:
        return dict(zip(first, sorted(kinds)))
    return {n: rng.choice(sorted(kinds)) for n in range(1, 20001) if rng.random() < share}


def fault_environment(plan, kinds, what):
    """OVCLOUD_FAULT_<FAIL|RESET|DROP_ANSWER>_<what> settings for a plan of request number -> kind."""
    lists = collections.defaultdict(list)
    for number, kind in sorted(plan.items()):
        status = kind.split("-")[1] if kinds[kind] == "FAIL" else None
        lists[kinds[kind]].append(f"{number}:{status}" if status else str(number))
    return {f"OVCLOUD_FAULT_{name}_{what}": ",".join(values) for name, values in lists.items()}


class Campaign:
    """The web API with its chunk and record faults, shared by every scenario, and the running totals."""

    def __init__(self, rng, state_dir):
        self.state_dir = Path(state_dir)
        self.chunk_plan = fault_plan(rng, CHUNK_FAULTS, [2, 3, 5, 7], 0.17)
        # Drawn apart, so that a seed's scenarios stay those of runs before record faults were injected.
        self.record_plan = fault_plan(random.Random(f"{SEED} records"), RECORD_FAULTS, [1, 4, 6], 0.12)
        self.user_actions = random.Random(f"{SEED} user actions")
        self.cloud = Cloud(self.state_dir, self.server_faults())
        self.faults = collections.Counter()
        self.totals = collections.Counter()
        self.seconds = collections.Counter()  # by phase of the scenarios: where a soak's time goes
        self.slowest_answer = 0.0  # seconds, of every status asked while the scenarios ran
        self.problems = []

    @contextlib.contextmanager
    def timed(self, phase):
        started = time.monotonic()
        try:
            yield
        finally:
            self.seconds[phase] += time.monotonic() - started

    def server_faults(self):
        return {**fault_environment(self.chunk_plan, CHUNK_FAULTS, "CHUNK"),
                **fault_environment(self.record_plan, RECORD_FAULTS, "RECORD")}

    def start_cloud(self):
        """A new server on the port and state of the one that was killed."""
        self.cloud = Cloud(self.state_dir, self.server_faults(), port=self.cloud.port)

    def server_faults_injected(self):
        def reached(name):
            counter = self.state_dir / name
            return int(counter.read_text() or 0) if counter.exists() else 0

        chunks, records = reached("fault_chunk_counter"), reached("fault_record_counter")
        return collections.Counter([kind for n, kind in self.chunk_plan.items() if n <= chunks]
                                   + [kind for n, kind in self.record_plan.items() if n <= records])

    def fault_count(self):
        return sum(self.faults.values()) + sum(self.server_faults_injected().values())


def skipped_as_corrupt(session):
    """The device flagged it corrupt with status 0: never stored, never synced."""
    return session["corrupted"] and session["corruption_status"] == 0


def expected_on_server(session):
    return session["user"] in VISIBLE_USERS and not skipped_as_corrupt(session)


def progress(service, devices, status=None, waits_for_sync=False, plugged=None):
    """"settled", "needs the user" (a device left, a fetch or an upload failed, or with waits_for_sync every
    session waits for the user to sync it) or None (busy), over the devices (serial -> sessions).

    plugged: asked, when a device is not listed, for the serials plugged in. A device that left is listed
    as disconnected, except after a sign-in, which lists the devices attached then: one that left
    before is in no list, and waits for the user to plug it again."""
    status = status or service.status()
    if status["storing"] or status["syncing"]:
        return None
    states = [device_progress(service.device(serial, status), sessions, waits_for_sync)
              for serial, sessions in devices.items()]
    if None in states and plugged:
        attached = plugged()
        states = ["needs the user" if state is None and service.device(serial, status) is None and
                  serial not in attached else state for serial, state in zip(devices, states)]
    if None in states:
        return None
    return "needs the user" if "needs the user" in states else "settled"


def device_progress(device, sessions, waits_for_sync):
    if device is None:
        return None
    states = {s["startSeconds"]: s["syncStatus"] for s in device["sessions"]}
    expected = [states.get(s["start_seconds"]) for s in sessions if expected_on_server(s)]
    if all(state == SYNCED for state in expected):
        return "settled"
    if not device["connected"] or device["fetchStatus"] == FETCH_FAILED or set(states.values()) & FAILED:
        return "needs the user"
    if waits_for_sync and expected and all(state in (READY, STORED, SYNCED) for state in expected):
        return "needs the user"
    return None


class Scenario:
    def __init__(self, number, rng, campaign):
        self.rng = rng
        self.campaign = campaign
        self.base = tempfile.mkdtemp(prefix="ovf-")
        self.devsim = DevSim(self.base)
        self.service = Service(Path(self.base) / "service", campaign.cloud, self.devsim)
        self.number = number
        self.serial = f"OVRF{SEED % 100000:05d}{number:07d}"
        self.injected = []
        self.sessions = []
        self.ended = set()
        self.host = HostFaults(self, [])
        self.record_rng = random.Random(f"{SEED}:{number}:record")
        self.corrupt_records = self.record_rng.random() < 0.3 if SOAK else number == 2
        self.corrupted = {}  # record path -> the bytes written over it, each time
        self.relay = None
        self.network = NetworkFaults(self)
        team = random.Random(f"{SEED} team {number}")
        self.companion_count = (team.choice([1, 2]) if team.random() < 0.3 else 0) if SOAK else int(number == 2)
        self.companions = {}  # serial -> sessions: devices plugged beside this one, without faults of their own
        self.auto_sync_off = team.random() < 0.12 if SOAK else number == 3
        self.asked_sync = False  # whether the user asked for an upload (a replug and `sync`, a Sync now)
        self.synced_seen = set()  # (serial, start) of every session the status showed synced
        if self.network.kinds:  # a relay costs speed: only where it plays a fault
            self.service.use_cloud(self.network.relay)

    def close(self):
        self.service.stop()
        if self.relay:
            self.relay.stop()
        self.devsim.stop()
        self.host.release()
        self.network.release()
        if any(p.startswith(self.serial) for p in self.campaign.problems):
            # The logs that show what went wrong, outside pytest's temporary folders (it keeps the last three
            # runs' only, and a soak takes an hour); the web API's log as it stood at the scenario's end.
            kept = KEPT_LOGS / self.serial
            kept.mkdir(parents=True, exist_ok=True)
            for log in (self.service.home / "service.log", Path(self.base) / "ovdevsim.log",
                        self.campaign.state_dir / "ovcloud.log"):
                if log.exists():
                    shutil.copy(log, kept)
        shutil.rmtree(self.base, ignore_errors=True)

    def inject(self, kind):
        self.injected.append(kind)
        self.campaign.faults[kind] += 1

    @property
    def devices(self):
        """serial -> sessions of every device of the scenario, the one meeting the faults first."""
        return {self.serial: self.sessions, **self.companions}

    def replug(self, pause=0, serials=None):
        for serial in serials or [self.serial]:
            self.devsim.run("unplug", serial, check=False)
        time.sleep(pause)
        for serial in serials or [self.serial]:
            self.devsim.run("plug", "--serial", serial, "--reuse", check=False)

    def sync(self, *args):
        """`ovservices sync [SERIAL [START]]`, as the user runs it."""
        self.asked_sync = True
        return self.service.command("sync", *args)

    def plug(self):
        rng = self.rng
        count = rng.randint(1, 3)
        pages = [rng.choice(PAGE_COUNTS) for _ in range(count)]
        users = [HIDDEN_USER if rng.random() < 0.15 else rng.choice(VISIBLE_USERS) for _ in range(count)]
        args = ["--serial", self.serial, "--sessions", str(count), "--pages", ",".join(map(str, pages)),
                "--user", ",".join(map(str, users)), "--default-user", "101"]
        if rng.random() < 0.3:  # status 0 is skipped; any other status is stored and synced
            args += ["--corrupted", f"{rng.randrange(count)}:{rng.choice([0, 3])}"]
        self.devsim.plug(*args)
        self.sessions = self.devsim.sessions(self.serial)
        team = random.Random(f"{SEED} team devices {self.number}")
        for k in range(self.companion_count):
            serial = f"OVRT{SEED % 100000:05d}{self.number:05d}{k:02d}"
            pages = [team.choice(COMPANION_PAGES) for _ in range(team.randint(1, 2))]
            self.devsim.plug("--serial", serial, "--sessions", str(len(pages)), "--pages", ",".join(map(str, pages)),
                             "--user", str(team.choice(VISIBLE_USERS)), "--default-user", "101")
            self.companions[serial] = self.devsim.sessions(serial)
        if self.companions:
            self.inject(f"{len(self.companions) + 1} devices plugged before start-up")

    def turn_auto_sync_off(self):
        """Auto Sync off (in the settings, before the sign-in writes there) and the stall watchdog made quick."""
        settings = Path(self.service.env["XDG_CONFIG_HOME"]) / "Pellwick"
        settings.mkdir(parents=True, exist_ok=True)
        (settings / "OvServices.conf").write_text("[General]\nAuto%20Sync=false\n")
        self.service.env.update(QUICK_STALL)

    def stall_with_auto_sync_off(self):
        """A lost page answer that the watchdog must restart, uploading nothing."""
        if "lost-page-answer" not in self.injected:
            self.device_fault("lost-page-answer")
        self.inject(AUTO_SYNC_OFF)

    def waits_for_sync(self):
        return self.auto_sync_off and not self.asked_sync

    def device_fault(self, kind):
        rng = self.rng
        session = rng.choice(self.sessions)
        page = str(rng.randint(session["start_page"], session["end_page"]))
        times = str(rng.randint(1, 3))
        args = {"fail-page": ["--fail-page", page, "--times", times],
                "corrupt-page": ["--corrupt-page", page, "--times", "1"],
                "refuse-page": ["--refuse", "--op", "page", "--times", times],
                "refuse-list": ["--refuse", "--op", "sessions", "--times", "1"],
                "lost-page-answer": ["--no-answer", "--op", "page", "--times", "1"],
                "unplug-after-pages": ["--unplug-after-pages",
                                       str(rng.randint(0, sum(s["page_count"] for s in self.sessions)))]}[kind]
        self.devsim.run("fault", self.serial, *args)
        self.inject(kind)

    def when(self, key, timeout=30):
        """Waits until the service reports key ("storing", "syncing"); False when it settled first, or needed
        the user for 3 seconds (nothing moves then until the user acts: waiting out the timeout only cost
        time; a restarted service may show failed states for a moment before it downloads again)."""
        waiting = {"since": None}

        def seen():
            status = self.status()
            if status[key]:
                return "seen"
            state = progress(self.service, self.devices, status, self.waits_for_sync(), self.plugged)
            if state != "needs the user":
                waiting["since"] = None
                return state
            waiting["since"] = waiting["since"] or time.monotonic()
            return state if time.monotonic() - waiting["since"] > 3 else None

        try:
            return wait_until(seen, timeout, interval=0.05, what=key) == "seen"
        except AssertionError:
            return False

    def put_relay_in_front(self):
        """The short run's first scenarios meet one relay fault each; the soak draws them (from a generator of
        their own, so that a seed's scenarios stay those of runs before relays)."""
        rng = random.Random(f"{SEED} relay {self.number}")
        kinds = sorted(RELAY_FAULTS)
        kind = (kinds[self.number - 1] if self.number <= len(kinds) else None) if not SOAK else \
            (rng.choice(kinds) if rng.random() < 0.2 else None)
        if kind is None:
            return
        self.relay = ApiRelay(self.campaign.cloud, RELAY_FAULTS[kind], times=rng.randint(1, 3),
                           log=Path(self.base) / "relay.log")
        self.service.use_cloud(self.relay)
        self.inject(kind)

    def live_fault(self, kind):
        service, rng = self.service, self.rng
        if kind == "ovcloud-down-at-start":
            return  # done before the start, see run()
        if not self.when("syncing" if kind.endswith("upload") else "storing"):
            return
        time.sleep(rng.uniform(0, 0.5))
        if kind == "sign-out-and-in-during-upload":
            self.sign_out_and_in(kind)
            return
        if kind == "unplug-mid-download":
            self.replug(rng.uniform(0, 1))
        elif kind == "unplug-mid-upload":
            self.replug(rng.uniform(0, 3))
        elif kind == "sync-now-during-download":
            kept = [session for session in self.sessions if not skipped_as_corrupt(session)]
            if kept:  # every session may be one the service never stores again
                self.sync(self.serial, str(int(rng.choice(kept)["start_seconds"])))
        elif kind.startswith("kill-service"):
            service.kill()
            if self.corrupt_records:
                self.corrupt_record()
            service.start()
        else:
            self.campaign.cloud.kill()
            time.sleep(rng.uniform(0, 2))
            self.campaign.start_cloud()
        self.inject(kind)

    def corrupt_record(self):
        """Overwrites one session record with 300 random bytes: it must be kept beside and written anew."""
        records = sorted(self.service.store.glob(f"{self.serial}/*/session.dat"))
        if not records:
            return
        record = self.record_rng.choice(records)
        garbage = self.record_rng.randbytes(300)
        # Corrupted twice (a second kill): the first garbage is the one kept aside, as with corrupt data.
        self.corrupted.setdefault(record, []).append(garbage)
        record.write_bytes(garbage)
        self.inject(CORRUPT_RECORD)

    def run(self):
        rng, timed = self.rng, self.campaign.timed
        with timed("starting"):
            if self.auto_sync_off:
                self.turn_auto_sync_off()
            self.service.sign_in()
            self.plug()
            for kind in rng.sample(DEVICE_FAULTS, rng.randint(1, 3) if SOAK else rng.randint(0, 2)):
                self.device_fault(kind)
            if self.auto_sync_off:
                self.stall_with_auto_sync_off()
            # The short run goes through every kind in turn; the soak draws them.
            live = rng.sample(LIVE_FAULTS, rng.randint(1, 3)) if SOAK else [LIVE_FAULTS[(self.number - 1) % len(LIVE_FAULTS)]]
            self.host.kinds = HostFaults.draw(self.number, rng)
            self.host.prepare()
            self.network.prepare()
            if not self.network.kinds:  # one relay in front of the service at a time
                self.put_relay_in_front()
            if "ovcloud-down-at-start" in live:
                self.campaign.cloud.kill()
                self.service.start()
                self.inject("ovcloud-down-at-start")
                time.sleep(rng.uniform(0.5, 3))
                self.campaign.start_cloud()
            else:
                self.service.start()
            if self.campaign.user_actions.random() < USER_ACTIONS_SHARE:
                self.sign_out_and_in("sign-out-and-in-at-start")
        with timed("faults while running"):
            self.host.inject()
            for kind in live:
                self.live_fault(kind)
        with timed("recovering"):
            self.recover()
        with timed("checking"):
            self.check()

    def recover(self):
        """Waits for the service; when it needs the user, does what the user would: replug, sync."""
        for _ in range(6):
            self.devsim.run("clear-faults", self.serial, check=False)
            if self.service.process.poll() is not None:
                self.service.start()
            # A request the device took and never answered ends only when the device leaves.
            lost_answer = "lost-page-answer" in self.injected and "lost answer" not in self.ended
            # With Auto Sync off the watchdog, made quick, restarts the download on its own: give it the time.
            stall_after = (15 if self.auto_sync_off else 4) if lost_answer else None
            try:
                state = self.settle(40 if lost_answer else 180, stall_after=stall_after)
            except AssertionError:
                state = "hung"
            if state in ("hung", "stalled") and lost_answer:
                self.ended.add("lost answer")
                self.campaign.totals["stalls on a lost answer, ended by replug"] += 1
            elif state == "hung":
                self.problem("stuck", f"busy for three minutes with the device plugged in: {self.states()}")
            if state == "settled":
                return
            self.campaign.totals["nudges"] += 1
            if self.waits_for_sync():
                self.check_nothing_uploaded()
            self.replug(serials=list(self.devices))
            self.sync()
        self.problem("stuck", "never settled")

    def settle(self, timeout, stall_after=None):
        """progress() once it is not None; with stall_after, also "stalled" once the busy flags and the
        device's session states and percentages stood still that many seconds (a lost answer holds a
        download for good: no need to wait out the whole timeout)."""
        seen = {"report": None, "since": time.monotonic()}

        def news():
            status = self.status()
            state = progress(self.service, self.devices, status, self.waits_for_sync(), self.plugged)
            if state or stall_after is None:
                return state
            report = (status["storing"], status["syncing"],
                      str([(self.service.device(serial, status) or {}).get("sessions") for serial in self.devices]))
            if report != seen["report"]:
                seen.update(report=report, since=time.monotonic())
            elif time.monotonic() - seen["since"] > stall_after:
                return "stalled"
            return None

        return wait_until(news, timeout, interval=0.5, what="the device settled")

    def states(self):
        """What the service reports, for the problem's text: busy flags, and each device's fetch status and
        session states (a companion device is as likely to be the one that holds the scenario up)."""
        status = self.service.status()

        def described(serial):
            device = self.service.device(serial, status)
            if device is None:
                return f"{serial} not listed"
            return (f"{serial} fetch {device.get('fetchStatus')}, "
                    f"sessions {[(s['startSeconds'], s['syncStatus']) for s in device.get('sessions', [])]}")
        return f"storing {status['storing']}, syncing {status['syncing']}; " + \
            "; ".join(described(serial) for serial in self.devices)

    def plugged(self):
        """The serials ovdevsim has plugged in."""
        return {d["serial"] for d in json.loads(self.devsim.run("list", "--json").stdout) if d["plugged"]}

    def sign_out_and_in(self, kind):
        """Signs out and in again at once; every device attached is listed again after the sign-in."""
        self.inject(kind)
        assert self.service.command("sign-out").returncode == 0
        self.service.sign_in()
        plugged = self.plugged()
        attached = [serial for serial in self.devices if serial in plugged]
        try:
            wait_until(lambda: all(self.service.device(serial, status) for status in [self.status()]
                                   for serial in attached), LISTED_AFTER_SIGN_IN_SECONDS)
        except AssertionError:
            self.problem("device not listed after sign-in", f"not in the status for {LISTED_AFTER_SIGN_IN_SECONDS} s")

    def check_nothing_uploaded(self):
        """With Auto Sync off, before the user asked: no record of any of the scenario's devices."""
        if any(self.campaign.cloud.records(serial) for serial in self.devices):
            self.problem("uploaded with Auto Sync off", "records made before the user asked for a sync")

    def status(self):
        """The service's status; an answer slower than CONTROL_ANSWER_SECONDS is a problem (a main thread
        waiting on the network or the device would show here first)."""
        started = time.monotonic()
        status = self.service.status()
        took = time.monotonic() - started
        self.campaign.slowest_answer = max(self.campaign.slowest_answer, took)
        if took > CONTROL_ANSWER_SECONDS:
            self.problem("control socket slow", f"status took {took:.1f} s")
        self.check_shown_synced(status)
        return status

    def check_shown_synced(self, status):
        """While the scenario runs: a session the status shows synced for the first time has a complete record
        on the server already (the server only gains bytes, so one asked after the status counts)."""
        for serial in self.devices:
            shown = [s["startSeconds"] for s in (self.service.device(serial, status) or {}).get("sessions", [])
                     if s["syncStatus"] == SYNCED and (serial, s["startSeconds"]) not in self.synced_seen]
            if not shown:
                continue
            try:
                records = self.campaign.cloud.records(serial)
            except OSError:
                continue  # the server is down for a fault: asked again at the next status
            complete = {int(r["start"]) // 256 for r in records if r["status"] == "complete"}
            for start in shown:
                self.synced_seen.add((serial, start))
                if int(start) not in complete:
                    self.problem("shown synced, server record incomplete", f"{serial} session at {start}, while running")

    def problem(self, kind, text):
        # A network fault joins the list when the scenario closes and counts what fired: name it here already.
        faults = self.injected + [f"{k} (drawn)" for k in self.network.kinds if k not in self.injected]
        self.campaign.totals[kind] += 1
        self.campaign.problems.append(f"{self.serial} {faults}: {kind}: {text}")

    def check(self):
        status = self.status()
        if status["storing"] or status["syncing"]:
            self.problem("stuck", "storing or syncing while idle")
        records = {serial: self.check_device(serial, sessions, status) for serial, sessions in self.devices.items()}
        for record, garbages in self.corrupted.items():
            session = next((s for s in self.sessions if f"{s['start_seconds']:.6f}" == record.parent.name), None)
            if session and not expected_on_server(session):
                continue  # a session the account may not see is never written anew; its folder may go
            kept = record.with_name("session.dat.corrupted")
            if not kept.exists() or kept.read_bytes() != garbages[0] or record.read_bytes() in garbages:
                self.problem("corrupt record not kept aside and written anew", str(record.parent.name))
        self.check_home()
        self.host.check(records[self.serial])

    def check_device(self, serial, sessions, status):
        """Every session of one device where it belongs, byte for byte; its records by start second."""
        totals = self.campaign.totals
        records = collections.defaultdict(list)
        for record in self.campaign.cloud.records(serial):
            records[int(record["start"]) // 256].append(record)
        shown = {s["startSeconds"]: s for s in (self.service.device(serial, status) or {}).get("sessions", [])}
        for session in sessions:
            totals["sessions"] += 1
            size = session["page_count"] * 512
            expected = self.devsim.dump(serial, session["index"])
            held = records.get(session["start_seconds"], [])
            state = shown.get(session["start_seconds"], {}).get("syncStatus")
            if state == SYNCED and not any(r["status"] == "complete" for r in held):
                self.problem("shown synced, server record incomplete",
                             f"{serial} session {session['index']}: {[(r['status'], r['data_status']) for r in held]}")
            if state in IN_FLIGHT:
                self.problem("stuck", f"{serial} session {session['index']} in state {state}")
            if skipped_as_corrupt(session) and state is not None:
                self.problem("corrupt session kept", f"{serial} session {session['index']}")
            if expected_on_server(session):
                if len(held) > 1:
                    self.problem("duplicates", f"{serial} session {session['index']}: {len(held)} records")
                timeline = self.campaign.cloud.timeline(held[0]) if held else b""
                if timeline != expected:
                    totals["bytes lost"] += size
                    self.problem("lost", f"{serial} session {session['index']}: {len(timeline)} of {size} bytes")
                else:
                    totals["bytes moved"] += size
            elif held:
                self.problem("uploaded but not to be", f"{serial} session {session['index']}")
            local = self.service.store / serial / f"{session['start_seconds']:.6f}" / "session_data.dat"
            # A download cut short leaves whole pages from the start, resumed later: never other bytes.
            stored = local.read_bytes() if local.exists() else b""
            if not expected.startswith(stored) or len(stored) % 512 or (state == SYNCED and stored != expected
                                                                            and local.exists()):
                self.problem("wrong local copy", f"{serial} session {session['index']}")
        return records

    def check_home(self):
        settings = Path(self.service.env["XDG_CONFIG_HOME"]) / "Pellwick" / "OvServices.conf"
        if not settings.exists() or stat.S_IMODE(settings.stat().st_mode) & 0o077:
            self.problem("settings missing or readable by others", str(settings))
        for path in Path(self.service.home).rglob("*"):
            if path.is_file() and (path.suffix in (".log", ".txt") or "log" in path.name.lower()):
                text = path.read_text(errors="replace")
                for secret in (s for s in SECRETS if s in text):
                    self.problem("secret in a log", f"{path.name}: {secret[:6]}…")


class ApiRelay:
    """ovcloud_relay.py in front of the campaign's web API; network time still comes from the server itself."""

    def __init__(self, cloud, mode, times, log):
        self.log = open(log, "ab")
        self.process = subprocess.Popen(
            ["/usr/bin/python3", str(RELAY), "--upstream", cloud.root, "--mode", mode, "--times", str(times)],
            stdout=subprocess.PIPE, stderr=self.log)
        port = int(self.process.stdout.readline())
        self.api_root, self.root = f"http://127.0.0.1:{port}/api/", cloud.root

    def stop(self):
        self.process.kill()
        self.process.wait()
        self.log.close()


class NetworkFaults:
    """The relay between the scenario's service and the web API, and the network faults it plays. Drawn from a
    generator of their own, so that a seed's other draws stay those of runs before they were injected."""

    def __init__(self, scenario):
        self.scenario = scenario
        self.rng = random.Random(f"{SEED} network {scenario.number}")
        # Only the soak draws them: with them the short run took minutes instead of seconds.
        self.kinds = [self.rng.choice(NETWORK_FAULTS)] if SOAK and self.rng.random() < 0.3 else []
        self.relay = LinkRelay(("127.0.0.1", scenario.campaign.cloud.port), real_link="slow-uplink" in self.kinds)

    def prepare(self):
        relay, rng = self.relay, self.rng
        faulted = lambda head: head.startswith(FAULTED_REQUESTS)  # noqa: E731
        if "slow-uplink" in self.kinds:
            relay.uplink = rng.choice([300_000, 1_000_000])
        if "closed-unanswered" in self.kinds:
            budget = {"left": rng.randint(1, 4)}

            def close(head):
                if budget["left"] and faulted(head):
                    budget["left"] -= 1
                    return True
                return False
            relay.close_unanswered = close
        for kind in {"drip", "flood"} & set(self.kinds):
            relay.hostile = {"kind": kind, "match": faulted, "times": rng.randint(1, 2)}

    def release(self):
        """Counts what fired and stops the relay."""
        fired = {"slow-uplink": True, "closed-unanswered": self.relay.closed_unanswered > 0,
                 "drip": self.relay.hostile_answers > 0, "flood": self.relay.hostile_answers > 0}
        for kind in self.kinds:
            if fired[kind]:
                self.scenario.inject(kind)
        self.relay.close()


def device_date(text):
    """ovdevsim's "yyyy-MM-dd HH:mm:ss +0000" as seconds since 1970."""
    return datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S %z").timestamp()


def log_lines(service):
    """The lines of the service's rolling log files, oldest file first, with the files they came from."""
    logs = sorted((service.home / ".local" / "state").rglob("log-*.txt"), key=lambda p: int(p.stem[4:]))
    return [(path, line) for path in logs for line in path.read_text(errors="replace").splitlines()]


def logged_at(line):
    """The local time of a log line "[yyyy/MM/dd HH:mm:ss:SSS] ...", as seconds since 1970, or None."""
    try:
        return datetime.datetime.strptime(line[1:20], "%Y/%m/%d %H:%M:%S").timestamp()
    except ValueError:
        return None


class HostFaults:
    """The clock jump and the full disk of one scenario: set up before the service starts, injected while it
    transfers, checked once it settled."""

    def __init__(self, scenario, kinds):
        self.scenario = scenario
        self.kinds = kinds
        self.clock_file = Path(scenario.base) / "clock"
        self.jump = 0  # seconds the service's clock moved
        self.mounted = False

    @staticmethod
    def draw(number, rng):
        """The short run gives each kind one of its last scenarios; the soak draws them."""
        if not SOAK:
            first = SHORT_SCENARIOS - len(HOST_FAULTS) + 1
            return [HOST_FAULTS[number - first]] if number >= first else []
        kinds = [rng.choice(sorted(CLOCK_JUMPS))] if rng.random() < 0.2 else []
        return kinds + (["full-disk"] if rng.random() < 0.15 else [])

    def skip(self, kind, reason):
        self.kinds.remove(kind)
        self.scenario.campaign.totals[f"skipped {kind}: {reason}"] += 1

    def prepare(self):
        service = self.scenario.service
        clock = next((k for k in self.kinds if k in CLOCK_JUMPS), None)
        if clock and not FAKETIME.exists():
            self.skip(clock, "libfaketime is not installed (Debian package faketime)")
        elif clock:
            self.clock_file.write_text("+0")
            service.env.update({"LD_PRELOAD": str(FAKETIME), "FAKETIME_TIMESTAMP_FILE": str(self.clock_file),
                                "FAKETIME_NO_CACHE": "1", "FAKETIME_DONT_FAKE_MONOTONIC": "1"})
        if "full-disk" in self.kinds:
            self.mount_small_store()

    def mount_small_store(self):
        """A tmpfs over the store, too small for about half of the device's data."""
        store = self.scenario.service.store
        store.mkdir(parents=True, exist_ok=True)
        total = sum(s["page_count"] for s in self.scenario.sessions) * 512
        size = 4096 * self.scenario.rng.randint(1, max(1, total // 8192))
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(store)],
                               capture_output=True)
        if mount.returncode != 0:
            self.skip("full-disk", f"mounting a tmpfs is not permitted ({mount.stderr.decode().strip()})")
        self.mounted = mount.returncode == 0

    def inject(self):
        """Jumps the clock during a transfer; lets the store fill up, gives the space back and replugs."""
        scenario = self.scenario
        for kind in self.kinds:
            if kind in CLOCK_JUMPS:
                scenario.when(scenario.rng.choice(["storing", "syncing"]))
                time.sleep(scenario.rng.uniform(0, 0.5))
                self.clock_file.write_text(CLOCK_JUMPS[kind])
                self.jump = DAY if CLOCK_JUMPS[kind].startswith("+") else -DAY
            else:
                try:  # a lost page answer holds the download until a replug: no need to wait the minute out
                    scenario.settle(60, stall_after=4 if "lost-page-answer" in scenario.injected else None)
                except AssertionError:
                    pass  # a stall of another fault; the recovery below deals with it
                subprocess.run(["mount", "-o", "remount,size=256m", str(scenario.service.store)], check=True)
                scenario.replug()
                scenario.sync(scenario.serial)
            scenario.inject(kind)

    def release(self):
        if self.mounted:
            subprocess.run(["umount", "-l", str(self.scenario.service.store)], check=False)

    def check(self, records):
        """After a clock jump: the device's clock and the records' times come from the device and the network,
        never from the computer's clock; timers and the daily log roll go on."""
        if not self.jump:
            return
        scenario = self.scenario
        clock_sets = lambda: sum(f"Set Clock on device {scenario.serial}" in line  # noqa: E731
                                 for _, line in log_lines(scenario.service))
        before = clock_sets()
        scenario.replug()
        scenario.recover()
        try:
            wait_until(lambda: clock_sets() > before, 30, what="the device's clock to be set")
            time.sleep(1)  # the line comes just before the command is sent
        except AssertionError:
            scenario.problem("clock not set", "the device came back and its clock was not set")
        device = next(d for d in json.loads(scenario.devsim.run("list", "--json").stdout)
                      if d["serial"] == scenario.serial)
        if abs(device_date(device["clock"]) - time.time()) > 600:
            scenario.problem("device clock set from the computer's clock", device["clock"])
        for session in scenario.sessions:
            for record in records.get(session["start_seconds"], []):
                if abs(record["end"] / 256 - device_date(session["end"])) > 1:
                    scenario.problem("record end not the device's", f"session {session['index']}")
        lines = log_lines(scenario.service)
        if "lost-page-answer" not in scenario.injected and any("-Stalled:" in line for _, line in lines):
            scenario.problem("stall after a clock jump", "the watchdog saw a stall no fault made")
        after = [(path, line) for path, line in lines if abs((logged_at(line) or 0) - time.time() - self.jump) < 3600]
        if not after:
            scenario.problem("log stopped at a clock jump", "no line logged at the new time")
        elif self.jump > 0 and all(path == lines[0][0] for path, _ in after):
            scenario.problem("log not rolled", "a day went by on the clock and the file goes on")


def print_table(campaign, scenarios, seconds):
    server = campaign.server_faults_injected()
    rows = [("seed", SEED), ("scenarios", scenarios), ("seconds", int(seconds))]
    rows += [(f"seconds {phase}", int(spent)) for phase, spent in sorted(campaign.seconds.items())]
    rows += [(f"faults: {k}", v) for k, v in sorted((campaign.faults + server).items())]
    totals = campaign.totals
    rows += [("faults injected", campaign.fault_count())]
    rows += [(k, totals[k]) for k in ("sessions", "bytes moved", "bytes lost", "duplicates", "stuck")]
    rows += [("slowest control answer, ms", int(campaign.slowest_answer * 1000))]
    rows += [("other problems", len(campaign.problems) - totals["stuck"] - totals["duplicates"] - totals["lost"]),
             ("recoveries by replug and sync", totals["nudges"]),
             ("stalls on a lost answer, ended by replug", totals["stalls on a lost answer, ended by replug"])]
    rows += [(k, v) for k, v in sorted(campaign.totals.items()) if k.startswith("skipped")]
    rows += [("logs of scenarios with a problem", str(KEPT_LOGS))] if campaign.problems else []
    print("\n" + "\n".join(f"{name:<42} {value:>12}" for name, value in rows))
    print("\n".join(campaign.problems))


def test_nothing_is_lost_duplicated_or_stuck_whatever_fails(built, tmp_path):
    # A soak stopped early (kill, a CI time limit) still prints the table of what it ran.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    rng = random.Random(SEED)
    campaign = Campaign(rng, tmp_path)
    started, number = time.monotonic(), 0
    try:
        while ((campaign.fault_count() < SOAK_FAULTS) if SOAK else (number < SHORT_SCENARIOS)) and \
                (not SCENARIOS or number < SCENARIOS):
            number += 1
            with campaign.timed("starting"):
                scenario = Scenario(number, rng, campaign)
            try:
                scenario.run()
            finally:
                with campaign.timed("stopping"):
                    scenario.close()
    finally:
        print_table(campaign, number, time.monotonic() - started)
        campaign.cloud.stop()
    assert not campaign.problems, "\n".join(campaign.problems)
