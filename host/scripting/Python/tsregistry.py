"""Reading what a bottle's Wine prefix records: registry values and Start menu programs."""

import os

import tsutils


def registry_values(prefix, key):
    """Values of a key in the prefix's user registry file, as {lower-case name: raw text}."""
    header = "[" + key.replace("\\", "\\\\").lower() + "]"
    values = {}
    try:
        with open(os.path.join(prefix, "user.reg"), encoding="utf-8", errors="replace") as stream:
            inside = False
            for line in stream:
                line = line.strip()
                if line.startswith("["):
                    inside = line.lower().split("]")[0] + "]" == header
                    continue
                if inside and line.startswith('"') and "=" in line:
                    name, _, value = line.partition("=")
                    values[name.strip('"').lower()] = value
    except FileNotFoundError:
        pass
    except OSError as error:
        tsutils.log_os_error("Reading the registry of %s" % prefix, error)
    return values


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
