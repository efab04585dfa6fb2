"""HTTP Basic authentication of API requests against Django's users.

The desktop client sends Basic credentials with every request. Verifying a
Django password hash costs a deliberately slow key derivation (a tenth of a
second or more), which would dominate every request; so a successful check is
remembered, keyed by the user name and a keyed hash of the password, for as
long as the user's stored password hash stays the same.
"""

import hashlib
import hmac
import threading
from collections import OrderedDict

from django.conf import settings
from django.contrib.auth import get_user_model
from django.contrib.auth.backends import ModelBackend
from rest_framework import exceptions
from rest_framework.authentication import BasicAuthentication


def find_user(login):
    """The active-or-not user named by user name, or else by a unique e-mail."""
    User = get_user_model()
    users = User.objects.select_related("profile")
    try:
        return users.get(username=login)
    except User.DoesNotExist:
        pass
    matches = list(users.filter(email__iexact=login)[:2]) if login else []
    return matches[0] if len(matches) == 1 else None


class UsernameOrEmailBackend(ModelBackend):
    """Lets people sign in to the account site with their e-mail as well."""

    def authenticate(self, request, username=None, password=None, **kwargs):
        user = find_user(username or kwargs.get(get_user_model().USERNAME_FIELD))
        if user is not None and user.check_password(password) and self.user_can_authenticate(user):
            return user
        return None


class VerifiedPasswordCache:
    """Bounded memory of (login, password) pairs already checked against a hash."""

    def __init__(self, size=512):
        self.size = size
        self.entries = OrderedDict()
        self.lock = threading.Lock()

    @staticmethod
    def key(login, password):
        digest = hmac.new(settings.SECRET_KEY.encode(), password.encode(), hashlib.sha256)
        return (login, digest.hexdigest())

    def holds(self, key, password_hash):
        with self.lock:
            if self.entries.get(key) != password_hash:
                return False
            self.entries.move_to_end(key)
            return True

    def remember(self, key, password_hash):
        with self.lock:
            self.entries[key] = password_hash
            self.entries.move_to_end(key)
            while len(self.entries) > self.size:
                self.entries.popitem(last=False)


verified_passwords = VerifiedPasswordCache()


class CachedBasicAuthentication(BasicAuthentication):
    www_authenticate_realm = "ovcloud"

    def authenticate_credentials(self, userid, password, request=None):
        user = find_user(userid)
        if user is None or not user.is_active:
            raise exceptions.AuthenticationFailed("Invalid username/password.")
        key = verified_passwords.key(userid, password)
        if not verified_passwords.holds(key, user.password):
            if not user.check_password(password):
                raise exceptions.AuthenticationFailed("Invalid username/password.")
            # check_password may have upgraded the hash: remember the current one.
            verified_passwords.remember(key, user.password)
        return (user, None)
