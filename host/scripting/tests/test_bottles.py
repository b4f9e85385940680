import os
import stat

import pytest

import tsbottles
import tsprefix
from conftest import make_bottle


def test_bottles_are_listed_the_users_own_first(folders):
    bottles, managed = folders
    make_bottle(bottles, "Work")
    make_bottle(bottles, ".default.partial-x1")      # still being made: hidden
    (bottles / "notes").mkdir()                      # a folder, no bottle
    (bottles / "Fresh").mkdir()
    (bottles / "Fresh" / "system.reg").write_text("")
    make_bottle(managed, "Work")                     # hidden by the user's own
    make_bottle(managed, "Published")
    assert [(name, managed_) for name, _, managed_ in tsbottles.all_bottles()] == [
        ("Fresh", False), ("Work", False), ("Published", True)]
    assert tsbottles.find_bottle("Work") == (str(bottles / "Work"), False)
    for name in ("", ".", "..", "a/b", ".default.partial-x1", "notes"):
        assert tsbottles.find_bottle(name) is None


def test_the_default_bottle(folders):
    bottles, _ = folders
    make_bottle(bottles, "Work")
    assert tsbottles.BottleQuery.defaultBottle() is None
    make_bottle(bottles, "default")
    assert tsbottles.BottleQuery.defaultBottle() == "default"
    assert tsbottles.BottleManagement.setBottle_isDefault_("Work", True)
    assert tsbottles.BottleQuery.defaultBottle() == "Work"


def test_missing_files_are_copied_and_nothing_is_replaced(tmp_path):
    template = tmp_path / "template"
    prefix = tmp_path / "prefix"
    (template / "drive_c/Program Files/Halcyon Imaging").mkdir(parents=True)
    loader = template / "drive_c/Program Files/Halcyon Imaging/SkiffApp64.exe"
    loader.write_bytes(b"MZ")
    loader.chmod(0o444)
    os.utime(loader, (1000000000, 1000000000))
    (template / "drive_c/Program Files/Halcyon Imaging/TillerConfig.txt").write_text("site")
    (prefix / "drive_c/Program Files/Halcyon Imaging").mkdir(parents=True)
    (prefix / "drive_c/Program Files/Halcyon Imaging/TillerConfig.txt").write_text("user's")

    tsbottles._copy_missing_files(str(template), str(prefix))
    copied = prefix / "drive_c/Program Files/Halcyon Imaging/SkiffApp64.exe"
    assert copied.read_bytes() == b"MZ"
    assert copied.stat().st_mode & stat.S_IWUSR, "the loader updates itself"
    assert copied.stat().st_mtime == 1000000000
    assert (prefix / "drive_c/Program Files/Halcyon Imaging/TillerConfig.txt").read_text() == "user's"
    assert not list(prefix.rglob("*.partial"))


def test_set_up_reports_what_failed(folders, monkeypatch):
    bottles, managed = folders
    assert tsbottles.set_up_bottle("default") == [
        False, "There is no bottle named \u201cdefault\u201d, and none to make it from."]
    make_bottle(managed, "default")

    def refuse(folder, name):
        raise tsprefix.SetUpError("wineboot ended with status 1.")
    monkeypatch.setattr(tsprefix, "make_prefix", refuse)
    assert tsbottles.set_up_bottle("default") == [
        False, "The bottle \u201cdefault\u201d could not be made: wineboot ended with status 1."]
    assert not (bottles / "default").exists()

    def make(folder, name):
        path = os.path.join(folder, "." + name + ".partial-test")
        os.makedirs(path)
        return path
    monkeypatch.setattr(tsprefix, "make_prefix", make)
    assert tsbottles.set_up_bottle("default") == [True, ""]
    assert (bottles / "default" / "drive_c").is_dir()
    assert not list(bottles.glob(".default.partial-*"))


@pytest.mark.parametrize("name", ["", "..", "a/b", ".hidden"])
def test_set_up_refuses_names_that_are_no_bottle_names(folders, name):
    assert tsbottles.set_up_bottle(name)[0] is False
