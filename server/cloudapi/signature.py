"""The request signature every API call carries besides Basic authentication.

    X-ORVATIMESTAMP     whole seconds since 1970, decimal
    X-ORVAAPIKEY        the application's API key
    X-ORVAAPISIGNATURE  lower-case hex SHA-1 of  secret + timestamp + absolute URL
    X-ORVAAPIVERSION    the client's API version

The URL is the one the client used, byte for byte, query string included; it
is rebuilt from the raw request line rather than from Django's parsed path,
which would decode and re-encode it.
"""

import hashlib
import hmac
import time
from urllib.parse import quote

from ovcloud import config

from .inputs import whole_number


def compute_signature(secret, timestamp, url):
    return hashlib.sha1(f"{secret}{timestamp}{url}".encode("utf-8")).hexdigest()


def request_url(meta):
    """The absolute URL of a request as the client wrote it."""
    raw = meta.get("RAW_URI")  # gunicorn: the request target exactly as received
    if raw and "://" in raw.split("?", 1)[0]:
        return raw  # absolute-form request target
    if not raw:
        path = meta.get("SCRIPT_NAME", "") + meta.get("PATH_INFO", "")
        raw = quote(path, safe="/:@!$&'()*+,;=-._~")
        query = meta.get("QUERY_STRING", "")
        if query:
            raw += "?" + query
    scheme = meta.get("wsgi.url_scheme", "http")
    host = meta.get("HTTP_HOST")
    if not host:  # HTTP/1.0 without Host: the URL had the default port or named it
        port = str(meta.get("SERVER_PORT", ""))
        default = {"http": "80", "https": "443"}.get(scheme)
        host = meta.get("SERVER_NAME", "") + ("" if port in ("", default) else f":{port}")
    return f"{scheme}://{host}{raw}"


def signature_problem(meta, now=None):
    """Why the signature headers of a request are not acceptable, or None."""
    timestamp = meta.get("HTTP_X_ORVATIMESTAMP")
    key = meta.get("HTTP_X_ORVAAPIKEY")
    signature = meta.get("HTTP_X_ORVAAPISIGNATURE")
    if not (timestamp and key and signature):
        return "Missing request signature headers"
    if not hmac.compare_digest(key.encode(), config.api_key().encode()):
        return "Unknown API key"
    seconds = whole_number(timestamp)
    if seconds is None:
        return "Malformed request timestamp"
    now = time.time() if now is None else now
    if abs(now - seconds) > config.signature_max_skew():
        return "Request timestamp is too far from the server clock"
    expected = compute_signature(config.api_secret(), timestamp, request_url(meta))
    if not hmac.compare_digest(signature.strip().lower().encode(), expected.encode()):
        return "Invalid request signature"
    return None
