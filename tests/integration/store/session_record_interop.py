"""Reads and writes session store records with Python's plistlib, an implementation independent
of the service's, so that the two must agree on the binary property-list files.

usage: session_record_interop.py check-session FILE   (expected values as JSON on stdin)
       session_record_interop.py check-page FILE      (expected values as JSON on stdin)
       session_record_interop.py write-session FILE   (values as JSON on stdin)

Dates travel as seconds since 1970 (floats), byte strings as hex. check-* prints one line per
mismatch and exits 1 when there is any.
"""
import datetime
import json
import plistlib
import sys

EPOCH_1970 = datetime.datetime(1970, 1, 1)

SESSION_TYPES = {
    "start": datetime.datetime,
    "end": datetime.datetime,
    "startPage": int,
    "endPage": int,
    "userId": int,
    "applicationId": str,
    "pageCount": int,
    "data": bytes,
    "softwareProtocol": int,
    "softwareUid": str,
    "deviceUid": str,
    "deviceSerial": str,
    "firmwareRev": str,
    "crcCorruption": bool,
    "alreadySynced": bool,
}
PAGE_TYPES = {"pageNumber": int, "data": bytes}


def to_python(key, value, types):
    kind = types[key]
    if kind is datetime.datetime:
        return EPOCH_1970 + datetime.timedelta(seconds=value)
    if kind is bytes:
        return bytes.fromhex(value)
    return value


def check(path, types, expected):
    problems = []
    with open(path, "rb") as f:
        raw = f.read()
    if not raw.startswith(b"bplist00"):
        problems.append("not a binary property list (header %r)" % raw[:8])
    record = plistlib.loads(raw, fmt=plistlib.FMT_BINARY)
    if not isinstance(record, dict):
        problems.append("root is %s, not a dictionary" % type(record).__name__)
        return problems
    if set(record) != set(types):
        problems.append("keys differ: extra %s, missing %s"
                        % (sorted(set(record) - set(types)), sorted(set(types) - set(record))))
    for key, kind in types.items():
        if key not in record:
            continue
        value = record[key]
        # bool is an int in Python: an integer key must not hold a boolean, nor the reverse.
        if type(value) is not kind:
            problems.append("%s is %s, expected %s" % (key, type(value).__name__, kind.__name__))
            continue
        want = to_python(key, expected[key], types)
        if kind is datetime.datetime:
            # plistlib keeps microseconds; the two must agree to that resolution.
            if abs((value - want).total_seconds()) > 1e-6:
                problems.append("%s is %s, expected %s" % (key, value.isoformat(), want.isoformat()))
        elif value != want:
            problems.append("%s is %r, expected %r" % (key, value, want))
    return problems


def write_session(path, values):
    record = {key: to_python(key, value, SESSION_TYPES) for key, value in values.items()}
    with open(path, "wb") as f:
        plistlib.dump(record, f, fmt=plistlib.FMT_BINARY)


def main(argv):
    if len(argv) != 3 or argv[1] not in ("check-session", "check-page", "write-session"):
        print(__doc__, file=sys.stderr)
        return 2
    values = json.load(sys.stdin)
    if argv[1] == "write-session":
        write_session(argv[2], values)
        return 0
    types = SESSION_TYPES if argv[1] == "check-session" else PAGE_TYPES
    problems = check(argv[2], types, values)
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
