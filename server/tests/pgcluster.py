"""A throwaway PostgreSQL cluster on a loopback port, for tests and benchmarks.

Debian's server binaries are not on PATH; they live under
/usr/lib/postgresql/<version>/bin. PostgreSQL refuses to run as root, so as
root the cluster is made and run as "nobody", in a directory it owns.
"""

import glob
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
from pathlib import Path

SUPERUSER = "ovcloud"


class Unavailable(RuntimeError):
    """PostgreSQL cannot be started here; the message says why."""


def server_binaries():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/pg_ctl"),
                   key=lambda path: int(Path(path).parts[-3]))
    if not found:
        raise Unavailable("no PostgreSQL server under /usr/lib/postgresql "
                          "(apt-get install postgresql)")
    return Path(found[-1]).parent


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Cluster:
    def __init__(self):
        self.bin = server_binaries()
        self.as_nobody = os.geteuid() == 0
        # Under /tmp as root: $TMPDIR may lie in a home that "nobody" cannot enter.
        self.dir = Path(tempfile.mkdtemp(prefix="ovcloud-pg-",
                                         dir="/tmp" if self.as_nobody else None))
        self.data = self.dir / "data"
        self.port = free_port()
        if self.as_nobody:
            nobody = pwd.getpwnam("nobody")
            os.chown(self.dir, nobody.pw_uid, nobody.pw_gid)
        try:
            self.run("initdb", "-D", self.data, "-U", SUPERUSER, "-A", "trust", "-E", "UTF8",
                     "--no-sync")
            self.run("pg_ctl", "-D", self.data, "-l", self.dir / "server.log", "-w", "-t", "60",
                     "-o", f"-c listen_addresses=127.0.0.1 -p {self.port} -k {self.dir} "
                           "-c fsync=off -c max_connections=200", "start")
        except Unavailable:
            shutil.rmtree(self.dir, ignore_errors=True)
            raise

    def run(self, program, *args):
        command = [str(self.bin / program), *map(str, args)]
        if self.as_nobody:
            command = ["runuser", "-u", "nobody", "--", *command]
        try:
            result = subprocess.run(command, capture_output=True, text=True, cwd=self.dir,
                                    timeout=120)
        except (OSError, subprocess.TimeoutExpired) as problem:
            raise Unavailable(f"{program} could not run: {problem}")
        if result.returncode != 0:
            raise Unavailable(f"{program} failed: {result.stderr.strip() or result.stdout.strip()}")

    def database(self, name):
        """A new empty database; its OVCLOUD_DATABASE_URL."""
        self.run("createdb", "-h", "127.0.0.1", "-p", self.port, "-U", SUPERUSER, name)
        return f"postgresql://{SUPERUSER}@127.0.0.1:{self.port}/{name}"

    def stop(self):
        try:
            self.run("pg_ctl", "-D", self.data, "-m", "fast", "-w", "stop")
        finally:
            shutil.rmtree(self.dir, ignore_errors=True)
