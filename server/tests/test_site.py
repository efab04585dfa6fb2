"""The account site a person reaches from the desktop service: sign-up, password
reset, dashboard, and the admin. Pages are fetched in this process, on the main
server's database; the API is reached through the server."""

import re
from pathlib import Path

import pytest
from django.conf import settings
from django.test import Client

from ovclient import send


def browser(host="127.0.0.1"):
    return Client(HTTP_HOST=host)


def sign_up(username, password="Sprint-2024!", email=None, host="127.0.0.1"):
    page = browser(host).post("/signup", {
        "username": username, "email": email or f"{username}@example.test", "first_name": "Nia",
        "last_name": "Kowalski", "password1": password, "password2": password,
        "date_of_birth": "2002-06-30", "gender": "F", "height": "170", "weight": "60"},
        follow=True)
    return page.redirect_chain, page.content.decode()


def test_sign_up_then_use_the_api(server):
    redirects, page = sign_up("nia")
    assert redirects == [("/dashboard/", 302)] and "No session has been uploaded yet" in page
    me = server.client("nia", "Sprint-2024!").get("account/").json()["objects"][0]
    assert me["profile"]["gender"] == "F" and me["profile"]["date_of_birth"] == "2002-06-30"


@pytest.mark.parametrize("username, email", [
    ("coach2", "COACH@orvane.test"),             # someone's e-mail
    ("coach@orvane.test", "c2@example.test"),    # a user name that would take someone's e-mail sign-in
])
def test_sign_up_cannot_claim_another_person_s_e_mail(server, username, email):
    redirects, page = sign_up(username, email=email)
    assert redirects == [] and "errorlist" in page
    assert server.client("coach@orvane.test").get("account/").json()["objects"][0]["id"] == 100


def test_password_reset_by_mailed_link(server):
    sign_up("omar")
    # Asked for through another of the server's names, the link still names the site.
    page = browser("localhost").post("/en/account/reset_password_request",
                                     {"email": "omar@example.test"}, follow=True)
    assert "Check your mail" in page.content.decode()
    mail = "".join(p.read_text() for p in Path(settings.EMAIL_FILE_PATH).glob("*.log"))
    link = re.search(r"http://\S+/en/account/reset/\S+/", mail).group(0)
    assert link.startswith(settings.SITE_URL)

    reset = browser()
    form = reset.get(link[len(settings.SITE_URL) - 1:], follow=True).redirect_chain[-1][0]
    done = reset.post(form, {"new_password1": "Relay-4x100", "new_password2": "Relay-4x100"},
                      follow=True)
    assert "Password changed" in done.content.decode()
    assert server.client("omar", "Relay-4x100").get("account/").status == 200
    assert server.client("omar", "Sprint-2024!").get("account/").status == 401


@pytest.mark.parametrize("path", ["api/account/", "en/account/reset_password_request"])
def test_a_foreign_host_header_is_refused(server, path):
    answer = send("GET", server.root + path, None, {"Host": "attacker.example"})
    assert answer.status == 400
    if path.startswith("api/"):
        assert answer.json()["error"]


def test_dashboard_lists_records_with_their_upload_state(coach, unique_serial):
    done = coach.create_record(103, unique_serial, 256 * 1_600_000_000)
    coach.upload_chunk(done["id"], b"x" * 512, 0, 512)
    coach.create_record(104, unique_serial, 256 * 1_600_000_100)
    far = coach.create_record(105, unique_serial, 2 ** 61)  # a device clock gone wild

    site = browser()
    assert site.get("/dashboard/").url == "/login?next=/dashboard/"
    site.post("/login", {"username": "coach", "password": "orvane-demo"})
    page = site.get("/dashboard/").content.decode()
    row = re.search(rf"<tr>\s*<td>{done['id']}</td>.*?</tr>", page, re.S).group(0)
    assert "Chiara Rossi" in row and unique_serial in row and "2020-09-13 12:26:40" in row
    assert "complete" in row and "512" in row
    assert re.search(r"Dmitri Volkov.*?incomplete.*?nothing yet", page, re.S)
    assert re.search(rf"<td>{far['id']}</td>\s*<td>Elena Park</td>.*?unknown", page, re.S)


@pytest.mark.parametrize("path", ["/admin/cloudapi/record/", "/admin/auth/user/100/change/"])
def test_admin_shows_everything_with_the_password_made_at_first_start(server, path):
    site = browser()
    password = Path(server.state_dir, "admin_password").read_text().strip()
    site.post("/admin/login/?next=/admin/", {"username": "admin", "password": password})
    page = site.get(path)
    assert page.status_code == 200 and "ovcloud administration" in page.content.decode()
    assert site.get("/static/admin/css/base.css").status_code == 200
