import re

from django.conf import settings
from django.contrib import admin
from django.contrib.staticfiles.views import serve as serve_static
from django.http import JsonResponse
from django.urls import include, path, re_path
from django.views import defaults

from . import sink

urlpatterns = [
    path("api/", include("cloudapi.urls")),
    path("admin/", admin.site.urls),
    # Admin styling straight from the installed apps: this server has no web server in front.
    re_path(r"^%s(?P<path>.*)$" % re.escape(settings.STATIC_URL.lstrip("/")), serve_static,
            {"insecure": True}),
    path("", include("accountsite.urls")),
]

if settings.BENCH_SINK_ENABLED:
    urlpatterns.insert(0, path("bench/sink/", sink.sink))


def _json_for_api(request, status, text, fallback, **kwargs):
    if request.path.startswith("/api/"):
        return JsonResponse({"error": text}, status=status)
    return fallback(request, **kwargs)


def handler400(request, exception):
    # Also a Host header the server does not answer to (DisallowedHost).
    return _json_for_api(request, 400, "Bad request.", defaults.bad_request, exception=exception)


def handler404(request, exception):
    return _json_for_api(request, 404, "Not found.", defaults.page_not_found, exception=exception)


def handler500(request):
    return _json_for_api(request, 500, "Internal Server Error", defaults.server_error)
