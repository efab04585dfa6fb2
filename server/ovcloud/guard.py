"""What every API request must pass before any view sees it."""

from urllib.parse import unquote

from django.conf import settings
from django.core.exceptions import TooManyFieldsSent
from django.http import JsonResponse

from cloudapi.inputs import has_control_characters

from . import config


class RequestGuardMiddleware:
    """Bounds how long a request body may stall, and refuses control characters
    in the path or query (no serial, id or filter value has one, and PostgreSQL
    would fail on a NUL instead of answering) and more query parameters than
    Django parses."""

    def __init__(self, get_response):
        self.get_response = get_response
        self.idle_timeout = config.body_idle_timeout()

    def __call__(self, request):
        sock = request.META.get("gunicorn.socket")
        if sock is not None:
            # Without it a client that stops sending keeps a server thread for ever.
            sock.settimeout(self.idle_timeout)
        if request.path.startswith("/api/") and has_control_characters(
                request.path + unquote(request.META.get("QUERY_STRING", ""))):
            return JsonResponse({"error": "Control characters in the request URL"}, status=400)
        try:
            request.GET  # parsed here, where too many parameters can still be answered
        except TooManyFieldsSent:
            # Left to Django, the error report would read the parameters again and fail: 500.
            return JsonResponse({"error": f"More than {settings.DATA_UPLOAD_MAX_NUMBER_FIELDS} "
                                          "query parameters"}, status=400)
        return self.get_response(request)
