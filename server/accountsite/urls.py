from django.conf import settings
from django.contrib.auth import views as auth
from django.urls import path

from . import views

urlpatterns = [
    path("", views.home, name="home"),
    path("signup", views.signup, name="signup"),
    path("login", auth.LoginView.as_view(template_name="accountsite/login.html"), name="login"),
    path("logout", auth.LogoutView.as_view(), name="logout"),
    path("dashboard/", views.dashboard, name="dashboard"),
    path("en/account/reset_password_request", auth.PasswordResetView.as_view(
        template_name="accountsite/reset_request.html",
        email_template_name="accountsite/reset_email.txt",
        subject_template_name="accountsite/reset_subject.txt",
        # The link's host is the configured site, never the request's Host header.
        extra_email_context={"site_url": settings.SITE_URL.rstrip("/")}), name="password_reset"),
    path("en/account/reset_password_sent", auth.PasswordResetDoneView.as_view(
        template_name="accountsite/reset_sent.html"), name="password_reset_done"),
    path("en/account/reset/<uidb64>/<token>/", auth.PasswordResetConfirmView.as_view(
        template_name="accountsite/reset_confirm.html"), name="password_reset_confirm"),
    path("en/account/reset_password_done", auth.PasswordResetCompleteView.as_view(
        template_name="accountsite/reset_done.html"), name="password_reset_complete"),
]
