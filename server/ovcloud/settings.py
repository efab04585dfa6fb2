"""Django settings of ovcloud; every tunable comes from ovcloud.config."""

from pathlib import Path

from . import config

BASE_DIR = Path(__file__).resolve().parent.parent
STATE_DIR = config.state_dir()
TIMELINE_DIR = STATE_DIR / "timelines"
TIMELINE_DIR.mkdir(exist_ok=True)

SECRET_KEY = config.secret_key(STATE_DIR)
DEBUG = config.env_flag("OVCLOUD_DEBUG")
SITE_URL = config.site_url()
ALLOWED_HOSTS = config.allowed_hosts()

INSTALLED_APPS = [
    "django.contrib.admin",
    "django.contrib.auth",
    "django.contrib.contenttypes",
    "django.contrib.sessions",
    "django.contrib.messages",
    "django.contrib.staticfiles",
    "rest_framework",
    "django_filters",
    "cloudapi",
    "accountsite",
]

MIDDLEWARE = [
    "ovcloud.middleware.FaultInjectionMiddleware",
    "ovcloud.guard.RequestGuardMiddleware",
    "django.middleware.security.SecurityMiddleware",
    "django.contrib.sessions.middleware.SessionMiddleware",
    "django.middleware.common.CommonMiddleware",
    "django.middleware.csrf.CsrfViewMiddleware",
    "django.contrib.auth.middleware.AuthenticationMiddleware",
    "django.contrib.messages.middleware.MessageMiddleware",
    "django.middleware.clickjacking.XFrameOptionsMiddleware",
]

ROOT_URLCONF = "ovcloud.urls"
WSGI_APPLICATION = "ovcloud.wsgi.application"

TEMPLATES = [
    {
        "BACKEND": "django.template.backends.django.DjangoTemplates",
        "DIRS": [],
        "APP_DIRS": True,
        "OPTIONS": {
            "context_processors": [
                "django.template.context_processors.request",
                "django.contrib.auth.context_processors.auth",
                "django.contrib.messages.context_processors.messages",
            ],
        },
    },
]

# Each gunicorn thread keeps its connection for a minute instead of opening one per request.
DATABASES = {"default": dict(config.database(STATE_DIR), CONN_MAX_AGE=60)}
DEFAULT_AUTO_FIELD = "django.db.models.AutoField"

# Shared by every worker process: the count of failed sign-ins lives here.
CACHES = {"default": {"BACKEND": "django.core.cache.backends.filebased.FileBasedCache",
                      "LOCATION": str(STATE_DIR / "cache")}}

AUTHENTICATION_BACKENDS = ["cloudapi.authentication.UsernameOrEmailBackend"]
AUTH_PASSWORD_VALIDATORS = [
    {"NAME": "django.contrib.auth.password_validation.MinimumLengthValidator",
     "OPTIONS": {"min_length": 8}},
]
LOGIN_URL = "/login"
LOGIN_REDIRECT_URL = "/dashboard/"
LOGOUT_REDIRECT_URL = "/"

LANGUAGE_CODE = "en-us"
TIME_ZONE = "UTC"
USE_I18N = True
USE_L10N = False
USE_TZ = True

# Admin styling is served by Django itself (see ovcloud.urls): no collectstatic step.
STATIC_URL = "/static/"

# Password-reset mails land as files in the state directory: the demo has no mail server.
EMAIL_BACKEND = "django.core.mail.backends.filebased.EmailBackend"
EMAIL_FILE_PATH = str(STATE_DIR / "mail")
DEFAULT_FROM_EMAIL = "ovcloud@localhost"

REST_FRAMEWORK = {
    "DEFAULT_AUTHENTICATION_CLASSES": ["cloudapi.authentication.CachedBasicAuthentication"],
    "DEFAULT_PERMISSION_CLASSES": ["rest_framework.permissions.IsAuthenticated"],
    "DEFAULT_RENDERER_CLASSES": ["cloudapi.rendering.SortedJSONRenderer"],
    "DEFAULT_PARSER_CLASSES": ["cloudapi.parsers.BoundedJSONParser"],
    # No self-description on OPTIONS: the resources have no serializer to describe.
    "DEFAULT_METADATA_CLASS": None,
    "DEFAULT_CONTENT_NEGOTIATION_CLASS": "cloudapi.rendering.AlwaysJSONNegotiation",
    "DEFAULT_PAGINATION_CLASS": "cloudapi.pagination.ListPagination",
    "DEFAULT_FILTER_BACKENDS": ["django_filters.rest_framework.DjangoFilterBackend"],
    "EXCEPTION_HANDLER": "cloudapi.errors.api_exception_handler",
}

BENCH_SINK_ENABLED = config.env_flag("OVCLOUD_BENCH_SINK")

LOGGING = {
    "version": 1,
    "disable_existing_loggers": False,
    "handlers": {"stderr": {"class": "logging.StreamHandler"}},
    "loggers": {
        "django.request": {"handlers": ["stderr"], "level": "ERROR", "propagate": False},
        "ovcloud": {"handlers": ["stderr"], "level": "INFO", "propagate": False},
    },
}
