#!/usr/bin/env bash
# Run ovcloud in the foreground: migrate, seed the demo account, then gunicorn.
#   serve.sh [--port N] [--state DIR] [--bind ADDR]
# Environment: see docs/ovcloud.md (OVCLOUD_DATABASE_URL, OVCLOUD_API_KEY, OVCLOUD_FAULT_*, ...).
set -euo pipefail

usage() {
    echo "usage: $0 [--port N] [--state DIR] [--bind ADDR]" >&2
    exit 2
}

port=8000
bind=127.0.0.1
state="${XDG_STATE_HOME:-$HOME/.local/state}/ovcloud"

while [ $# -gt 0 ]; do
    case "$1" in
        --port) [ $# -ge 2 ] || usage; port="$2"; shift 2 ;;
        --port=*) port="${1#*=}"; shift ;;
        --state) [ $# -ge 2 ] || usage; state="$2"; shift 2 ;;
        --state=*) state="${1#*=}"; shift ;;
        --bind) [ $# -ge 2 ] || usage; bind="$2"; shift 2 ;;
        --bind=*) bind="${1#*=}"; shift ;;
        -h|--help) usage ;;
        *) echo "$0: unknown argument: $1" >&2; usage ;;
    esac
done
case "$port" in ''|*[!0-9]*) echo "$0: --port needs a number" >&2; usage ;; esac

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
python="${OVCLOUD_PYTHON:-/usr/bin/python3}"
mkdir -p "$state"
export OVCLOUD_STATE_DIR="$(cd "$state" && pwd)"
export DJANGO_SETTINGS_MODULE=ovcloud.settings
cd "$here"

case "$bind" in *:*) address="[$bind]:$port" ;; *) address="$bind:$port" ;; esac
export OVCLOUD_SITE_URL="${OVCLOUD_SITE_URL:-http://$address/}"
"$python" manage.py prepare_server -v 0 --bind "$bind"
echo "ovcloud: http://$address/ (state in $OVCLOUD_STATE_DIR)" >&2
exec "$python" -m gunicorn --config "$here/gunicorn.conf.py" --bind "$address"
