"""Checks a store record with Python's plistlib, independent of the service's code; a session record is
then written again by plistlib, for the service to read back.

usage: session_record_interop.py FILE [KEY...]: the expected values as JSON on stdin (dates as seconds since
1970, bytes as hex); the KEYs are left out of the record written. Prints one line per mismatch and exits 1
if any.
"""
import datetime
import json
import plistlib
import sys

EPOCH_1970 = datetime.datetime(1970, 1, 1)

SESSION_TYPES = dict(start=datetime.datetime, end=datetime.datetime, startPage=int, endPage=int, userId=int,
                     applicationId=str, pageCount=int, data=bytes, softwareProtocol=int, softwareUid=str,
                     deviceUid=str, deviceSerial=str, firmwareRev=str, crcCorruption=bool, alreadySynced=bool)
PAGE_TYPES = {"pageNumber": int, "data": bytes}


def to_python(value, kind):
    if kind is datetime.datetime:
        return EPOCH_1970 + datetime.timedelta(seconds=value)
    return bytes.fromhex(value) if kind is bytes else value


def main(path, *left_out):
    expected = json.load(sys.stdin)
    types = PAGE_TYPES if "pageNumber" in expected else SESSION_TYPES
    with open(path, "rb") as f:
        record = plistlib.loads(f.read(), fmt=plistlib.FMT_BINARY)  # raises unless a binary property list
    problems = [f"keys differ: {sorted(set(record) ^ set(types))}"] if set(record) != set(types) else []
    for key in sorted(set(record) & set(types)):
        value, kind, want = record[key], types[key], to_python(expected[key], types[key])
        # bool is an int in Python: an integer key must not hold a boolean, nor the reverse. plistlib keeps µs.
        if type(value) is not kind or (abs((value - want).total_seconds()) > 1e-6 if kind is datetime.datetime
                                       else value != want):
            problems.append(f"{key} is {value!r} ({type(value).__name__}), expected {want!r} ({kind.__name__})")
    if types is SESSION_TYPES:
        with open(path, "wb") as f:
            plistlib.dump({key: to_python(value, types[key]) for key, value in expected.items()
                           if key not in left_out}, f, fmt=plistlib.FMT_BINARY)
    print("\n".join(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
