"""Basic authentication, the request signature and the Date header."""

import time

import pytest

from cloudapi.signature import request_url
from ovclient import API_SECRET, send, sign


def signed_headers(client, url, **overrides):
    headers = client.headers(url)
    headers.update(overrides)
    return headers


@pytest.mark.parametrize("path", ["record/?limit=0", "record/?", "record/",
                                  "bundle_permission/?bundle=/api/bundle/1/&limit=0",
                                  "record/?start__exact=2560&device__exact=S1"])
def test_right_signature_over_the_url_as_sent(coach, path):
    assert coach.get(path).status == 200


def wrong(client, url):
    """Each way a signature can be wrong, as header overrides."""
    now = int(time.time())
    return {
        "wrong signature": {"X-ORVAAPISIGNATURE": "0" * 40},
        "wrong secret": {"X-ORVAAPISIGNATURE": sign("x" + API_SECRET, now, url),
                         "X-ORVATIMESTAMP": str(now)},
        "wrong key": {"X-ORVAAPIKEY": "OvSomeOtherKey00"},
        "other query signed": {"X-ORVAAPISIGNATURE": sign(API_SECRET, now, url + "&limit=1"),
                               "X-ORVATIMESTAMP": str(now)},
        "stale": {"X-ORVATIMESTAMP": str(now - 3600),
                  "X-ORVAAPISIGNATURE": sign(API_SECRET, now - 3600, url)},
        "from the future": {"X-ORVATIMESTAMP": str(now + 3600),
                            "X-ORVAAPISIGNATURE": sign(API_SECRET, now + 3600, url)},
        "fractional timestamp": {"X-ORVATIMESTAMP": f"{now}.5",
                                 "X-ORVAAPISIGNATURE": sign(API_SECRET, f"{now}.5", url)},
    }


@pytest.mark.parametrize("case", ["wrong signature", "wrong secret", "wrong key",
                                  "other query signed", "stale", "from the future",
                                  "fractional timestamp"])
def test_bad_signature_gets_403_with_json_error(coach, case):
    url = coach.base_url + "record/?limit=0"
    answer = send("GET", url, None, signed_headers(coach, url, **wrong(coach, url)[case]))
    assert answer.status == 403
    assert answer.json()["error"]


def test_missing_signature_gets_403(coach):
    answer = coach.get("account/", signed=False)
    assert answer.status == 403 and "signature" in answer.json()["error"]


def test_signature_on_uploads_too(coach):
    answer = coach.upload_chunk(1, b"x", 0, 1, signed=False)
    assert answer.status == 403


@pytest.mark.parametrize("username, password", [
    ("coach", "not-the-password"),
    ("nobody", "orvane-demo"),
    (None, None),                    # no Authorization header at all
])
def test_basic_failure_gets_401_with_a_challenge(server, username, password):
    answer = server.client(username, password).get("account/")
    assert answer.status == 401
    assert answer.headers["WWW-Authenticate"].startswith("Basic")
    assert answer.json()["error"]


def test_password_is_checked_every_time(server):
    """A remembered good password must not let a wrong one through."""
    assert server.client().get("account/").status == 200
    assert server.client(password="orvane-demo ").get("account/").status == 401


@pytest.mark.parametrize("method, path", [("HEAD", ""), ("GET", ""), ("GET", "api/"),
                                          ("GET", "api/account/"), ("GET", "nowhere"),
                                          ("GET", "signup")])
def test_every_answer_carries_a_date(server, method, path):
    answer = send(method, server.root + path, None, {})
    parsed = time.strptime(answer.headers["Date"], "%a, %d %b %Y %H:%M:%S GMT")
    assert abs(time.mktime(parsed) - time.mktime(time.gmtime())) < 5


@pytest.mark.parametrize("meta, url", [
    # gunicorn hands over the request target untouched, even odd escapes
    ({"RAW_URI": "/api/record/?a=%2f&b=/x/", "HTTP_HOST": "127.0.0.1:8000",
      "wsgi.url_scheme": "http"}, "http://127.0.0.1:8000/api/record/?a=%2f&b=/x/"),
    ({"RAW_URI": "/api/record/?", "HTTP_HOST": "h:1", "wsgi.url_scheme": "http"},
     "http://h:1/api/record/?"),
    ({"RAW_URI": "http://h:1/api/team/", "HTTP_HOST": "h:1", "wsgi.url_scheme": "http"},
     "http://h:1/api/team/"),
    # other servers: rebuilt from the decoded path and the raw query
    ({"PATH_INFO": "/api/device/S 1/", "QUERY_STRING": "limit=0", "HTTP_HOST": "h",
      "wsgi.url_scheme": "https"}, "https://h/api/device/S%201/?limit=0"),
])
def test_signed_url_is_rebuilt_as_the_client_sent_it(meta, url):
    assert request_url(meta) == url
