from django.apps import AppConfig


class AccountSiteConfig(AppConfig):
    name = "accountsite"
    verbose_name = "Account site"
