"""JSON of the API's resources, and validation of the record a client creates."""

import math
import re

from django.contrib.auth import get_user_model
from django.db import IntegrityError, transaction
from rest_framework import serializers
from rest_framework.exceptions import APIException

from . import timeline
from .inputs import has_control_characters, is_device_serial, whole_number
from .models import Device, Record


class Conflict(APIException):
    status_code = 409


def uri(resource, key):
    return f"/api/{resource}/{key}/"


def profile_json(profile):
    return {
        "date_of_birth": profile.date_of_birth.strftime("%Y-%m-%d") if profile.date_of_birth else None,
        "gender": profile.gender,
        "height": profile.height,
        "weight": profile.weight,
        "resource_uri": uri("profile", profile.pk),
    }


def user_json(user):
    profile = getattr(user, "profile", None)
    return {
        "id": user.pk,
        "username": user.username,
        "email": user.email,
        "first_name": user.first_name,
        "last_name": user.last_name,
        "resource_uri": uri("user", user.pk),
        "profile": profile_json(profile) if profile else None,
    }


def record_json(record):
    # The size held is reported only once bytes exist: a client compares it with
    # its local file, and "0 held" would wrongly match a file it has not stored yet.
    # The ranges held let a client resume an upload without sending them again.
    data_status = ({"timeline": {"size": record.timeline_size, "total": record.timeline_total,
                                 "ranges": timeline.ranges_of(record)}}
                   if record.timeline_size else None)
    return {
        "id": record.pk,
        "resource_uri": uri("record", record.pk),
        "user": user_json(record.user),
        "device": uri("device", record.device_id),
        "start": record.start,
        "end": record.end,
        "status": record.status,
        "data_status": data_status,
        "data": record.data,
        "dev_id": record.dev_id,
        "firmware_rev": record.firmware_rev,
        "npages": record.npages,
        "soft_protocole": record.soft_protocole,
        "soft_uid": record.soft_uid,
        "n_uploaded_timelines": record.n_uploaded_timelines,
    }


def device_json(device):
    return {"serial": device.serial, "resource_uri": uri("device", device.serial)}


def bundle_json(bundle):
    return {"id": bundle.pk, "name": bundle.name, "resource_uri": uri("bundle", bundle.pk)}


def bundle_permission_json(permission):
    return {
        "id": permission.pk,
        "bundle": uri("bundle", permission.bundle_id),
        "name": permission.name,
        "resource_uri": uri("bundle_permission", permission.pk),
        "user_allowed": user_json(permission.user_allowed),
        "user_target": user_json(permission.user_target),
    }


def teammate_json(user):
    """A member the reader may not see: who it is, without e-mail or profile."""
    return {
        "id": user.pk,
        "username": user.username,
        "first_name": user.first_name,
        "last_name": user.last_name,
        "resource_uri": uri("user", user.pk),
        "profile": None,
    }


def team_json(team, visible_ids):
    """visible_ids: the users whose full objects the reader may see."""
    return {
        "id": team.pk,
        "name": team.name,
        "resource_uri": uri("team", team.pk),
        "members": [user_json(member) if member.pk in visible_ids else teammate_json(member)
                    for member in team.members.all()],
    }


def resource_key(text, resource):
    """The key of "/api/<resource>/<key>/" (or of a bare key)."""
    match = re.fullmatch(rf"(?:/api/{resource}/)?([^/]+)/?", text.strip())
    return match.group(1) if match else None


class ResourceUriField(serializers.Field):
    """A reference written as the resource's URI, e.g. "/api/user/12/"."""

    def __init__(self, resource, **kwargs):
        self.resource = resource
        super().__init__(**kwargs)

    def to_internal_value(self, data):
        key = resource_key(data, self.resource) if isinstance(data, str) else None
        if key is None:
            raise serializers.ValidationError(f"expected a URI such as /api/{self.resource}/KEY/")
        return key


class DeviceSerialField(ResourceUriField):
    def __init__(self, **kwargs):
        super().__init__("device", **kwargs)

    def to_internal_value(self, data):
        serial = super().to_internal_value(data)
        if not is_device_serial(serial):
            raise serializers.ValidationError(
                "not a device serial: 1 to 64 letters, digits, '.', '_', '~' or '-', "
                "not only dots")
        return serial


class DeviceTextField(serializers.CharField):
    """A text the device stores NUL-padded: it ends at its first NUL."""

    def to_internal_value(self, data):
        return super().to_internal_value(data).split("\x00", 1)[0]


class DeviceTimeField(serializers.FloatField):
    """A count of 1/256-second units; a fraction of a unit is cut, as in queries."""

    def to_internal_value(self, data):
        try:
            value = super().to_internal_value(data)
        except OverflowError:  # an integer too large for a float
            raise serializers.ValidationError("out of range")
        if not 0 <= value < 2 ** 62:
            raise serializers.ValidationError("out of range")
        return math.floor(value)


class RecordCreateSerializer(serializers.Serializer):
    user = ResourceUriField("user")
    device = DeviceSerialField()
    start = DeviceTimeField()
    end = DeviceTimeField()
    data = serializers.CharField(allow_blank=True, required=False, default="")
    dev_id = DeviceTextField(allow_blank=True, required=False, default="", max_length=128)
    firmware_rev = DeviceTextField(allow_blank=True, required=False, default="", max_length=64)
    # Page counts and protocol numbers are unsigned 32-bit on the device; page
    # counts also fit the database's 32-bit column.
    npages = serializers.IntegerField(min_value=0, max_value=2 ** 31 - 1, required=False,
                                      default=0)
    soft_protocole = serializers.IntegerField(min_value=0, max_value=2 ** 32 - 1, required=False,
                                              default=0)
    soft_uid = DeviceTextField(allow_blank=True, required=False, default="", max_length=64)

    def validate_user(self, key):
        pk = whole_number(key)
        user = get_user_model().objects.filter(pk=pk).first() if pk is not None else None
        if user is None:
            raise serializers.ValidationError(f"no user {key}")
        return user

    def validate_firmware_rev(self, text):
        # Shown in the dashboard, the admin and the client's views: a line feed
        # or an escape sequence there is never a revision.
        if has_control_characters(text):
            raise serializers.ValidationError("control characters in a firmware revision")
        return text

    def validate(self, attrs):
        # A device whose clock was set back while it recorded ends before it starts;
        # the session is still worth keeping, as a session of no length.
        attrs["end"] = max(attrs["end"], attrs["start"])
        return attrs


def find_or_create_record(fields):
    """The record of the session that RecordCreateSerializer's fields describe, and
    whether it is new.

    Two uploads of one session may both find no record and both create it, in
    different worker processes; the database keeps one, and the loser answers
    with the winner's record, so both upload into the same one."""
    fields = dict(fields)
    device, _ = Device.objects.get_or_create(serial=fields.pop("device"))
    session = {"device": device, "start": fields["start"], "user": fields["user"]}
    # A winner deleted before the loser reads it lets the next attempt create.
    for _ in range(3):
        try:
            with transaction.atomic():
                return Record.objects.create(status=Record.INCOMPLETE, device=device,
                                             **fields), True
        except IntegrityError:
            existing = Record.objects.exclude(status=Record.DELETED).filter(**session).first()
            if existing is not None:
                return existing, False
    raise Conflict("The session's record changed while it was created; try again")
