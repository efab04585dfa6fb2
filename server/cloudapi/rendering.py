"""JSON out, always, with keys in sorted order as the maker's API writes them."""

import json

from rest_framework.negotiation import BaseContentNegotiation
from rest_framework.renderers import JSONRenderer
from rest_framework.utils.encoders import JSONEncoder


class SortedJSONRenderer(JSONRenderer):
    def render(self, data, accepted_media_type=None, renderer_context=None):
        if data is None:
            return b""
        text = json.dumps(data, cls=JSONEncoder, sort_keys=True, ensure_ascii=False,
                          allow_nan=False, separators=(",", ":"))
        return text.encode("utf-8")


class AlwaysJSONNegotiation(BaseContentNegotiation):
    """A browser asking for HTML still gets JSON instead of 406."""

    def select_parser(self, request, parsers):
        return parsers[0] if parsers else None

    def select_renderer(self, request, renderers, format_suffix=None):
        return (renderers[0], renderers[0].media_type)
