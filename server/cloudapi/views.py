"""The API's resources: account, user, profile, device, bundle, bundle_permission,
team and record. All answer JSON; lists in the paged list format."""

from django.conf import settings
from django.contrib.auth import get_user_model
from django.db.models import Prefetch
from django.utils.functional import cached_property
from rest_framework import viewsets
from rest_framework.exceptions import PermissionDenied
from rest_framework.permissions import AllowAny
from rest_framework.response import Response
from rest_framework.views import APIView

from ovcloud import faults

from . import access, timeline
from .errors import error_response
from .filters import BundlePermissionFilter, RecordFilter
from .inputs import ID_PATTERN, SERIAL_PATTERN
from .models import Bundle, BundlePermission, Device, Profile, Record
from .serializers import (RecordCreateSerializer, bundle_json, bundle_permission_json,
                          device_json, find_or_create_record, profile_json, record_json,
                          team_json, uri, user_json)

RESOURCES = ["account", "user", "profile", "device", "bundle", "bundle_permission", "team",
             "record"]


class Resource(viewsets.GenericViewSet):
    """A read-only resource whose objects are written by one JSON function."""

    to_json = None
    lookup_value_regex = ID_PATTERN  # anything else is not an id: 404

    def render(self, instance):
        return type(self).to_json(instance)

    def list(self, request):
        page = self.paginate_queryset(self.filter_queryset(self.get_queryset()))
        return self.get_paginated_response([self.render(item) for item in page])

    def retrieve(self, request, pk=None, **kwargs):
        return Response(self.render(self.get_object()))


class AccountResource(Resource):
    """The signed-in user, as a list of one: the client's sign-in call."""

    to_json = user_json

    def get_queryset(self):
        return get_user_model().objects.filter(pk=self.request.user.pk).select_related("profile")


class UserResource(Resource):
    to_json = user_json

    def get_queryset(self):
        return access.visible_users(self.request.user).select_related("profile").order_by("id")


class ProfileResource(Resource):
    to_json = profile_json

    def get_queryset(self):
        ids = access.visible_user_ids(self.request.user)
        return Profile.objects.filter(user_id__in=ids).order_by("id")


class DeviceResource(Resource):
    to_json = device_json
    lookup_field = "serial"
    lookup_value_regex = SERIAL_PATTERN

    def get_queryset(self):
        ids = access.visible_user_ids(self.request.user)
        return Device.objects.filter(records__user_id__in=ids).distinct().order_by("serial")


class BundleResource(Resource):
    to_json = bundle_json
    queryset = Bundle.objects.order_by("id")


class BundlePermissionResource(Resource):
    """The permissions given to the signed-in user: whose data it may see."""

    to_json = bundle_permission_json
    filterset_class = BundlePermissionFilter

    def get_queryset(self):
        return (BundlePermission.objects.filter(user_allowed=self.request.user)
                .select_related("user_allowed__profile", "user_target__profile"))


class TeamResource(Resource):
    """Teams the signed-in user belongs to or manages."""

    @cached_property
    def visible_ids(self):
        return access.visible_user_ids(self.request.user)

    def render(self, instance):
        return team_json(instance, self.visible_ids)

    def get_queryset(self):
        members = get_user_model().objects.select_related("profile").order_by("id")
        return (access.visible_teams(self.request.user)
                .prefetch_related(Prefetch("members", queryset=members)).order_by("id"))


class RecordResource(Resource):
    to_json = record_json
    filterset_class = RecordFilter

    def get_queryset(self):
        return (access.visible_records(self.request.user)
                .select_related("user__profile", "device").order_by("id"))

    def create(self, request):
        incoming = RecordCreateSerializer(data=request.data)
        incoming.is_valid(raise_exception=True)
        owner = incoming.validated_data["user"]
        if not access.may_see(request.user, owner.pk):
            raise PermissionDenied(f"You may not create records for user {owner.pk}")
        fault = self.injected_fault()
        if fault and fault.kind == "fail":
            return error_response(fault.status, f"Record refused with {fault.status} (fault injection)")
        if fault and fault.kind == "reset":
            return faults.connection_reset_response(request)
        record, created = find_or_create_record(incoming.validated_data)
        if fault:  # created, but the answer is lost
            return faults.connection_reset_response(request)
        location = uri("record", record.pk)
        return Response(record_json(record), status=201 if created else 200,
                        headers={"Location": location})

    @staticmethod
    def injected_fault():
        plan = faults.active_plan()
        if not plan.has_record_faults:
            return None
        return plan.record_fault(faults.next_record_number(settings.STATE_DIR))

    def destroy(self, request, pk=None):
        """Records are never erased: deleting one marks it "deleted".

        Under the record's lock, so that an upload finishing meanwhile cannot
        save the record back as incomplete or complete."""
        record = self.get_object()
        with timeline.record_lock(record.pk):
            record.status = Record.DELETED
            record.save(update_fields=["status"])
        return Response(status=204)


class ApiIndex(APIView):
    """Where each resource lives; open to all so that readiness can be polled here."""

    permission_classes = [AllowAny]
    authentication_classes = []

    def get(self, request):
        index = {name: {"list_endpoint": f"/api/{name}/"} for name in RESOURCES}
        index["sync/timeline"] = {"list_endpoint": "/api/sync/timeline/"}
        return Response(index)
