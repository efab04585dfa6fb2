"""Adds records straight to an ovcloud database (run from server/ with OVCLOUD_STATE_DIR set): a JSON list
on stdin, one {"device", "user", "start" (units), "status", "timeline_size"} object per record."""
import json
import os
import sys

import django

sys.path.insert(0, os.getcwd())
os.environ.setdefault("DJANGO_SETTINGS_MODULE", "ovcloud.settings")
django.setup()

from cloudapi.models import Device, Record  # noqa: E402  (needs django.setup() first)

rows = json.load(sys.stdin)
for serial in {row["device"] for row in rows}:
    Device.objects.get_or_create(serial=serial)
Record.objects.bulk_create(
    [Record(user_id=row["user"], device_id=row["device"], start=row["start"], end=row["start"] + 256 * 600,
            status=row.get("status", Record.INCOMPLETE),
            timeline_size=row.get("timeline_size", 0), timeline_total=row.get("timeline_size") or None)
     for row in rows],
    batch_size=500)
