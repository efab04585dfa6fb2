"""gunicorn settings for ovcloud; serve.sh passes the bind address."""

import os

wsgi_app = "ovcloud.wsgi:application"
chdir = os.path.dirname(os.path.abspath(__file__))

# Threads, not just processes: the desktop client keeps several connections
# busy at once (an upload, status queries, the network-time probe), and a
# slow upload must not hold up the others.
# gthread, except that a connection gets a thread only once its headers are in:
# clients sending them slowly must not hold every thread (ovcloud/worker.py).
worker_class = "ovcloud.worker.HeaderReadingWorker"
workers = int(os.environ.get("OVCLOUD_WORKERS", "2"))
threads = int(os.environ.get("OVCLOUD_THREADS", "8"))
preload_app = True

# A 5 MiB chunk over a slow link may take a while; keep-alive serves the
# client's back-to-back chunk requests on one connection.
timeout = 120
keepalive = 5
graceful_timeout = 5

_access_log = os.environ.get("OVCLOUD_ACCESS_LOG", "-")
accesslog = None if _access_log in ("", "off", "0") else _access_log
errorlog = "-"
loglevel = os.environ.get("OVCLOUD_LOG_LEVEL", "info")
proc_name = "ovcloud"
