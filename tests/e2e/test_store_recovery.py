"""The local store damaged while the service is stopped: a session record that no longer decodes is kept
beside as session.dat.corrupted and written anew from the device's list, the data beside it resumes where it
stopped, and every session still ends on the server once, byte for byte."""

import random

from processes import wait_until, built, cloud, devsim, service  # noqa: F401
from test_pipeline import all_synced, signed_in

SERIAL = "OVR0000000000321"


def logs(service):
    return "\n".join(p.read_text(errors="replace") for p in (service.home / ".local" / "state").rglob("log-*.txt"))


def test_a_corrupt_record_is_kept_aside_and_its_session_still_arrives(service, devsim, cloud):
    devsim.plug("--serial", SERIAL, "--sessions", "2", "--pages", "300,40", "--user", "101")
    partial, uploaded = devsim.sessions(SERIAL)
    stop_at = partial["start_page"] + 120  # the first download of the older session ends there
    devsim.run("fault", SERIAL, "--fail-page", str(stop_at))
    signed_in(service)
    wait_until(lambda: (service.device(SERIAL) or {}).get("fetchStatus") == 3 and not service.status()["syncing"]
               and any(s["syncStatus"] == 4 for s in service.device(SERIAL)["sessions"]), 120, interval=0.5,
               what=f"the first download to fail part way:\n{service.output()[-3000:]}")
    assert service.command("quit").returncode == 0
    service.process.wait(timeout=30)

    garbage = {}
    for session in (partial, uploaded):
        record = service.store / SERIAL / f"{session['start_seconds']:.6f}" / "session.dat"
        garbage[session["index"]] = random.Random(session["index"]).randbytes(300)
        record.write_bytes(garbage[session["index"]])
    assert (service.store / SERIAL / f"{partial['start_seconds']:.6f}" / "session_data.dat").stat().st_size == 120 * 512
    devsim.run("clear-faults", SERIAL)
    service.start()
    wait_until(lambda: all_synced(service, SERIAL, 2), 180, interval=0.5,
               what=f"both sessions synced again:\n{service.output()[-3000:]}")

    records = {int(r["start"]) // 256: r for r in cloud.records(SERIAL)}
    assert len(records) == 2  # the uploaded one was found on the server, not sent again
    for session in (partial, uploaded):
        folder = service.store / SERIAL / f"{session['start_seconds']:.6f}"
        expected = devsim.dump(SERIAL, session["index"])
        assert (folder / "session_data.dat").read_bytes() == expected
        assert cloud.timeline(records[session["start_seconds"]]) == expected
        assert (folder / "session.dat.corrupted").read_bytes() == garbage[session["index"]]
        assert (folder / "session.dat").read_bytes() != garbage[session["index"]]
    assert f"Start fetching from page {stop_at}" in logs(service)  # resumed, not fetched again
