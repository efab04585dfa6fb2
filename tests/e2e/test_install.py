"""What `cmake --install` and `./ov package` deliver: the files where a Linux desktop looks for them,
a binary that runs from the installed layout, and a Debian package that depends on Debian's names."""

import configparser
import subprocess

from processes import BUILD, built  # noqa: F401

EXPECTED = [
    "bin/ovservices",
    "share/applications/ovservices.desktop",
    "share/metainfo/com.pellwick.OvServices.metainfo.xml",
    "share/icons/hicolor/scalable/apps/ovservices.svg",
    "share/ovservices/translations/ovservices_en.ts",
]


def test_installed_layout(built, tmp_path):
    prefix = tmp_path / "usr"
    subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(prefix)], check=True, capture_output=True)
    for path in EXPECTED:
        assert (prefix / path).is_file(), path
    assert list((prefix / "share/ovservices/resources").glob("*.hff")), "no firmware image installed"

    entry = configparser.ConfigParser(interpolation=None)
    entry.optionxform = str
    entry.read(prefix / "share/applications/ovservices.desktop")
    desktop = entry["Desktop Entry"]
    assert (prefix / "bin" / desktop["Exec"].split()[0]).is_file()
    assert desktop["Icon"] == "ovservices"
    metainfo = (prefix / "share/metainfo/com.pellwick.OvServices.metainfo.xml").read_text()
    assert "<launchable type=\"desktop-id\">ovservices.desktop</launchable>" in metainfo

    version = subprocess.run([str(prefix / "bin/ovservices"), "--version"], capture_output=True, text=True)
    assert version.returncode == 0 and version.stdout.startswith("ovservices ")


def test_debian_package(built, tmp_path):
    subprocess.run(["cpack", "-G", "DEB", "--config", str(BUILD / "CPackConfig.cmake"), "-B", str(tmp_path)],
                   check=True, capture_output=True, cwd=BUILD)
    packages = list(tmp_path.glob("ovservices_*.deb"))
    assert len(packages) == 1
    fields = subprocess.run(["dpkg-deb", "-f", str(packages[0]), "Package", "Depends"], capture_output=True,
                            text=True, check=True).stdout
    assert "Package: ovservices" in fields
    for dependency in ("libqt6widgets6", "libqt6svg6", "qt6-qpa-plugins", "libplist3", "libminizip1", "libssl3"):
        assert dependency in fields
    contents = subprocess.run(["dpkg-deb", "-c", str(packages[0])], capture_output=True, text=True,
                              check=True).stdout
    for path in EXPECTED:
        assert "./usr/" + path in contents, path
