"""What `./ov package` delivers: a Debian package whose files sit where a Linux desktop looks for them,
whose Depends names the package of every library the binary links and of every plugin and tool it
loads or calls, whose binary runs from the unpacked tree, and which lintian accepts. The package is
unpacked into a temporary root with `dpkg-deb -x`; the machine's own packages are left alone."""

import configparser
import gzip
import re
import shutil
import subprocess

import pytest

from processes import BUILD, ROOT, built  # noqa: F401

EXPECTED = [
    "bin/ovservices",
    "share/applications/ovservices.desktop",
    "share/metainfo/com.pellwick.OvServices.metainfo.xml",
    "share/icons/hicolor/scalable/apps/ovservices.svg",
    "share/ovservices/translations/ovservices_en.ts",
    "share/man/man1/ovservices.1.gz",
    "share/doc/ovservices/copyright",
    "share/doc/ovservices/changelog.gz",
]


def run(*command, **options):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True, **options)


@pytest.fixture(scope="module")
def package(built, tmp_path_factory):  # noqa: F811
    out = tmp_path_factory.mktemp("package")
    run("cpack", "-G", "DEB", "--config", BUILD / "CPackConfig.cmake", "-B", out, check=True, cwd=BUILD)
    packages = list(out.glob("ovservices_*.deb"))
    assert len(packages) == 1
    return packages[0]


@pytest.fixture(scope="module")
def usr(package, tmp_path_factory):
    root = tmp_path_factory.mktemp("root")
    run("dpkg-deb", "-x", package, root, check=True)
    return root / "usr"


def depends_of(package):
    field = run("dpkg-deb", "-f", package, "Depends", check=True).stdout
    return {re.match(r"\s*([^\s(]+)", alternative).group(1) for alternative in re.split(r"[,|]", field)}


def owner_of(path):
    """The Debian package that ships path (a path or a dpkg -S pattern), whichever of /lib and /usr/lib
    it was installed under."""
    for candidate in (path, "/usr" + path, path.removeprefix("/usr")):
        answer = run("dpkg-query", "-S", candidate)
        if answer.returncode == 0:
            return answer.stdout.split(":")[0]
    raise AssertionError(f"no installed package ships {path}")


def test_unpacked_tree_has_the_desktop_files_where_a_desktop_looks(usr):
    for path in EXPECTED:
        assert (usr / path).is_file(), path
    assert list((usr / "share/ovservices/resources").glob("*.hff")), "no firmware image installed"

    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(usr / "share/applications/ovservices.desktop")
    desktop = entry["Desktop Entry"]
    assert (usr / "bin" / desktop["Exec"].split()[0]).is_file()
    assert (usr / f"share/icons/hicolor/scalable/apps/{desktop['Icon']}.svg").is_file()
    metainfo = usr / "share/metainfo/com.pellwick.OvServices.metainfo.xml"
    assert "<launchable type=\"desktop-id\">ovservices.desktop</launchable>" in metainfo.read_text()

    validate = run("desktop-file-validate", usr / "share/applications/ovservices.desktop")
    assert validate.returncode == 0 and not validate.stdout, validate.stdout
    validate = run("appstreamcli", "validate", "--no-net", metainfo)
    assert validate.returncode == 0, validate.stdout


def test_depends_names_every_linked_library_and_the_plugins_and_tools_used_at_run_time(package, usr):
    depends = depends_of(package)
    binary = usr / "bin/ovservices"
    needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.+)\]", run("readelf", "-d", binary, check=True).stdout)
    resolved = dict(re.findall(r"^\s*(\S+) => (/\S+)", run("ldd", binary, check=True).stdout, re.M))
    assert needed
    for library in needed:
        # The dynamic loader is listed by ldd under its own path, without "=>".
        path = resolved.get(library, f"*/{library}")
        assert owner_of(path) in depends, f"{library} ({path}) comes from {owner_of(path)}, not in Depends"

    # Loaded as plugins or run as commands, so dpkg-shlibdeps cannot see them.
    for path in ("*/qt6/plugins/platforms/libqxcb.so", "*/qt6/plugins/iconengines/libqsvgicon.so",
                 "/usr/bin/xdg-email"):
        assert owner_of(path) in depends, path


def test_unpacked_binary_runs_stripped_and_its_man_page_names_every_command_option_and_variable(package, usr):
    binary = usr / "bin/ovservices"
    version = run("dpkg-deb", "-f", package, "Version", check=True).stdout.strip()
    assert run(binary, "--version", check=True).stdout == f"ovservices {version}\n"
    assert ".symtab" not in run("readelf", "-S", binary, check=True).stdout
    page = gzip.decompress((usr / "share/man/man1/ovservices.1.gz").read_bytes()).decode()
    text = re.sub(r"\\f[BIRP]", "", page).replace("\\-", "-")
    help_text = run(binary, "--help", check=True).stdout
    commands = re.findall(r"^  ([a-z][a-z-]+)\b", help_text.split("Commands")[1].split("Options:")[0], re.M)
    options = re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", help_text)
    variables = {name for source in (ROOT / "src").rglob("*.cpp")
                 for name in re.findall(r"\"(OV_[A-Z_]+)\"", source.read_text())}
    assert commands and options and variables
    missing = [word for word in [*commands, *options, *variables] if not re.search(rf"(?<![\w-]){word}\b", text)]
    assert not missing, f"the man page does not mention {missing}"


@pytest.mark.skipif(shutil.which("lintian") is None, reason="lintian is not installed (./ov setup installs it)")
def test_lintian_finds_no_errors_or_warnings(package):
    report = run("lintian", package).stdout
    assert not re.search(r"^[EW]: ", report, re.M), report
