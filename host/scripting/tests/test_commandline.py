import pytest

import tscommandline


@pytest.mark.parametrize("line, words", [
    ("", []),
    ("a b\tc", ["a", "b", "c"]),
    ('"C:\\Program Files\\x.exe" -f', ["C:\\Program Files\\x.exe", "-f"]),
    ('a"b c"d', ["ab cd"]),
    ('\\\\"x', ['\\x']),          # 2n backslashes before a quote: n, and the quote groups
    ('\\\\\\"x', ['\\"x']),       # 2n+1: n and a literal quote
    ('a\\b', ["a\\b"]),           # other backslashes are literal
    ('"a""b"', ['a"b']),          # a doubled quote inside quotes
    ('"open', ["open"]),          # an unterminated quote runs to the end
])
def test_windows_command_line_rules(line, words):
    assert tscommandline.cmd_line_to_argv(line) == words


@pytest.mark.parametrize("path, folder", [
    ("", ""),
    ("C:\\Windows\\notepad.exe", "C:\\Windows"),
    ("C:\\notepad.exe", "C:\\"),
    ("C:notepad.exe", "C:"),
    ("/usr/bin/wine", "/usr/bin"),
    ("/wine", "/"),
    ("wine", ""),
    ("C:\\dir\\\\", "C:\\"),
])
def test_directory_part(path, folder):
    assert tscommandline.dirname(path) == folder
