"""Reading what a bottle's Wine prefix records: registry values and Start menu programs."""

import os

import tsutils


def _unescape(text):
    """The text that a registry file's escaped text stands for."""
    result = []
    characters = iter(text)
    for character in characters:
        if character == "\\":
            following = next(characters, "")
            result.append({"n": "\n", "0": "\0"}.get(following, following))
        else:
            result.append(character)
    return "".join(result)


def _entries(path):
    """(key name in lower case, entry line) for each value of a registry file."""
    key = None
    with open(path, encoding="utf-8", errors="replace") as stream:
        for line in stream:
            line = line.strip()
            if line.startswith("["):
                key = _unescape(line[1:line.find("]")]).lower()
            elif key is not None and line.startswith(('"', "@=")) and "=" in line:
                yield key, line


def _string_value(raw):
    """The text of a string value ("...", str(2):"..."), or None for other types."""
    raw = raw.strip()
    if raw.startswith("str(2):") or raw.startswith("str(7):"):
        raw = raw[7:]
    if len(raw) >= 2 and raw.startswith('"') and raw.endswith('"'):
        return _unescape(raw[1:-1])
    return None


def registry_values(prefix, key):
    """Values of a key in the prefix's user registry file, as {lower-case name: raw text}."""
    wanted = key.lower()
    values = {}
    try:
        for name, line in _entries(os.path.join(prefix, "user.reg")):
            if name == wanted and line.startswith('"'):
                entry, _, value = line.partition("=")
                values[entry.strip('"').lower()] = value
    except FileNotFoundError:
        pass
    except OSError as error:
        tsutils.log_os_error("Reading the registry of %s" % prefix, error)
    return values


def default_strings(path, below):
    """{key below the lower-case key prefix, in lower case: its default string} of a registry
    file."""
    defaults = {}
    for name, line in _entries(path):
        if name.startswith(below) and line.startswith("@="):
            value = _string_value(line[2:])
            if value is not None:
                defaults[name[len(below):]] = value
    return defaults


def start_menu_programs(prefix):
    """Names of the shortcuts in the prefix's Start menus, sorted without regard to case."""
    drive = os.path.join(prefix, "drive_c")
    folders = [os.path.join(drive, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs")]
    users = os.path.join(drive, "users")
    try:
        for user in sorted(os.listdir(users)):
            folders.append(os.path.join(users, user, "AppData", "Roaming", "Microsoft", "Windows",
                                        "Start Menu", "Programs"))
    except FileNotFoundError:
        pass
    except OSError as error:
        tsutils.log_os_error("Listing the users of %s" % prefix, error)
    names = set()
    for folder in folders:
        for _, _, files in os.walk(folder):
            names.update(entry[:-4] for entry in files if entry.lower().endswith(".lnk"))
    return sorted(names, key=str.lower)
