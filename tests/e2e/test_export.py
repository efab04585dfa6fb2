"""Exported sessions read back without OvServices: an independent BagIt reader checks every bag the
built binary wrote against the emulator's own view of the sessions, and a damaged bag is named."""

import csv
import hashlib
import json

from processes import wait_until, built, cloud, devsim, service  # noqa: F401
from test_pipeline import all_synced, signed_in

SERIAL = "OVR0000000000311"
PAGES = [40, 300]


def checksums(bag, name):
    """path -> SHA-256 of a BagIt manifest."""
    lines = (bag / name).read_text(encoding="utf-8").splitlines()
    return {path: digest for digest, path in (line.split(maxsplit=1) for line in lines)}


def read_bag(bag):
    """Checks a bag by the BagIt rules alone and answers its session record and its data."""
    declaration = (bag / "bagit.txt").read_text(encoding="utf-8").splitlines()
    assert declaration[:2] == ["BagIt-Version: 1.0", "Tag-File-Character-Encoding: UTF-8"]
    manifest = checksums(bag, "manifest-sha256.txt")
    payload = {str(p.relative_to(bag)) for p in (bag / "data").rglob("*") if p.is_file()}
    assert set(manifest) == payload
    for path, digest in {**manifest, **checksums(bag, "tagmanifest-sha256.txt")}.items():
        assert hashlib.sha256((bag / path).read_bytes()).hexdigest() == digest, path
    info = dict(line.split(": ", 1) for line in (bag / "bag-info.txt").read_text(encoding="utf-8").splitlines())
    size = sum((bag / p).stat().st_size for p in payload)
    assert info["Payload-Oxum"] == f"{size}.{len(payload)}"
    return json.loads((bag / "data" / "session.json").read_bytes()), (bag / "data" / "session_data.dat").read_bytes()


def test_export_reads_back_without_ovservices_and_damage_is_found(service, devsim, tmp_path):
    signed_in(service)
    devsim.plug("--serial", SERIAL, "--sessions", str(len(PAGES)), "--pages", ",".join(map(str, PAGES)),
                "--user", "101,102")
    wait_until(lambda: all_synced(service, SERIAL, len(PAGES)), 300, interval=0.5,
               what=f"the sessions synced:\n{service.output()[-3000:]}")

    before = {p: p.read_bytes() for p in service.store.rglob("*") if p.is_file()}
    out = tmp_path / "export"
    result = service.command("export", "--out", str(out), SERIAL)
    assert result.returncode == 0, result.stderr.decode()
    assert {p: p.read_bytes() for p in service.store.rglob("*") if p.is_file()} == before

    index = {row["bag"]: row for row in csv.DictReader((out / "sessions.csv").open(newline="", encoding="utf-8"))}
    assert len(index) == len(PAGES)
    for session in devsim.sessions(SERIAL):
        bag = out / f"{SERIAL}_{session['start_seconds']:.6f}"
        record, data = read_bag(bag)
        assert data == devsim.dump(SERIAL, session["index"])
        assert record["deviceSerial"] == SERIAL
        assert record["start"]["secondsSince1970"] == session["start_seconds"]
        assert record["start"]["serverTimestamp"] == session["start_seconds"] * 256
        assert (record["startPage"], record["endPage"], record["pageCount"]) == (
            session["start_page"], session["end_page"], session["page_count"])
        assert (record["userId"], record["applicationId"]) == (session["user"], session["application"])
        assert (record["softwareUid"], record["deviceUid"], record["softwareProtocol"]) == (
            session["software_id"], session["device_id"], session["protocol"])
        assert record["uploaded"] is True and record["crcCorruption"] is False
        row = index[bag.name]
        assert (row["dataSha256"], int(row["pageCount"])) == (hashlib.sha256(data).hexdigest(), len(data) // 512)

    assert service.command("export", "--verify", str(out)).returncode == 0
    damaged = sorted(out.glob(f"{SERIAL}_*"))[0]
    data = bytearray((damaged / "data" / "session_data.dat").read_bytes())
    data[700] ^= 1
    (damaged / "data" / "session_data.dat").write_bytes(data)
    result = service.command("export", "--verify", str(out))
    assert result.returncode == 1
    report = result.stdout.decode()
    assert f"DAMAGED  {damaged.name}\n         data/session_data.dat does not match its checksum" in report
    assert "1 damaged" in report
