"""Who may see whom: a user sees itself and the targets of its bundle permissions."""

from django.contrib.auth import get_user_model
from django.db.models import Q

from .models import Record, Team


def visible_user_ids(user):
    targets = user.permissions_given.values_list("user_target_id", flat=True)
    return {user.pk, *targets}


def visible_users(user):
    return get_user_model().objects.filter(pk__in=visible_user_ids(user))


def visible_records(user):
    return Record.objects.filter(user_id__in=visible_user_ids(user))


def visible_teams(user):
    return Team.objects.filter(Q(members=user) | Q(manager=user)).distinct()


def may_see(user, owner_id):
    return owner_id in visible_user_ids(user)
