"""Timeline data of a record: one file per record, written chunk by chunk.

A chunk arrives as a byte range of the whole file ("Content-Range: bytes
FIRST-LAST/TOTAL"). Its body is first received into an anonymous scratch file,
a bounded buffer at a time and without any lock, so that a slow or stalled
client holds up nobody; then, under the record's lock and only if the record
still takes it, it is copied to its offset in the record's file. The ranges
received are kept merged; when they cover 0..TOTAL-1 the record is complete.
Chunks may come in any order and more than once: the same bytes are simply
written again.

    incomplete --chunk--> incomplete (ranges grow) --last gap filled--> complete
        any --DELETE--> deleted (refuses further chunks)
"""

import fcntl
import json
import os
import re
import tempfile
from contextlib import contextmanager

from django.conf import settings

from ovcloud import config

BUFFER_SIZE = 256 * 1024

# Twenty digits at most: the total is bounded far below that anyway.
_CONTENT_RANGE = re.compile(r"\s*bytes\s+([0-9]{1,20})-([0-9]{1,20})/([0-9]{1,20})\s*")


class RangeError(ValueError):
    """A Content-Range that is malformed or disagrees with itself or the record."""

    status = 400


class TotalTooLarge(RangeError):
    status = 413


def parse_content_range(text):
    match = _CONTENT_RANGE.fullmatch(text or "")
    if not match:
        raise RangeError(f"Content-Range must read 'bytes FIRST-LAST/TOTAL', got {text!r}")
    first, last, total = (int(group) for group in match.groups())
    if first > last:
        raise RangeError(f"Content-Range first byte {first} is after last byte {last}")
    if last >= total:
        raise RangeError(f"Content-Range last byte {last} is beyond total size {total}")
    if total > config.timeline_max_bytes():
        raise TotalTooLarge(f"Content-Range total {total} is more than a device holds "
                            f"({config.timeline_max_bytes()} bytes)")
    return first, last, total


def merge_range(ranges, first, last):
    """Inclusive [first, last] ranges, sorted, with overlapping or adjacent ones joined."""
    merged = []
    for lo, hi in sorted([*ranges, [first, last]]):
        if merged and lo <= merged[-1][1] + 1:
            merged[-1][1] = max(merged[-1][1], hi)
        else:
            merged.append([lo, hi])
    return merged


def covered_bytes(ranges):
    return sum(hi - lo + 1 for lo, hi in ranges)


def data_path(record_id):
    return os.path.join(settings.TIMELINE_DIR, f"{record_id}.dat")


@contextmanager
def record_lock(record_id):
    """Serialises the chunks of one record across threads and worker processes."""
    fd = os.open(os.path.join(settings.TIMELINE_DIR, f"{record_id}.lock"),
                 os.O_RDWR | os.O_CREAT, 0o600)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)
        yield
    finally:
        os.close(fd)  # releases the lock


def receive(stream, length):
    """Read up to length bytes of a body into an anonymous scratch file.

    Returns the file and the number of bytes read, short when the body ended
    early. The file vanishes when closed, or with the process."""
    scratch = tempfile.TemporaryFile(dir=settings.TIMELINE_DIR)
    received = 0
    try:
        while received < length:
            buffer = stream.read(min(BUFFER_SIZE, length - received))
            if not buffer:
                break
            scratch.write(buffer)
            received += len(buffer)
    except BaseException:
        scratch.close()
        raise
    return scratch, received


def store(record_id, offset, scratch, length):
    """Copy a received chunk into the record's file at offset; the caller holds record_lock."""
    scratch.seek(0)
    fd = os.open(data_path(record_id), os.O_WRONLY | os.O_CREAT, 0o644)
    try:
        copied = 0
        while copied < length:
            buffer = scratch.read(min(BUFFER_SIZE, length - copied))
            os.pwrite(fd, buffer, offset + copied)
            copied += len(buffer)
    finally:
        os.close(fd)


def has_more(stream):
    """Whether a body goes on past what was expected (only for unsized bodies)."""
    return bool(stream.read(1))


def ranges_of(record):
    return json.loads(record.timeline_ranges or "[]")


def record_range(record, first, last, total):
    """Account for a stored chunk on the record; the caller holds record_lock and saves."""
    ranges = merge_range(ranges_of(record), first, last)
    record.timeline_total = total
    record.timeline_ranges = json.dumps(ranges)
    record.timeline_size = covered_bytes(ranges)
    record.n_uploaded_timelines += 1
    if ranges == [[0, total - 1]]:
        record.status = record.COMPLETE
