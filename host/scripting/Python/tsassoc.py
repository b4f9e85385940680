"""The association database of a bottle: which file extensions the bottle's programs open,
taken from the open commands of the bottle's registry and kept as a property list at
desktopdata/tsassoc/tsassoc_macosx.plist inside the bottle, for the host's Open panel.

The root holds one dictionary per bottle:

    {"<bottle>": {"Description": "<bottle>",
                  "Extension Associations/": {".txt/txtfile": {"Extension": "txt",
                                                               "Program": "txtfile",
                                                               "Command": "..."}}}}
"""

import os
import plistlib
import tempfile

import tsregistry
import tsutils

DATABASE = os.path.join("desktopdata", "tsassoc", "tsassoc_macosx.plist")
_CLASSES = "software\\classes\\"
_OPEN_COMMAND = "\\shell\\open\\command"


def database_path(prefix):
    return os.path.join(prefix, DATABASE)


def associations(prefix):
    """{".ext/program": entry} of every extension that has an open command; the user's
    registry wins over the machine's, as in Windows."""
    defaults = {}
    for name in ("system.reg", "user.reg"):
        try:
            defaults.update(tsregistry.default_strings(os.path.join(prefix, name), _CLASSES))
        except FileNotFoundError:
            pass
    found = {}
    for key, program in sorted(defaults.items()):
        if not key.startswith(".") or "\\" in key or len(key) < 2:
            continue
        command = defaults.get(key + _OPEN_COMMAND) or defaults.get(program.lower() + _OPEN_COMMAND)
        if command:
            found["%s/%s" % (key, program)] = {"Extension": key[1:], "Program": program,
                                               "Command": command}
    return found


def _registry_time(prefix):
    times = []
    for name in ("system.reg", "user.reg"):
        try:
            times.append(os.stat(os.path.join(prefix, name)).st_mtime_ns)
        except FileNotFoundError:
            pass
    return max(times) if times else None


def refresh(prefix, name):
    """Writes the bottle's database when it is missing or older than the registry; whether it
    is up to date afterwards."""
    registry_time = _registry_time(prefix)
    if registry_time is None:
        return False
    path = database_path(prefix)
    try:
        if os.stat(path).st_mtime_ns >= registry_time:
            return True
    except (FileNotFoundError, NotADirectoryError):
        pass
    except OSError as error:
        tsutils.log_os_error("Reading the association database of %s" % name, error)
        return False
    root = {name: {"Description": name, "Extension Associations/": associations(prefix)}}
    folder = os.path.dirname(path)
    try:
        os.makedirs(folder, exist_ok=True)
        # Written whole under a temporary name, so a reader never sees half a file.
        handle, temporary = tempfile.mkstemp(prefix=".tsassoc.", dir=folder)
        try:
            with os.fdopen(handle, "wb") as stream:
                plistlib.dump(root, stream)
            os.replace(temporary, path)
        except BaseException:
            os.unlink(temporary)
            raise
    except OSError as error:
        tsutils.log_os_error("Writing the association database of %s" % name, error)
        return False
    return True


def file_types(data, bottle_name):
    """[error text or None, extensions] of a database's bytes for the named bottle: the
    "Extension" of each association, else its key's first component without the dot."""
    try:
        root = plistlib.loads(bytes(data))
    except Exception as error:  # plistlib raises several kinds for bad input
        return [str(error) or type(error).__name__, []]
    types = []
    if not isinstance(root, dict):
        return [None, types]
    wanted = (bottle_name or "").casefold()
    for value in root.values():
        if not isinstance(value, dict):
            continue
        description = value.get("Description", bottle_name or "")
        if not isinstance(description, str) or description.casefold() != wanted:
            continue
        entries = value.get("Extension Associations/")
        if not isinstance(entries, dict):
            continue
        for key, entry in entries.items():
            extension = entry.get("Extension") if isinstance(entry, dict) else None
            if isinstance(extension, str):
                types.append(extension)
            elif isinstance(key, str) and len(key.split("/")[0]) > 1:
                # A first component without an extension gives nothing.
                types.append(key.split("/")[0][1:])
    return [None, types]
