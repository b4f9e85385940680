"""Shared helpers of the scripting layer: where the product and its bottles live, and the
system's Wine programs. The host sets TS_ROOT to the product root before any script runs."""

import os
import shutil

TS_ROOT = None

PRODUCT_NAME = "Halcyon Imaging"
PRODUCT_VERSION = "18.5.0.31792local"

# The name of the settings file each bottle keeps in its own folder.
BOTTLE_SETTINGS_FILE = "halcyon_bottle.conf"


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
    interpreter settings."""
    environment = dict(os.environ)
    environment["WINEPREFIX"] = prefix
    environment.pop("PYTHONPATH", None)
    return environment
