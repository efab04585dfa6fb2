"""Exported sessions read back without OvServices: an independent BagIt reader checks every bag the
built binary wrote against the emulator's own view of the sessions, and a damaged bag is named. Bags
written elsewhere are checked without leaving the bag, waiting on a pipe or device, or printing a
line a name made up."""

import csv
import hashlib
import json
import os
import subprocess

import pytest

from processes import OVSERVICES, built, cloud, devsim, service  # noqa: F401

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
    service.start().sign_in()
    devsim.plug_sessions(SERIAL, PAGES, "101,102")
    service.wait(lambda: service.synced(SERIAL, len(PAGES)), 300, "the sessions synced")

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


def write_bag(bag, files, separator="  "):
    """A bag written the way any BagIt tool may write it: files is path -> bytes under data/."""
    (bag / "data").mkdir(parents=True)
    for path, content in files.items():
        (bag / path).write_bytes(content)
    manifest = "".join(f"{hashlib.sha256(c).hexdigest()}{separator}{p}\n" for p, c in files.items())
    tags = {"bagit.txt": "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n",
            "bag-info.txt": f"Payload-Oxum: {sum(map(len, files.values()))}.{len(files)}\n",
            "manifest-sha256.txt": manifest}
    for name, text in tags.items():
        (bag / name).write_text(text, encoding="utf-8")
    (bag / "tagmanifest-sha256.txt").write_text(
        "".join(f"{hashlib.sha256(t.encode()).hexdigest()}  {n}\n" for n, t in tags.items()), encoding="utf-8")


def swap_for_link(path, target):
    path.unlink()
    path.symlink_to(target)


def listed_pipe(bag):
    os.unlink(bag / "data" / "a.dat")
    os.mkfifo(bag / "data" / "a.dat")


def payload_out_of_the_bag(bag):
    outside = bag.parent / "elsewhere"
    (bag / "data").rename(outside)
    (bag / "data").symlink_to(outside)


def fake_ok_line(bag):
    """A manifest path whose line feed would start a line of its own."""
    with (bag / "manifest-sha256.txt").open("a") as manifest:
        manifest.write(f"{'0' * 64}  data/x%0Aok       {bag.name}\n")


FILES = {"data/a.dat": b"pages" * 100}
NOT_REGULAR = "data/a.dat is not a regular file inside the bag"


@pytest.mark.parametrize("name, change, code, verdict", [
    ("tab separated, blank in a name", None, 0, "ok       b\n"),
    ("payload file is a pipe", listed_pipe, 1, NOT_REGULAR),
    ("payload file links to /dev/zero", lambda bag: swap_for_link(bag / "data" / "a.dat", "/dev/zero"), 1,
     NOT_REGULAR),
    ("payload file links out of the bag", lambda bag: swap_for_link(bag / "data" / "a.dat", bag.parent / "a.dat"),
     1, NOT_REGULAR),
    ("payload directory links out of the bag", payload_out_of_the_bag, 1, "the payload directory data/ is missing"),
    ("manifest links to /dev/zero", lambda bag: swap_for_link(bag / "manifest-sha256.txt", "/dev/zero"), 1,
     "manifest-sha256.txt is missing or unreadable"),
    ("line feed in a manifest path", fake_ok_line, 1, "data/x\\x0aok       b is missing"),
    ("terminal escape in the bag's name", lambda bag: bag.rename(bag.with_name("b\x1b[2K\rok       c")), 0,
     "ok       b\\x1b[2K\\x0dok       c\n"),
])
def test_verify_reads_only_the_bag_and_prints_no_line_of_its_own(built, tmp_path, name, change, code, verdict):
    bag = tmp_path / "bags" / "b"
    write_bag(bag, {"data/my session.dat": b"\x00" * 1024} if change is None else FILES,
              separator="\t" if change is None else "  ")
    (tmp_path / "bags" / "a.dat").write_bytes(FILES["data/a.dat"])  # a copy beside, for links to find
    if change:
        change(bag)
    env = {"HOME": str(tmp_path), "XDG_RUNTIME_DIR": str(tmp_path), "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
    result = subprocess.run([str(OVSERVICES), "export", "--verify", str(tmp_path / "bags")], env=env,
                            capture_output=True, timeout=30)
    report = result.stdout.decode()
    assert result.returncode == code and verdict in report, report
    assert "\x1b" not in report and "\r" not in report, report
    assert sum(line.startswith("ok") for line in report.splitlines()) == 1 - code, report
