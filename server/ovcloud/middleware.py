"""Request-wide fault injection: delayed answers and a server that refuses everyone."""

import time

from django.http import JsonResponse

from .faults import active_plan


class FaultInjectionMiddleware:
    def __init__(self, get_response):
        self.get_response = get_response
        self.plan = active_plan()

    def __call__(self, request):
        if self.plan.unauthorized and request.path.startswith("/api/"):
            response = JsonResponse({"error": "Unauthorized (fault injection)"}, status=401)
            response["WWW-Authenticate"] = 'Basic realm="ovcloud"'
        else:
            response = self.get_response(request)
        if self.plan.delay_ms and request.path.startswith(self.plan.delay_path):
            time.sleep(self.plan.delay_ms / 1000.0)
        return response
