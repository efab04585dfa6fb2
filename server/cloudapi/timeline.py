"""Timeline data of a record: one file per record, written chunk by chunk.

A chunk arrives as a byte range of the whole file ("Content-Range: bytes
FIRST-LAST/TOTAL") and is written at its offset while its body is read, a
bounded buffer at a time. The ranges received are kept merged; when they
cover 0..TOTAL-1 the record is complete. Chunks may come in any order and
more than once: the same bytes are simply written again.

    incomplete --chunk--> incomplete (ranges grow) --last gap filled--> complete
"""

import fcntl
import json
import os
import re
from contextlib import contextmanager

from django.conf import settings

BUFFER_SIZE = 256 * 1024

_CONTENT_RANGE = re.compile(r"\s*bytes\s+(\d+)-(\d+)/(\d+)\s*")


class RangeError(ValueError):
    """A Content-Range that is malformed or disagrees with itself or the record."""


def parse_content_range(text):
    match = _CONTENT_RANGE.fullmatch(text or "")
    if not match:
        raise RangeError(f"Content-Range must read 'bytes FIRST-LAST/TOTAL', got {text!r}")
    first, last, total = (int(group) for group in match.groups())
    if first > last:
        raise RangeError(f"Content-Range first byte {first} is after last byte {last}")
    if last >= total:
        raise RangeError(f"Content-Range last byte {last} is beyond total size {total}")
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


def write_at(record_id, offset, stream, length, stop_after=None):
    """Copy length bytes from stream into the record's file at offset.

    Returns the number of bytes copied, short when the body ended early.
    stop_after (bytes) ends the copy early on purpose (fault injection).
    """
    fd = os.open(data_path(record_id), os.O_WRONLY | os.O_CREAT, 0o644)
    copied = 0
    limit = length if stop_after is None else min(length, stop_after)
    try:
        while copied < limit:
            buffer = stream.read(min(BUFFER_SIZE, limit - copied))
            if not buffer:
                break
            os.pwrite(fd, buffer, offset + copied)
            copied += len(buffer)
    finally:
        os.close(fd)
    return copied


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
