"""The scripting layer's modules, importable outside the host; every test has bottle folders
of its own."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "Python"))

import pytest  # noqa: E402


@pytest.fixture
def folders(tmp_path, monkeypatch):
    bottles = tmp_path / "Bottles"
    managed = tmp_path / "Managed"
    bottles.mkdir()
    managed.mkdir()
    monkeypatch.setenv("TS_BOTTLE_PATH", str(bottles))
    monkeypatch.setenv("TS_MANAGED_BOTTLE_PATH", "%s:%s" % (tmp_path / "missing", managed))
    return bottles, managed


def make_bottle(root, name, settings=""):
    path = root / name
    (path / "drive_c").mkdir(parents=True)
    (path / "halcyon_bottle.conf").write_text("[Bottle]\n" + settings)
    return path
