"""The request signature, Basic authentication, failed sign-ins and the Date header."""

import time
from types import SimpleNamespace

import pytest
from django.contrib.auth import authenticate
from django.contrib.auth.hashers import PBKDF2PasswordHasher
from rest_framework.exceptions import AuthenticationFailed, Throttled

from cloudapi.authentication import CachedBasicAuthentication, client_address, failed_sign_ins
from cloudapi.signature import request_url
from ovclient import API_SECRET, send, sign


# Queries are signed as sent throughout the suite; a bare "?" too.
def test_right_signature_over_the_url_as_sent(coach):
    assert coach.get("record/?").status == 200


def signed_at(timestamp, url):
    return {"X-ORVATIMESTAMP": str(timestamp), "X-ORVAAPISIGNATURE": sign(API_SECRET, timestamp, url)}


NOW = int(time.time())
URL_PATH = "record/?limit=0"
WRONG = {
    "wrong signature": lambda url: {"X-ORVAAPISIGNATURE": "0" * 40},
    "wrong key": lambda url: {"X-ORVAAPIKEY": "OvSomeOtherKey00"},
    "other query signed": lambda url: signed_at(NOW, url + "&limit=1"),
    "stale": lambda url: signed_at(NOW - 3600, url),
    "from the future": lambda url: signed_at(NOW + 3600, url),
    "fractional timestamp": lambda url: signed_at(f"{NOW}.5", url),
    "superscript timestamp": lambda url: signed_at("\u00b2", url),
    "5000-digit timestamp": lambda url: signed_at("9" * 5000, url),
}


@pytest.mark.parametrize("case", WRONG)
def test_bad_signature_gets_403_with_json_error(coach, case):
    url = coach.base_url + URL_PATH
    headers = dict(coach.headers(url), **WRONG[case](url))
    answer = send("GET", url, None, headers)
    assert answer.status == 403 and answer.json()["error"], answer


@pytest.mark.parametrize("password", ["orvane-demo", "not-the-password"])
@pytest.mark.parametrize("method, path", [("GET", "account/"), ("POST", "sync/timeline/1/")])
def test_unsigned_request_learns_nothing_of_the_password(server, password, method, path):
    answer = server.client(password=password).request(method, path, signed=False)
    assert answer.status == 403 and "signature" in answer.json()["error"]


@pytest.mark.parametrize("username, password", [
    ("coach", "not-the-password"),
    ("coach", "orvane-demo "),       # a remembered good password lets no near miss through
    ("nobody", "orvane-demo"),
    (None, None),                    # no Authorization header at all
])
def test_basic_failure_gets_401_with_a_challenge(server, username, password):
    assert server.client().get("account/").status == 200
    answer = server.client(username, password).get("account/")
    assert answer.status == 401
    assert answer.headers["WWW-Authenticate"].startswith("Basic")
    assert answer.json()["error"]


def check(login, password, address="192.0.2.1"):
    request = SimpleNamespace(META={"REMOTE_ADDR": address})
    return CachedBasicAuthentication().authenticate_credentials(login, password, request)


@pytest.mark.parametrize("login", ["coach", "COACH@orvane.test", "nobody", "no\0body"])
def test_a_failed_check_costs_one_hash_whether_or_not_the_user_exists(server, monkeypatch, login):
    hashes = []
    encode = PBKDF2PasswordHasher.encode
    monkeypatch.setattr(PBKDF2PasswordHasher, "encode",
                        lambda self, *args: hashes.append(1) or encode(self, *args))
    with pytest.raises(AuthenticationFailed):
        check(login, "not-the-password", address=f"192.0.2.{len(login)}")
    assert len(hashes) == 1


def test_failed_sign_ins_are_throttled_per_address_and_login(server, monkeypatch):
    monkeypatch.setattr(failed_sign_ins, "limit", 3)
    for _ in range(3):
        with pytest.raises(AuthenticationFailed):
            check("ada", "guess", address="198.51.100.7")
    with pytest.raises(Throttled):
        check("ada", "orvane-demo", address="198.51.100.7")
    site_request = SimpleNamespace(META={"REMOTE_ADDR": "198.51.100.7"})
    assert authenticate(site_request, username="ada", password="orvane-demo") is None
    assert check("ada", "orvane-demo", address="198.51.100.8")[0].pk == 101
    assert check("bruno", "orvane-demo", address="198.51.100.7")[0].pk == 102


@pytest.mark.parametrize("peer, forwarded, counted", [
    ("127.0.0.1", "203.0.113.9", "203.0.113.9"),               # the proxy saw the client
    ("127.0.0.1", "198.51.100.1, 203.0.113.9", "203.0.113.9"),  # the first entry is the client's word
    ("127.0.0.1", None, "127.0.0.1"),
    ("203.0.113.5", "198.51.100.1", "203.0.113.5"),            # not a proxy: its header is ignored
])
def test_failures_behind_a_trusted_proxy_count_for_the_client(monkeypatch, peer, forwarded,
                                                               counted):
    monkeypatch.setenv("OVCLOUD_TRUSTED_PROXIES", "127.0.0.1, ::1")
    meta = {"REMOTE_ADDR": peer, **({"HTTP_X_FORWARDED_FOR": forwarded} if forwarded else {})}
    assert client_address(meta) == counted


@pytest.mark.parametrize("method, path", [("HEAD", ""), ("GET", "api/account/"),
                                          ("GET", "nowhere")])
def test_every_answer_carries_a_date(server, method, path):
    answer = send(method, server.root + path, None, {})
    parsed = time.strptime(answer.headers["Date"], "%a, %d %b %Y %H:%M:%S GMT")
    assert abs(time.mktime(parsed) - time.mktime(time.gmtime())) < 5


@pytest.mark.parametrize("meta, url", [
    # gunicorn hands over the request target untouched, even odd escapes or the absolute form
    ({"RAW_URI": "/api/record/?a=%2f&b=/x/", "HTTP_HOST": "h:1", "wsgi.url_scheme": "http"},
     "http://h:1/api/record/?a=%2f&b=/x/"),
    ({"RAW_URI": "http://h:1/api/team/", "HTTP_HOST": "h:1", "wsgi.url_scheme": "http"},
     "http://h:1/api/team/"),
    # other servers: rebuilt from the decoded path and the raw query
    ({"PATH_INFO": "/api/device/S 1/", "QUERY_STRING": "limit=0", "HTTP_HOST": "h",
      "wsgi.url_scheme": "https"}, "https://h/api/device/S%201/?limit=0"),
])
def test_signed_url_is_rebuilt_as_the_client_sent_it(meta, url):
    assert request_url(meta) == url
