"""What serve.sh does before gunicorn starts: migrate, then seed the demo account.

One command rather than two saves a Django start-up, and the server is
expected to be answering within a few seconds of being launched.
"""

from django.core.management import call_command
from django.core.management.base import BaseCommand


class Command(BaseCommand):
    help = "Apply migrations and seed the demo account."

    def handle(self, *args, **options):
        verbosity = options["verbosity"]
        call_command("migrate", interactive=False, verbosity=verbosity)
        call_command("seed_demo", verbosity=verbosity)
