"""Query filters of the list resources. Parameters not named here are ignored."""

import django_filters
from django_filters.constants import EMPTY_VALUES

from .inputs import cut_decimal, parsed, whole_number
from .models import BundlePermission, Record
from .serializers import resource_key


def key_of(resource, value):
    """A numeric key given bare ("12") or as the resource's URI ("/api/user/12/")."""
    return parsed(lambda text: whole_number(resource_key(text, resource)), resource, value)


class WholeNumberFilter(django_filters.CharFilter):
    """A number compared in whole units; a fraction is cut, as the client cuts it."""

    def filter(self, queryset, value):
        if value in EMPTY_VALUES:
            return queryset
        number = parsed(cut_decimal, self.field_name, value)
        return queryset.filter(**{f"{self.field_name}__{self.lookup_expr}": number})


class RecordFilter(django_filters.FilterSet):
    start__exact = WholeNumberFilter(field_name="start", lookup_expr="exact")
    start__gte = WholeNumberFilter(field_name="start", lookup_expr="gte")
    start__lte = WholeNumberFilter(field_name="start", lookup_expr="lte")
    end__exact = WholeNumberFilter(field_name="end", lookup_expr="exact")
    npages__exact = WholeNumberFilter(field_name="npages", lookup_expr="exact")
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
