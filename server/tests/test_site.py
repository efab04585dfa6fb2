"""The account site a person reaches from the desktop service: sign-up, password
reset, dashboard, and the admin."""

import http.cookiejar
import re
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

import pytest

from ovclient import send


class Browser:
    """Cookies and CSRF tokens, like a person's browser."""

    def __init__(self, root):
        self.root = root
        self.cookies = http.cookiejar.CookieJar()
        self.opener = urllib.request.build_opener(urllib.request.HTTPCookieProcessor(self.cookies))

    def get(self, path):
        with self.opener.open(self.root + path.lstrip("/"), timeout=30) as answer:
            return answer.status, answer.geturl(), answer.read().decode()

    def submit(self, path, fields):
        """GET the form page, then POST the fields with its CSRF token."""
        _, url, page = self.get(path)
        token = re.search(r'name="csrfmiddlewaretoken" value="([^"]+)"', page).group(1)
        data = urllib.parse.urlencode({"csrfmiddlewaretoken": token, **fields}).encode()
        request = urllib.request.Request(url, data=data, headers={"Referer": url})
        try:
            with self.opener.open(request, timeout=30) as answer:
                return answer.status, answer.geturl(), answer.read().decode()
        except urllib.error.HTTPError as error:
            return error.code, url, error.read().decode()


def sign_up(server, username, password="Sprint-2024!", email=None):
    browser = Browser(server.root)
    status, url, page = browser.submit("signup", {
        "username": username, "email": email or f"{username}@example.test", "first_name": "Nia",
        "last_name": "Kowalski", "password1": password, "password2": password,
        "date_of_birth": "2002-06-30", "gender": "F", "height": "170", "weight": "60"})
    return browser, status, url, page


def test_sign_up_then_use_the_api(server):
    browser, status, url, page = sign_up(server, "nia")
    assert status == 200 and url.endswith("/dashboard/"), page
    assert "No session has been uploaded yet" in page
    me = server.client("nia", "Sprint-2024!").get("account/").json()["objects"][0]
    assert me["profile"]["gender"] == "F" and me["profile"]["date_of_birth"] == "2002-06-30"


@pytest.mark.parametrize("username, email", [
    ("coach2", "COACH@orvane.test"),             # someone's e-mail
    ("coach@orvane.test", "c2@example.test"),    # a user name that would take someone's e-mail sign-in
])
def test_sign_up_cannot_claim_another_person_s_e_mail(server, username, email):
    _, status, url, page = sign_up(server, username, email=email)
    assert "/signup" in url and "errorlist" in page
    assert server.client("coach@orvane.test").get("account/").json()["objects"][0]["id"] == 100


def test_password_reset_by_mailed_link(server):
    sign_up(server, "omar")
    # Asked for through another of the server's names, the link still names the site.
    status, url, page = Browser(server.root.replace("127.0.0.1", "localhost")).submit(
        "en/account/reset_password_request", {"email": "omar@example.test"})
    assert status == 200 and "Check your mail" in page
    mail = "".join(p.read_text() for p in Path(server.state_dir, "mail").glob("*.log"))
    link = re.search(r"http://\S+/en/account/reset/\S+/", mail).group(0)
    assert link.startswith(server.root)

    status, url, page = Browser(server.root).submit(
        link[len(server.root) - 1:], {"new_password1": "Relay-4x100", "new_password2": "Relay-4x100"})
    assert "Password changed" in page
    assert server.client("omar", "Relay-4x100").get("account/").status == 200
    assert server.client("omar", "Sprint-2024!").get("account/").status == 401


@pytest.mark.parametrize("path", ["api/account/", "en/account/reset_password_request"])
def test_a_foreign_host_header_is_refused(server, path):
    answer = send("GET", server.root + path, None, {"Host": "attacker.example"})
    assert answer.status == 400
    if path.startswith("api/"):
        assert answer.json()["error"]


def test_dashboard_lists_records_with_their_upload_state(server, unique_serial):
    coach = server.client()
    done = coach.create_record(103, unique_serial, 256 * 1_600_000_000)
    coach.upload_chunk(done["id"], b"x" * 512, 0, 512)
    coach.create_record(104, unique_serial, 256 * 1_600_000_100)
    far = coach.create_record(105, unique_serial, 2 ** 61)  # a device clock gone wild

    browser = Browser(server.root)
    status, url, page = browser.submit("login?next=/dashboard/",
                                       {"username": "coach", "password": "orvane-demo"})
    assert url.endswith("/dashboard/")
    row = re.search(rf"<tr>\s*<td>{done['id']}</td>.*?</tr>", page, re.S).group(0)
    assert "Chiara Rossi" in row and unique_serial in row and "2020-09-13 12:26:40" in row
    assert "complete" in row and "512" in row
    assert re.search(r"Dmitri Volkov.*?incomplete.*?nothing yet", page, re.S)
    assert re.search(rf"<td>{far['id']}</td>\s*<td>Elena Park</td>.*?unknown", page, re.S)


def test_dashboard_needs_a_sign_in(server):
    status, url, page = Browser(server.root).get("dashboard/")
    assert "/login?next=/dashboard/" in url


@pytest.mark.parametrize("path", ["admin/cloudapi/record/", "admin/auth/user/100/change/"])
def test_admin_shows_everything_with_the_password_made_at_first_start(server, path):
    password = Path(server.state_dir, "admin_password").read_text().strip()
    browser = Browser(server.root)
    browser.submit("admin/login/?next=/admin/", {"username": "admin", "password": password})
    status, url, page = browser.get(path)
    assert status == 200 and url.endswith(path) and "ovcloud administration" in page
    assert browser.get("static/admin/css/base.css")[0] == 200
