"""The JSON request bodies of the API: records are small, so bodies are too."""

import json

from rest_framework.exceptions import ParseError
from rest_framework.parsers import JSONParser

from .errors import PayloadTooLarge, RequestTimeout

# A record's JSON is a few hundred bytes, its descriptor 64 bytes in Base64.
MAX_BODY_BYTES = 64 * 1024


def refuse_constant(name):
    raise ValueError(f"{name} is not a number JSON allows")


class BoundedJSONParser(JSONParser):
    """Reads at most MAX_BODY_BYTES, and answers 400 where the standard parser
    would let a 500 through (nesting deep enough to exhaust the recursion limit,
    texts that cannot be stored)."""

    def parse(self, stream, media_type=None, parser_context=None):
        try:
            raw = stream.read(MAX_BODY_BYTES + 1)
        except OSError as problem:
            raise RequestTimeout(f"Body not received: {problem}")
        if len(raw) > MAX_BODY_BYTES:
            raise PayloadTooLarge(f"Request body is larger than {MAX_BODY_BYTES} bytes")
        try:
            data = json.loads(raw.decode("utf-8"), parse_constant=refuse_constant)
            # JSON may escape a lone surrogate ("\ud800"), which is no text a database stores.
            json.dumps(data, ensure_ascii=False).encode("utf-8")
            return data
        except (ValueError, RecursionError) as problem:
            raise ParseError(f"JSON parse error - {problem}")
