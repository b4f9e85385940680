import tsregistry

USER_REG = """WINE REGISTRY Version 2

[Software\\\\Wine\\\\Direct3D] 1700000000
"csmt"=dword:00000000
"Other"="x=y"

[Software\\\\Wine\\\\Mac Driver] 1700000000
"RetinaMode"="y"
"""


def test_values_of_one_key(tmp_path):
    (tmp_path / "user.reg").write_text(USER_REG)
    assert tsregistry.registry_values(str(tmp_path), "Software\\Wine\\Direct3D") == {
        "csmt": "dword:00000000", "other": '"x=y"'}
    assert tsregistry.registry_values(str(tmp_path), "software\\wine\\MAC DRIVER") == {
        "retinamode": '"y"'}
    assert tsregistry.registry_values(str(tmp_path), "Software\\Nothing") == {}


def test_no_registry_yet(tmp_path):
    assert tsregistry.registry_values(str(tmp_path), "Software\\Wine") == {}


def test_start_menu_programs(tmp_path):
    common = tmp_path / "drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Halcyon"
    own = tmp_path / "drive_c/users/me/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
    common.mkdir(parents=True)
    own.mkdir(parents=True)
    (common / "Workstation.lnk").write_text("L")
    (common / "readme.txt").write_text("not a shortcut")
    (own / "notes.LNK").write_text("L")
    (own / "Workstation.lnk").write_text("L")
    assert tsregistry.start_menu_programs(str(tmp_path)) == ["notes", "Workstation"]
