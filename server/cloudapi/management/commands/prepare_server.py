"""What serve.sh does before gunicorn starts: check the address, migrate, then
seed the demo account.

One command rather than several saves Django start-ups, and the server is
expected to be answering within a few seconds of being launched.
"""

from django.core.management import call_command
from django.core.management.base import BaseCommand, CommandError

from ovcloud import config


class Command(BaseCommand):
    help = "Refuse an exposed address with published secrets, apply migrations, seed the demo."

    def add_arguments(self, parser):
        parser.add_argument("--bind", default="127.0.0.1", help="address gunicorn will listen on")

    def handle(self, *args, **options):
        problem = config.exposure_problem(options["bind"])
        if problem:
            raise CommandError(problem)
        verbosity = options["verbosity"]
        call_command("migrate", interactive=False, verbosity=verbosity)
        # The demo passwords are published: the demo lives on servers nobody else reaches.
        if not config.is_exposed(options["bind"]):
            call_command("seed_demo", verbosity=verbosity)
