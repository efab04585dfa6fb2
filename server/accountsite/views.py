"""The account site the desktop service opens in a browser: sign-up, password
reset, and a dashboard of the signed-in user's records and their upload state."""

from datetime import datetime, timezone

from django.contrib.auth import login
from django.contrib.auth.decorators import login_required
from django.shortcuts import redirect, render

from cloudapi import access
from cloudapi.models import UNITS_PER_SECOND

from .forms import SignupForm


def home(request):
    return render(request, "accountsite/home.html")


def signup(request):
    form = SignupForm(request.POST or None)
    if request.method == "POST" and form.is_valid():
        user = form.save()
        login(request, user, backend="cloudapi.authentication.UsernameOrEmailBackend")
        return redirect("dashboard")
    return render(request, "accountsite/signup.html", {"form": form})


def as_datetime(device_time):
    """None for a time no calendar date stands for (a device whose clock ran wild)."""
    try:
        return datetime.fromtimestamp(device_time / UNITS_PER_SECOND, tz=timezone.utc)
    except (OverflowError, ValueError, OSError):
        return None


class RecordRow:
    """What the dashboard shows of one record."""

    def __init__(self, record):
        self.record = record
        self.start = as_datetime(record.start)
        self.duration = int((record.end - record.start) / UNITS_PER_SECOND)
        self.total = record.timeline_total
        self.percent = (100 * record.timeline_size // record.timeline_total
                        if record.timeline_total else 0)


@login_required
def dashboard(request):
    records = (access.visible_records(request.user)
               .select_related("user", "device").order_by("-start", "-id"))
    rows = [RecordRow(record) for record in records[:1000]]
    return render(request, "accountsite/dashboard.html",
                  {"rows": rows, "total": records.count()})
