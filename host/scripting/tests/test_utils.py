import tsutils


def test_folders_follow_the_environment(monkeypatch, tmp_path):
    monkeypatch.setenv("XDG_DATA_HOME", str(tmp_path))
    monkeypatch.delenv("TS_BOTTLE_PATH", raising=False)
    assert tsutils.app_support_dir() == str(tmp_path / "Halcyon Imaging")
    assert tsutils.bottle_dir() == str(tmp_path / "Halcyon Imaging" / "Bottles")
    monkeypatch.setenv("TS_BOTTLE_PATH", "/srv/bottles")
    assert tsutils.bottle_dir() == "/srv/bottles"
    monkeypatch.setenv("XDG_DATA_HOME", "relative/is/ignored")
    monkeypatch.setenv("HOME", str(tmp_path))
    assert tsutils.app_support_dir() == str(tmp_path / ".local/share/Halcyon Imaging")
    monkeypatch.setenv("TS_MANAGED_BOTTLE_PATH", "/a::/b:")
    assert tsutils.managed_bottle_dirs() == ["/a", "/b"]


def test_wine_programs_run_quietly_without_the_hosts_python(monkeypatch):
    monkeypatch.setenv("PYTHONPATH", "/host/only")
    environment = tsutils.wine_environment("/bottles/Work")
    assert environment["WINEPREFIX"] == "/bottles/Work"
    assert environment["WINEDEBUG"] == "-all"
    assert "winemenubuilder.exe=d" in environment["WINEDLLOVERRIDES"]
    assert "PYTHONPATH" not in environment
