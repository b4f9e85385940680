import os
import plistlib

import pytest

import tsassoc

SYSTEM_REG = r"""WINE REGISTRY Version 2
;; All keys relative to \\Machine

[Software\\Classes\\.txt] 1700000000
#time=1d9
@="txtfile"
"Content Type"="text/plain"

[Software\\Classes\\txtfile\\shell\\open\\command] 1700000000
@="\"C:\\windows\\system32\\notepad.exe\" \"%1\""

[Software\\Classes\\.hlp] 1700000000
@="hlpfile"

[Software\\Classes\\.dcm] 1700000000
@="DicomFile"

[Software\\Classes\\.dcm\\shell\\open\\command] 1700000000
@=str(2):"C:\\Viewer\\view.exe \"%1\""

[Software\\Classes\\.bin\\OpenWithProgids] 1700000000
"binfile"=""

[Software\\Wine\\.x] 1700000000
@="xfile"
"""

USER_REG = r"""WINE REGISTRY Version 2

[Software\\Classes\\.hlp] 1700000001
@="userhelp"

[Software\\Classes\\UserHelp\\shell\\open\\command] 1700000001
@="C:\\help.exe %1"
"""


@pytest.fixture
def prefix(tmp_path):
    (tmp_path / "system.reg").write_text(SYSTEM_REG)
    return tmp_path


def test_associations_are_the_extensions_with_an_open_command(prefix):
    assert tsassoc.associations(str(prefix)) == {
        ".dcm/DicomFile": {"Extension": "dcm", "Program": "DicomFile",
                           "Command": 'C:\\Viewer\\view.exe "%1"'},
        ".txt/txtfile": {"Extension": "txt", "Program": "txtfile",
                         "Command": '"C:\\windows\\system32\\notepad.exe" "%1"'},
    }
    # The user's registry wins, and program names are found in any case.
    (prefix / "user.reg").write_text(USER_REG)
    found = tsassoc.associations(str(prefix))
    assert sorted(found) == [".dcm/DicomFile", ".hlp/userhelp", ".txt/txtfile"]
    assert found[".hlp/userhelp"]["Command"] == "C:\\help.exe %1"


def test_no_registry_no_database(tmp_path):
    assert tsassoc.associations(str(tmp_path)) == {}
    assert tsassoc.refresh(str(tmp_path), "Empty") is False
    assert not os.path.exists(tsassoc.database_path(str(tmp_path)))


def test_the_database_is_written_when_missing_or_older_than_the_registry(prefix):
    path = tsassoc.database_path(str(prefix))
    assert tsassoc.refresh(str(prefix), "Work")
    with open(path, "rb") as stream:
        root = plistlib.load(stream)
    assert list(root) == ["Work"]
    assert root["Work"]["Description"] == "Work"
    assert sorted(root["Work"]["Extension Associations/"]) == [".dcm/DicomFile", ".txt/txtfile"]

    # Newer than the registry: kept as it is.
    os.utime(path, ns=(2_000_000_000 * 10**9,) * 2)
    with open(path, "wb") as stream:
        stream.write(b"kept")
    os.utime(path, ns=(2_000_000_000 * 10**9,) * 2)
    assert tsassoc.refresh(str(prefix), "Work")
    assert open(path, "rb").read() == b"kept"

    # The registry changed since: written anew, and nothing else is left in its folder.
    (prefix / "user.reg").write_text(USER_REG)
    os.utime(prefix / "user.reg", ns=(2_100_000_000 * 10**9,) * 2)
    assert tsassoc.refresh(str(prefix), "Work")
    with open(path, "rb") as stream:
        assert ".hlp/userhelp" in plistlib.load(stream)["Work"]["Extension Associations/"]
    assert os.listdir(os.path.dirname(path)) == ["tsassoc_macosx.plist"]


def test_a_database_that_cannot_be_written_is_logged(prefix, capsys):
    (prefix / "desktopdata").write_text("a file where the folder belongs")
    assert tsassoc.refresh(str(prefix), "Work") is False
    assert "Writing the association database of Work" in capsys.readouterr().err


@pytest.mark.parametrize("data, types", [
    (plistlib.dumps({"Work": {"Description": "work", "Extension Associations/": {
        ".a/x": {}, ".b/y": {"Extension": "bee"}, "/empty": {}, "./dot": {}, ".a/z": "text"}}},
        sort_keys=False),
     ["a", "bee", "a"]),
    (plistlib.dumps({"Other": {"Description": "Other", "Extension Associations/": {".o/x": {}}},
                     "Plain": {"Extension Associations/": {".p/x": {}}},
                     "Broken": {"Description": 5, "Extension Associations/": {".q/x": {}}},
                     "Odd": "not a dictionary"}),
     ["p"]),
    (plistlib.dumps(["not", "a", "dictionary"]), []),
    (plistlib.dumps({"Work": {"Extension Associations/": {".bin/x": {}}}}, fmt=plistlib.FMT_BINARY),
     ["bin"]),
])
def test_file_types_of_a_database(data, types):
    assert tsassoc.file_types(data, "Work") == [None, types]


@pytest.mark.parametrize("data", [b"", b"<plist><dict><key>open", b"\x00\x01binary junk"])
def test_a_malformed_database_tells_why(data):
    error, types = tsassoc.file_types(data, "Work")
    assert error and types == []
