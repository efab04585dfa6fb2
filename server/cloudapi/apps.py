from django.apps import AppConfig
from django.db.backends.signals import connection_created


def _sqlite_for_concurrent_writers(sender, connection, **kwargs):
    # WAL lets readers go on while an upload commits; NORMAL sync is safe with WAL.
    if connection.vendor == "sqlite":
        with connection.cursor() as cursor:
            cursor.execute("PRAGMA journal_mode=WAL")
            cursor.execute("PRAGMA synchronous=NORMAL")


class CloudApiConfig(AppConfig):
    name = "cloudapi"
    verbose_name = "Web API"

    def ready(self):
        connection_created.connect(_sqlite_for_concurrent_writers)
