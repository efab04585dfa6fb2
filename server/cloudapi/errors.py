"""Errors of the API as {"error": text}, the shape the client logs and shows."""

from django.http import JsonResponse
from rest_framework.exceptions import APIException
from rest_framework.views import exception_handler


def describe(detail):
    """One line of text from DRF's nested error details."""
    if isinstance(detail, dict):
        return "; ".join(f"{key}: {describe(value)}" for key, value in detail.items())
    if isinstance(detail, (list, tuple)):
        return " ".join(describe(item) for item in detail)
    return str(detail)


def api_exception_handler(exc, context):
    response = exception_handler(exc, context)
    if response is not None:
        detail = response.data.get("detail", response.data) if isinstance(response.data, dict) \
            else response.data
        response.data = {"error": describe(detail)}
    return response


def error_response(status, text):
    return JsonResponse({"error": text}, status=status)


class RequestTimeout(APIException):
    status_code = 408
    default_detail = "Request body not received in time."


class PayloadTooLarge(APIException):
    status_code = 413
    default_detail = "Request body too large."
