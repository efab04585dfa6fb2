"""Fault injection, so tests of the desktop service can meet a misbehaving server.

Everything is off unless enabled by environment variables at start:

  OVCLOUD_FAULT_FAIL_CHUNK=N:STATUS[,N:STATUS...]  answer the Nth timeline chunk with STATUS
  OVCLOUD_FAULT_RESET_CHUNK=N[,N...]               reset the connection halfway through its body
  OVCLOUD_FAULT_DROP_ANSWER_CHUNK=N[,N...]         store the chunk, then reset instead of answering
  OVCLOUD_FAULT_FAIL_RECORD=N:STATUS[,...]          answer the Nth record creation with STATUS
  OVCLOUD_FAULT_RESET_RECORD=N[,N...]              reset the connection instead of creating the record
  OVCLOUD_FAULT_DROP_ANSWER_RECORD=N[,N...]        create the record, then reset instead of answering
  OVCLOUD_FAULT_DELAY_MS=MS                         hold every answer MS milliseconds
  OVCLOUD_FAULT_DELAY_PATH=PREFIX                   ... only for paths under PREFIX (default /api/)
  OVCLOUD_FAULT_UNAUTHORIZED=1                      answer 401 to every API request

Timeline chunks, and record creations apart, are numbered from 1 in the order
they reach their view (after authentication), across all worker processes of one
server.
"""

import errno
import fcntl
import functools
import os
import socket
import struct
from dataclasses import dataclass, field

from django.core.exceptions import ImproperlyConfigured
from django.http import StreamingHttpResponse

from . import config


@dataclass(frozen=True)
class ChunkFault:
    """The fault met by one chunk or one record creation."""

    kind: str  # "fail", "reset" or "drop"
    status: int = 0


def _fault(fails, resets, drops, number):
    if number in fails:
        return ChunkFault("fail", fails[number])
    if number in resets:
        return ChunkFault("reset")
    if number in drops:
        return ChunkFault("drop")
    return None


@dataclass(frozen=True)
class FaultPlan:
    fail_chunks: dict = field(default_factory=dict)
    reset_chunks: frozenset = frozenset()
    drop_answer_chunks: frozenset = frozenset()
    fail_records: dict = field(default_factory=dict)
    reset_records: frozenset = frozenset()
    drop_answer_records: frozenset = frozenset()
    delay_ms: int = 0
    delay_path: str = "/api/"
    unauthorized: bool = False

    @property
    def has_chunk_faults(self):
        return bool(self.fail_chunks or self.reset_chunks or self.drop_answer_chunks)

    @property
    def has_record_faults(self):
        return bool(self.fail_records or self.reset_records or self.drop_answer_records)

    def chunk_fault(self, number):
        return _fault(self.fail_chunks, self.reset_chunks, self.drop_answer_chunks, number)

    def record_fault(self, number):
        return _fault(self.fail_records, self.reset_records, self.drop_answer_records, number)


def _positive(name, text):
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise ImproperlyConfigured(f"{name}: {text!r} is not a request number (1, 2, ...)")
    return value


def _numbers(name):
    raw = config.env(name, "")
    return frozenset(_positive(name, part) for part in raw.split(",") if part.strip())


def _failures(name):
    failures = {}
    for part in config.env(name, "").split(","):
        if not part.strip():
            continue
        number, sep, status = part.partition(":")
        if not sep or not status.strip().isdigit() or not 100 <= int(status) <= 599:
            raise ImproperlyConfigured(f"{name}: {part!r} is not N:STATUS (e.g. 3:500)")
        failures[_positive(name, number.strip())] = int(status)
    return failures


def _schedule(what):
    """The fail, reset and drop lists of OVCLOUD_FAULT_*_<WHAT>; a number in two lists is refused."""
    failures = _failures(f"OVCLOUD_FAULT_FAIL_{what}")
    resets = _numbers(f"OVCLOUD_FAULT_RESET_{what}")
    drops = _numbers(f"OVCLOUD_FAULT_DROP_ANSWER_{what}")
    twice = (set(failures) & resets) | (set(failures) & drops) | (resets & drops)
    if twice:
        raise ImproperlyConfigured(f"{what.lower()}s {sorted(twice)} are given more than one fault")
    return failures, resets, drops


def plan_from_environment():
    fail_chunks, reset_chunks, drop_chunks = _schedule("CHUNK")
    fail_records, reset_records, drop_records = _schedule("RECORD")
    return FaultPlan(
        fail_chunks=fail_chunks,
        reset_chunks=reset_chunks,
        drop_answer_chunks=drop_chunks,
        fail_records=fail_records,
        reset_records=reset_records,
        drop_answer_records=drop_records,
        delay_ms=config.env_int("OVCLOUD_FAULT_DELAY_MS", 0),
        delay_path=config.env("OVCLOUD_FAULT_DELAY_PATH", "/api/"),
        unauthorized=config.env_flag("OVCLOUD_FAULT_UNAUTHORIZED"),
    )


@functools.lru_cache(maxsize=None)
def active_plan():
    """The plan of this process, read once: faults are fixed for a server's life."""
    return plan_from_environment()


def next_chunk_number(state_dir):
    return _next_number(os.path.join(state_dir, "fault_chunk_counter"))


def next_record_number(state_dir):
    return _next_number(os.path.join(state_dir, "fault_record_counter"))


def _next_number(path):
    """Number the request that just arrived; the count lives in a file so that
    every gunicorn worker process shares it."""
    fd = os.open(path, os.O_RDWR | os.O_CREAT, 0o600)
    try:
        fcntl.flock(fd, fcntl.LOCK_EX)
        text = os.pread(fd, 32, 0).decode() or "0"
        number = int(text) + 1
        os.ftruncate(fd, 0)
        os.pwrite(fd, str(number).encode(), 0)
        return number
    finally:
        os.close(fd)


def connection_reset_response(request):
    """A response that, instead of being sent, resets the client's connection.

    Django turns exceptions raised by a view into 500 answers, so the reset has
    to happen while the server writes the answer: the iterator arms an abortive
    close (SO_LINGER 0, so closing sends RST) and raises ECONNRESET, which
    gunicorn treats as a vanished client and answers by closing the socket.
    """
    sock = request.META.get("gunicorn.socket")

    def abort():
        if sock is not None:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        raise ConnectionResetError(errno.ECONNRESET, "connection reset by fault injection")
        yield b""  # pragma: no cover - makes this a generator

    return StreamingHttpResponse(abort(), content_type="application/json")
