"""Query filters of the list resources. Parameters not named here are ignored."""

import django_filters
from rest_framework.exceptions import ValidationError

from .models import BundlePermission, Record
from .serializers import resource_key


def key_of(resource, value):
    """A numeric key given bare ("12") or as the resource's URI ("/api/user/12/")."""
    key = resource_key(value, resource)
    if key is None or not key.isdigit():
        raise ValidationError(f"Invalid {resource} '{value}'")
    return int(key)


class RecordFilter(django_filters.FilterSet):
    start__exact = django_filters.NumberFilter(field_name="start", lookup_expr="exact")
    start__gte = django_filters.NumberFilter(field_name="start", lookup_expr="gte")
    start__lte = django_filters.NumberFilter(field_name="start", lookup_expr="lte")
    end__exact = django_filters.NumberFilter(field_name="end", lookup_expr="exact")
    npages__exact = django_filters.NumberFilter(field_name="npages", lookup_expr="exact")
    device__exact = django_filters.CharFilter(field_name="device_id", lookup_expr="exact")
    # The client puts the numeric user id here, not the user's URI; both are understood.
    user__exact = django_filters.CharFilter(method="filter_user")

    class Meta:
        model = Record
        fields = []

    def filter_user(self, queryset, name, value):
        return queryset.filter(user_id=key_of("user", value))


class BundlePermissionFilter(django_filters.FilterSet):
    bundle = django_filters.CharFilter(method="filter_bundle")

    class Meta:
        model = BundlePermission
        fields = []

    def filter_bundle(self, queryset, name, value):
        return queryset.filter(bundle_id=key_of("bundle", value))
