"""Authentication of API requests: the request signature, then HTTP Basic
against Django's users.

The signature comes first, so that nobody without the API secret learns
anything from the Basic check. A password check costs the same whether the
user exists or not (an unknown user's password is hashed all the same), and
failures are counted per client address and login: past a limit, that pair is
refused without a check until the window passes.

Verifying a Django password hash costs a deliberately slow key derivation (a
tenth of a second or more), which would dominate every request; so a
successful check is remembered, keyed by the user name and a keyed hash of the
password, for as long as the user's stored password hash stays the same.
"""

import hashlib
import hmac
import threading
from collections import OrderedDict

from django.conf import settings
from django.contrib.auth import get_user_model
from django.contrib.auth.backends import ModelBackend
from django.contrib.auth.hashers import make_password
from django.core.cache import cache
from rest_framework import exceptions
from rest_framework.authentication import BasicAuthentication

from ovcloud import config

from .inputs import has_control_characters
from .signature import signature_problem


def find_user(login):
    """The active-or-not user named by user name, or else by a unique e-mail."""
    if not login or has_control_characters(login):
        return None
    User = get_user_model()
    users = User.objects.select_related("profile")
    try:
        return users.get(username=login)
    except User.DoesNotExist:
        pass
    matches = list(users.filter(email__iexact=login)[:2])
    return matches[0] if len(matches) == 1 else None


def check_login(login, password, verified=lambda user: False):
    """The active user that login and password name, or None.

    verified(user) may vouch for a password checked before; otherwise the
    password is hashed, for an unknown user too."""
    user = find_user(login)
    if user is None:
        make_password(password)  # as slow as a real check: no telling who exists
        return None
    if not (verified(user) or user.check_password(password)):
        return None
    return user if user.is_active else None


class UsernameOrEmailBackend(ModelBackend):
    """Lets people sign in to the account site with their e-mail as well."""

    def authenticate(self, request, username=None, password=None, **kwargs):
        login = username or kwargs.get(get_user_model().USERNAME_FIELD)
        try:
            return failed_sign_ins.check(request, login, password)
        except TooManyFailures:
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


def client_address(meta):
    """The address failures are counted for: the peer's, or, when the peer is a
    trusted reverse proxy, the address that proxy saw, which it appended last to
    X-Forwarded-For (entries before it are whatever the client wrote)."""
    peer = meta.get("REMOTE_ADDR", "")
    forwarded = meta.get("HTTP_X_FORWARDED_FOR", "")
    if forwarded and peer in config.trusted_proxies():
        return forwarded.rsplit(",", 1)[-1].strip()
    return peer


class TooManyFailures(Exception):
    pass


class FailedSignIns:
    """Failed sign-ins per client address and login, in the cache every worker shares."""

    limit = 10
    window_seconds = 15 * 60

    def check(self, request, login, password, verified=lambda user: False):
        """check_login, counting its failures; raises TooManyFailures, without
        checking, while this address has failed too often for this login."""
        address = client_address(request.META) if request is not None else ""
        key = "signin-failures:" + hashlib.sha256(
            f"{address}\n{login}".encode("utf-8", "replace")).hexdigest()
        failures = cache.get(key, 0)
        if failures >= self.limit:
            raise TooManyFailures()
        user = check_login(login, password, verified)
        if user is None:
            cache.set(key, failures + 1, self.window_seconds)
        return user


failed_sign_ins = FailedSignIns()


class CachedBasicAuthentication(BasicAuthentication):
    www_authenticate_realm = "ovcloud"

    def authenticate(self, request):
        problem = signature_problem(request.META)
        if problem:
            raise exceptions.PermissionDenied(problem)
        return super().authenticate(request)

    def authenticate_credentials(self, userid, password, request=None):
        key = verified_passwords.key(userid, password)
        try:
            user = failed_sign_ins.check(
                request, userid, password,
                verified=lambda found: verified_passwords.holds(key, found.password))
        except TooManyFailures:
            raise exceptions.Throttled(wait=FailedSignIns.window_seconds,
                                       detail="Too many failed sign-ins; try again later.")
        if user is None:
            raise exceptions.AuthenticationFailed("Invalid username/password.")
        # check_password may have upgraded the hash: remember the current one.
        verified_passwords.remember(key, user.password)
        return (user, None)
