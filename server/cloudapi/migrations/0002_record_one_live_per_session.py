# One record per session that is not deleted. Duplicates made before the rule
# are resolved first: the one holding the most timeline data stays (the
# earliest among equals), the others are marked deleted. Nothing is erased.

from django.db import migrations, models


def mark_duplicates_deleted(apps, schema_editor):
    Record = apps.get_model("cloudapi", "Record")
    live = Record.objects.exclude(status="deleted")
    # order_by(): the default ordering by id would join the GROUP BY and part every group.
    sessions = (live.order_by().values("device", "start", "user").annotate(n=models.Count("id"))
                .filter(n__gt=1))
    for session in sessions:
        copies = live.filter(device=session["device"], start=session["start"],
                             user=session["user"]).order_by("-timeline_size", "id")
        live.filter(pk__in=[r.pk for r in copies[1:]]).update(status="deleted")


class Migration(migrations.Migration):

    dependencies = [
        ("cloudapi", "0001_initial"),
    ]

    operations = [
        migrations.RunPython(mark_duplicates_deleted, migrations.RunPython.noop),
        migrations.AddConstraint(
            model_name="record",
            constraint=models.UniqueConstraint(
                condition=models.Q(("status", "deleted"), _negated=True),
                fields=("device", "start", "user"), name="record_one_live_per_session"),
        ),
    ]
