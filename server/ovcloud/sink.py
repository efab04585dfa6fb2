"""A bare endpoint that reads a body and throws it away: the benchmark's
yardstick for what the server stack itself costs to receive bytes."""

from django.http import JsonResponse
from django.views.decorators.csrf import csrf_exempt

BUFFER_SIZE = 256 * 1024


@csrf_exempt
def sink(request):
    stream = request if "CONTENT_LENGTH" in request.META else request.META["wsgi.input"]
    received = 0
    while True:
        buffer = stream.read(BUFFER_SIZE)
        if not buffer:
            break
        received += len(buffer)
    return JsonResponse({"received": received})
