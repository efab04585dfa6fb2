"""The list answer of the maker's API:

    {"meta": {"limit", "next", "offset", "previous", "total_count"}, "objects": [...]}

"next" and "previous" are the resource path, "?", the request's other
parameters as the client wrote them and in its order, then "limit" and
"offset"; null at either end. limit=0 asks for every object up to the maximum.
"""

from urllib.parse import unquote_plus

from rest_framework.pagination import BasePagination
from rest_framework.response import Response

from .inputs import parsed, whole_number

DEFAULT_LIMIT = 500
MAX_LIMIT = 1000


def parse_count(name, text, default):
    return default if text is None else parsed(whole_number, name, text)


def other_parameters(query_string):
    """The raw "key=value" pieces of a query, except limit and offset."""
    pieces = []
    for piece in query_string.split("&"):
        name = unquote_plus(piece.split("=", 1)[0])
        if piece and name not in ("limit", "offset"):
            pieces.append(piece)
    return pieces


def page_link(path, query_string, limit, offset):
    pieces = other_parameters(query_string) + [f"limit={limit}", f"offset={offset}"]
    return f"{path}?{'&'.join(pieces)}"


class ListPagination(BasePagination):
    default_limit = DEFAULT_LIMIT
    max_limit = MAX_LIMIT

    def paginate_queryset(self, queryset, request, view=None):
        params = request.query_params
        limit = parse_count("limit", params.get("limit"), self.default_limit)
        if limit == 0 or limit > self.max_limit:
            limit = self.max_limit
        self.limit = limit
        self.offset = parse_count("offset", params.get("offset"), 0)
        self.total = queryset.count()
        self.path = request.path
        self.query_string = request.META.get("QUERY_STRING", "")
        return list(queryset[self.offset:self.offset + self.limit])

    def get_paginated_response(self, data):
        following = self.offset + self.limit
        meta = {
            "limit": self.limit,
            "offset": self.offset,
            "total_count": self.total,
            "next": (page_link(self.path, self.query_string, self.limit, following)
                     if following < self.total else None),
            "previous": (page_link(self.path, self.query_string, self.limit,
                                   max(0, self.offset - self.limit))
                         if self.offset > 0 else None),
        }
        return Response({"meta": meta, "objects": data})
