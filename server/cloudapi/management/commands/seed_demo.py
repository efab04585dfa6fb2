"""Seeds the demo account described in demo_account.json.

Safe to run at every start: objects are created with their fixed ids or
brought back to the described state. An existing user's password and whether
it may sign in are left alone: someone may have changed the one or switched
off the other on purpose. The administrator's first password is never the
published one: OVCLOUD_ADMIN_PASSWORD, or else a random one written to
<state>/admin_password (mode 0600).
"""

import json
import os
import secrets
from datetime import date
from pathlib import Path

from django.conf import settings
from django.contrib.auth import get_user_model
from django.contrib.auth.hashers import make_password
from django.core.management.base import BaseCommand
from django.core.management.color import no_style
from django.db import connection, transaction

from cloudapi.models import Bundle, BundlePermission, Profile, Team
from ovcloud import config

DEMO_FILE = Path(settings.BASE_DIR) / "demo_account.json"


class Command(BaseCommand):
    help = "Create or refresh the demo coach, athletes, teams and bundle permissions."

    def add_arguments(self, parser):
        parser.add_argument("--file", default=str(DEMO_FILE), help="demo account description")

    def handle(self, *args, **options):
        demo = json.loads(Path(options["file"]).read_text())
        with transaction.atomic():
            self.seed(demo)
        self.reset_sequences()
        if options["verbosity"] > 0:
            self.stdout.write(f"Demo account ready: {demo['username']} / {demo['password']} "
                              f"(user {demo['user_id']}, athletes {demo['athlete_ids']})")

    def seed(self, demo):
        # One hash per distinct password: hashing is slow on purpose, and the
        # server should start within seconds.
        demo_hash = make_password(demo["password"])
        admin = demo["admin"]
        if not get_user_model().objects.filter(pk=admin["id"]).exists():
            self.user(admin["id"], {"username": admin["username"], "email": admin["email"]},
                      make_password(self.admin_password()), staff=True)
        for described in demo["users"]:
            fields = {k: described[k] for k in ("username", "email", "first_name", "last_name")}
            user = self.user(described["id"], fields, demo_hash)
            self.profile(user, described["profile"])

        bundle, _ = Bundle.objects.update_or_create(
            pk=demo["bundle"]["id"], defaults={"name": demo["bundle"]["name"]})
        for permission in demo["bundle_permissions"]:
            BundlePermission.objects.update_or_create(pk=permission["id"], defaults={
                "bundle": bundle, "name": permission["name"],
                "user_allowed_id": permission["user_allowed"],
                "user_target_id": permission["user_target"]})
        for described in demo["teams"]:
            team, _ = Team.objects.update_or_create(pk=described["id"], defaults={
                "name": described["name"], "manager_id": described["manager"]})
            team.members.set(described["members"])

    @staticmethod
    def user(pk, fields, password_hash, staff=False):
        User = get_user_model()
        user = User.objects.filter(pk=pk).first()
        if user is None:
            user = User(pk=pk, password=password_hash, is_staff=staff, is_superuser=staff,
                        is_active=True)
        for name, value in fields.items():
            setattr(user, name, value)
        user.save()
        return user

    @staticmethod
    def admin_password():
        chosen = config.env("OVCLOUD_ADMIN_PASSWORD")
        if chosen:
            return chosen
        password = secrets.token_urlsafe(18)
        path = settings.STATE_DIR / "admin_password"
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write(password + "\n")
        return password

    @staticmethod
    def profile(user, described):
        profile, _ = Profile.objects.get_or_create(user=user)
        profile.date_of_birth = date.fromisoformat(described["date_of_birth"])
        profile.gender = described["gender"]
        profile.height = described["height"]
        profile.weight = described["weight"]
        profile.save()

    @staticmethod
    def reset_sequences():
        # Rows inserted with explicit ids do not advance PostgreSQL's sequences;
        # without this the next sign-up would collide with a demo user.
        models = [get_user_model(), Profile, Bundle, BundlePermission, Team]
        statements = connection.ops.sequence_reset_sql(no_style(), models)
        if statements:
            with connection.cursor() as cursor:
                for statement in statements:
                    cursor.execute(statement)
