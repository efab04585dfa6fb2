"""sync/timeline/<record id>/: receiving (POST) and reading back (GET) timeline data.

The body is never parsed or held: it is copied from the socket to a scratch
file and from there to the record's file a buffer at a time, so a 5 MiB chunk
costs 256 KiB of memory (see timeline).
"""

import os

from django.conf import settings
from django.http import FileResponse
from django.shortcuts import get_object_or_404
from rest_framework.response import Response
from rest_framework.views import APIView

from ovcloud import faults

from . import access, timeline
from .errors import error_response
from .models import Record

UPDATED_FIELDS = ["timeline_total", "timeline_ranges", "timeline_size", "n_uploaded_timelines",
                  "status"]


def declared_length(meta):
    try:
        return int(meta["CONTENT_LENGTH"])
    except (KeyError, ValueError):
        return None


def body_stream(django_request):
    """The request body as a stream: Django's bounded one when the length is
    declared, else the server's own (gunicorn decodes chunked bodies there)."""
    if declared_length(django_request.META) is not None:
        return django_request
    return django_request.META["wsgi.input"]


class TimelineView(APIView):
    parser_classes = []

    def visible_record(self, request, record_id):
        return get_object_or_404(access.visible_records(request.user), pk=record_id)

    def get(self, request, record_id):
        record = self.visible_record(request, record_id)
        path = timeline.data_path(record.pk)
        if not os.path.exists(path):
            return error_response(404, f"Record {record.pk} holds no timeline data")
        return FileResponse(open(path, "rb"), content_type="application/octet-stream")

    def post(self, request, record_id):
        record = self.visible_record(request, record_id)
        fault = self.injected_fault()
        if fault and fault.kind == "fail":
            return error_response(fault.status, f"Chunk refused with {fault.status} (fault injection)")
        try:
            first, last, total = timeline.parse_content_range(request.META.get("HTTP_CONTENT_RANGE"))
        except timeline.RangeError as problem:
            return error_response(problem.status, str(problem))
        length = last - first + 1
        declared = declared_length(request.META)
        if declared is not None and declared != length:
            return error_response(
                400, f"Body of {declared} bytes does not match Content-Range of {length} bytes")
        refusal = self.refusal(record, total)
        if refusal:
            return refusal

        reset = fault is not None and fault.kind == "reset"
        try:
            scratch, received, longer = self.receive(request, length // 2 if reset else length,
                                                     unsized=declared is None and not reset)
        except OSError as problem:  # the client stalled past the idle timeout, or vanished
            return error_response(408, f"Body not received: {problem}")
        with scratch:
            if reset:
                return faults.connection_reset_response(request)
            if received < length:
                return error_response(400, f"Body ended after {received} of {length} bytes")
            if longer:
                return error_response(400, f"Body is longer than Content-Range's {length} bytes")
            with timeline.record_lock(record.pk):
                # A DELETE, or a chunk declaring another total, may have come
                # while this body streamed.
                record.refresh_from_db()
                refusal = self.refusal(record, total)
                if refusal:
                    return refusal
                timeline.store(record.pk, first, scratch, length)
                timeline.record_range(record, first, last, total)
                record.save(update_fields=UPDATED_FIELDS)

        if fault and fault.kind == "drop":
            return faults.connection_reset_response(request)
        return Response({
            "id": record.pk,
            "received": [first, last],
            "size": record.timeline_size,
            "total": record.timeline_total,
            "status": record.status,
        })

    @staticmethod
    def receive(request, length, unsized):
        """The body in a scratch file, the bytes it held, and whether an unsized
        body went on past length."""
        stream = body_stream(request._request)
        scratch, received = timeline.receive(stream, length)
        try:
            return scratch, received, unsized and received == length and timeline.has_more(stream)
        except OSError:
            scratch.close()
            raise

    @staticmethod
    def refusal(record, total):
        if record.status == Record.DELETED:
            return error_response(409, f"Record {record.pk} is deleted")
        if record.timeline_total is not None and record.timeline_total != total:
            return error_response(400, f"Content-Range total {total} differs from the "
                                       f"record's timeline size {record.timeline_total}")
        return None

    @staticmethod
    def injected_fault():
        plan = faults.active_plan()
        if not plan.has_chunk_faults:
            return None
        return plan.chunk_fault(faults.next_chunk_number(settings.STATE_DIR))
