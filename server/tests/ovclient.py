"""A small client that talks to ovcloud the way the desktop service does:
Basic authentication plus the signature headers over the exact URL sent."""

import base64
import hashlib
import http.client
import json
import time
from dataclasses import dataclass
from urllib.parse import urlsplit

API_KEY = "OvDevKey7Lq2Xm9R"
API_SECRET = "OvDevSecret4ServicesLocal7Tq9Zp2Wn5Hc8Jd"


@dataclass
class Answer:
    status: int
    headers: http.client.HTTPMessage
    body: bytes

    def json(self):
        return json.loads(self.body)


def sign(secret, timestamp, url):
    return hashlib.sha1(f"{secret}{timestamp}{url}".encode()).hexdigest()


@dataclass
class ApiClient:
    base_url: str  # e.g. http://127.0.0.1:8000/api/
    username: str
    password: str

    def headers(self, url, signed=True, content_type="application/json"):
        headers = {"Content-Type": content_type, "Accept": "application/json"}
        if self.username is not None:
            token = base64.b64encode(f"{self.username}:{self.password}".encode()).decode()
            headers["Authorization"] = f"Basic {token}"
        if signed:
            timestamp = str(int(time.time()))
            headers.update({"X-ORVATIMESTAMP": timestamp, "X-ORVAAPIKEY": API_KEY,
                            "X-ORVAAPISIGNATURE": sign(API_SECRET, timestamp, url),
                            "X-ORVAAPIVERSION": "3.3.0"})
        return headers

    def request(self, method, path, body=None, headers=None, signed=True,
                content_type="application/json", timeout=30):
        """path is relative to the API root, query included ("record/?limit=0")."""
        url = self.base_url + path
        all_headers = dict(self.headers(url, signed, content_type), **(headers or {}))
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

    def held(self, record_id):
        """A record's status and the timeline bytes the server holds of it."""
        record = self.get(f"record/{record_id}/").json()
        return record["status"], (record["data_status"] or {"timeline": {"size": 0}})["timeline"]["size"]

    def upload_chunk(self, record_id, data, first, total, **kwargs):
        content_range = f"bytes {first}-{first + len(data) - 1}/{total}"
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
        connection.request(method, url[len(f"{parts.scheme}://{parts.netloc}"):], body=body,
                           headers=headers, encode_chunked=encode_chunked)
        response = connection.getresponse()
        return Answer(response.status, response.headers, response.read())
    finally:
        connection.close()
