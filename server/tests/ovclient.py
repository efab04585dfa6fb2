"""A small client that talks to ovcloud the way the desktop service does:
Basic authentication plus the signature headers over the exact URL sent."""

import base64
import hashlib
import http.client
import json
import time
from urllib.parse import urlsplit

API_KEY = "OvDevKey7Lq2Xm9R"
API_SECRET = "OvDevSecret4ServicesLocal7Tq9Zp2Wn5Hc8Jd"


class Answer:
    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers
        self.body = body

    def json(self):
        return json.loads(self.body)

    def __repr__(self):
        return f"<Answer {self.status} {self.body[:200]!r}>"


def sign(secret, timestamp, url):
    return hashlib.sha1(f"{secret}{timestamp}{url}".encode()).hexdigest()


class ApiClient:
    def __init__(self, base_url, username, password, key=API_KEY, secret=API_SECRET):
        self.base_url = base_url  # e.g. http://127.0.0.1:8000/api/
        self.username = username
        self.password = password
        self.key = key
        self.secret = secret

    def signature_headers(self, url, timestamp=None):
        timestamp = str(int(time.time())) if timestamp is None else str(timestamp)
        return {
            "X-ORVATIMESTAMP": timestamp,
            "X-ORVAAPIKEY": self.key,
            "X-ORVAAPISIGNATURE": sign(self.secret, timestamp, url),
            "X-ORVAAPIVERSION": "3.3.0",
        }

    def headers(self, url, signed=True, content_type="application/json"):
        headers = {"Content-Type": content_type, "Accept": "application/json"}
        if self.username is not None:
            token = base64.b64encode(f"{self.username}:{self.password}".encode()).decode()
            headers["Authorization"] = f"Basic {token}"
        if signed:
            headers.update(self.signature_headers(url))
        return headers

    def request(self, method, path, body=None, headers=None, signed=True,
                content_type="application/json", timeout=30):
        """path is relative to the API root, query included ("record/?limit=0")."""
        url = self.base_url + path
        all_headers = self.headers(url, signed, content_type)
        all_headers.update(headers or {})
        if isinstance(body, (dict, list)):
            body = json.dumps(body).encode()
        return send(method, url, body, all_headers, timeout)

    def get(self, path, **kwargs):
        return self.request("GET", path, **kwargs)

    def post(self, path, body, **kwargs):
        return self.request("POST", path, body, **kwargs)

    def create_record(self, user_id, serial, at, **fields):
        answer = self.post("record/", record_body(user_id, serial, at, **fields))
        assert answer.status == 201, answer
        return answer.json()

    def upload_chunk(self, record_id, data, first, total, content_range=None, **kwargs):
        content_range = content_range or f"bytes {first}-{first + len(data) - 1}/{total}"
        return self.post(f"sync/timeline/{record_id}/", data, content_type="application/octet-stream",
                         headers={"Content-Range": content_range}, **kwargs)


def record_body(user_id, serial, at, **fields):
    """A record as the client writes it, starting at `at`; fields override any key."""
    return {"data": base64.b64encode(bytes(range(64))).decode(), "dev_id": "DEVUID-0001",
            "device": f"/api/device/{serial}/", "start": at, "end": at + 256 * 60,
            "firmware_rev": "1.4.2", "npages": 10, "soft_protocole": 3, "soft_uid": "SOFTUID-01",
            "user": f"/api/user/{user_id}/", **fields}


def send(method, url, body, headers, timeout=30, encode_chunked=False):
    parts = urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=timeout)
    try:
        target = url[len(f"{parts.scheme}://{parts.netloc}"):]
        connection.request(method, target, body=body, headers=headers,
                           encode_chunked=encode_chunked)
        response = connection.getresponse()
        return Answer(response.status, response.headers, response.read())
    finally:
        connection.close()
