import os
import subprocess
import sys

import tsprefix


def test_a_prefix_without_a_server_is_not_running(tmp_path):
    assert tsprefix.prefix_running(str(tmp_path)) is False
    assert tsprefix.prefix_running(str(tmp_path / "missing")) is False


def test_the_server_folder_follows_the_prefixs_name_file(tmp_path):
    info = os.stat(tmp_path)
    suffix = "server-%x-%x" % (info.st_dev, info.st_ino)
    assert tsprefix.server_folder(str(tmp_path)) == "/tmp/.wine-%u/%s" % (os.getuid(), suffix)
    (tmp_path / "wineserver").write_text("wine-AbC123\n")
    assert tsprefix.server_folder(str(tmp_path)) == "/tmp/wine-AbC123/" + suffix
    (tmp_path / "wineserver").write_text("../escape")
    assert tsprefix.server_folder(str(tmp_path)).startswith("/tmp/.wine-")


def test_processes_of_a_prefix_are_found_by_their_environment(tmp_path):
    environment = dict(os.environ, WINEPREFIX=str(tmp_path))
    child = subprocess.Popen([sys.executable, "-c", "import time; time.sleep(30)"],
                             env=environment)
    try:
        assert child.pid in tsprefix.prefix_processes(str(tmp_path))
        assert child.pid not in tsprefix.prefix_processes(str(tmp_path / "other"))
    finally:
        child.kill()
        child.wait()


def test_this_process_runs_no_windows_program():
    assert tsprefix.host_runs_wine() is False
