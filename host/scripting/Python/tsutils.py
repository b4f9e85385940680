"""Shared helpers of the scripting layer: where the product and its bottles live, the
system's Wine programs, and the log. The host sets TS_ROOT to the product root before any
script runs; the product's name and version are the host's own."""

import os
import shutil
import sys
import syslog

try:
    import tsbridge
except ImportError:  # outside the host (the layer's own tests)
    tsbridge = None

TS_ROOT = None

PRODUCT_NAME = tsbridge.product_display_name() if tsbridge else "Halcyon Imaging"
PRODUCT_VERSION = tsbridge.product_version() if tsbridge else "unknown"

# The name of the settings file each bottle keeps in its own folder.
BOTTLE_SETTINGS_FILE = "halcyon_bottle.conf"


def log(message):
    """One line to the system log and, as the host's own log does, to standard error."""
    syslog.syslog(syslog.LOG_NOTICE, message)
    sys.stderr.write(message.rstrip("\n") + "\n")


def log_os_error(what, error):
    """An OSError that the layer goes on after."""
    log("%s: %s" % (what, error))


def app_support_dir():
    """The user's data folder for the product (the host's Application Support folder)."""
    data_home = os.environ.get("XDG_DATA_HOME") or ""
    if not os.path.isabs(data_home):
        data_home = os.path.join(os.path.expanduser("~"), ".local", "share")
    return os.path.join(data_home, PRODUCT_NAME)


def bottle_dir():
    """The folder of the user's bottles: TS_BOTTLE_PATH as the host sets it, else the default."""
    return os.environ.get("TS_BOTTLE_PATH") or os.path.join(app_support_dir(), "Bottles")


def managed_bottle_dirs():
    """Folders of published (managed) bottles, from TS_MANAGED_BOTTLE_PATH."""
    value = os.environ.get("TS_MANAGED_BOTTLE_PATH") or ""
    return [folder for folder in value.split(":") if folder]


def wine_program(name):
    """The system's Wine program of that name ("wine", "wineboot", "wineserver")."""
    found = shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/bin:/bin")
    return found or os.path.join("/usr/bin", name)


def wine_environment(prefix):
    """The environment of a Wine program run in the given prefix, without the host's own
    interpreter settings, without debug output and without desktop menu entries."""
    environment = dict(os.environ)
    environment["WINEPREFIX"] = prefix
    environment["WINEDEBUG"] = "-all"
    environment["WINEDLLOVERRIDES"] = "winemenubuilder.exe=d"
    environment.pop("PYTHONPATH", None)
    return environment
