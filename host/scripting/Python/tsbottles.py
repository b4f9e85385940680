"""Bottles: Wine prefixes in the user's bottle folder and in the managed (published) bottle
folders. Each bottle keeps its own settings in a small file inside its folder:

    [Bottle]
    DisplayName = Work
    Default = yes
"""

import configparser
import glob
import os
import shutil
import threading

import tsassoc
import tsprefix
import tsregistry
import tsutils

_SECTION = "Bottle"
_settings_lock = threading.RLock()

# The bottle named "default" is the default bottle while no other is marked.
DEFAULT_BOTTLE = "default"


# --- where bottles are -------------------------------------------------------------------

def _settings_path(path):
    return os.path.join(path, tsutils.BOTTLE_SETTINGS_FILE)


def _read_settings(path):
    parser = configparser.ConfigParser()
    parser.optionxform = str
    try:
        parser.read(_settings_path(path), encoding="utf-8")
    except (configparser.Error, UnicodeDecodeError) as error:
        tsutils.log("The settings of the bottle %s cannot be read: %s" % (path, error))
    if not parser.has_section(_SECTION):
        parser.add_section(_SECTION)
    return parser


def _write_settings(path, parser):
    target = _settings_path(path)
    temporary = target + ".new"
    with open(temporary, "w", encoding="utf-8") as stream:
        parser.write(stream)
    os.replace(temporary, target)


def _valid_name(name):
    return bool(name) and name not in (".", "..") and "/" not in name and "\0" not in name


def _is_bottle(path):
    """A folder with our settings file, or a Wine prefix."""
    if not os.path.isdir(path):
        return False
    return any(os.path.exists(os.path.join(path, entry))
               for entry in (tsutils.BOTTLE_SETTINGS_FILE, "system.reg", "drive_c"))


def _folders():
    """(folder, managed) pairs, the user's bottle folder first."""
    return [(tsutils.bottle_dir(), False)] + [(folder, True) for folder in tsutils.managed_bottle_dirs()]


def all_bottles():
    """(name, path, managed) of every bottle; a name in an earlier folder hides a later one."""
    found = []
    seen = set()
    for folder, managed in _folders():
        try:
            entries = sorted(os.listdir(folder))
        except FileNotFoundError:
            continue
        except OSError as error:
            tsutils.log_os_error("Listing the bottles in %s" % folder, error)
            continue
        for name in entries:
            path = os.path.join(folder, name)
            # Hidden folders are no bottles (a bottle still being made is one).
            if name.startswith(".") or name in seen or not _is_bottle(path):
                continue
            seen.add(name)
            found.append((name, path, managed))
    return found


def find_bottle(name):
    """(path, managed) of the named bottle, or None."""
    if not _valid_name(name) or name.startswith("."):
        return None
    for folder, managed in _folders():
        path = os.path.join(folder, name)
        if _is_bottle(path):
            return path, managed
    return None


# --- making a bottle from a managed one ---------------------------------------------------

def _managed_template(name):
    for folder in tsutils.managed_bottle_dirs():
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            return path
    return None


def _copy_missing_files(template, prefix):
    """Copies the template's drive_c files that the prefix lacks; what is there already (the
    loader's own settings, its log, the client it fetched) is never replaced. Each file
    arrives whole under its name, so an interrupted copy is simply made again."""
    source_root = os.path.join(template, "drive_c")
    target_root = os.path.join(prefix, "drive_c")
    for folder, _, files in os.walk(source_root):
        target_folder = os.path.join(target_root, os.path.relpath(folder, source_root))
        os.makedirs(target_folder, exist_ok=True)
        for name in files:
            target = os.path.join(target_folder, name)
            if os.path.lexists(target):
                continue
            source = os.path.join(folder, name)
            partial = target + ".partial"
            shutil.copyfile(source, partial)
            info = os.stat(source)
            # The product's files may be read-only; the bottle's copies are the user's own.
            os.chmod(partial, (info.st_mode & 0o777) | 0o600)
            os.utime(partial, ns=(info.st_atime_ns, info.st_mtime_ns))
            os.replace(partial, target)


def _remove_leftovers(folder, name):
    """Bottles that an interrupted start left half-made."""
    for path in glob.glob(os.path.join(glob.escape(folder), "." + glob.escape(name) + ".partial-*")):
        if not tsprefix.prefix_running(path):
            shutil.rmtree(path, ignore_errors=True)


def set_up_bottle(name):
    """Makes the user's bottle of that name from the managed bottle of the same name, or,
    when it exists, adds the managed files it lacks. A new bottle appears under its name
    only once it is complete. [True, ""], or [False, what failed]."""
    if not _valid_name(name) or name.startswith("."):
        return [False, "\u201c%s\u201d is not a bottle name." % (name,)]
    folder = tsutils.bottle_dir()
    target = os.path.join(folder, name)
    template = _managed_template(name)
    try:
        if os.path.isdir(target):
            if template is not None:
                _copy_missing_files(template, target)
            return [True, ""]
        if template is None:
            return [False, "There is no bottle named \u201c%s\u201d, and none to make it from."
                    % (name,)]
        os.makedirs(folder, exist_ok=True)
        _remove_leftovers(folder, name)
        partial = tsprefix.make_prefix(folder, name)
        try:
            _copy_missing_files(template, partial)
            os.rename(partial, target)
        except OSError:
            shutil.rmtree(partial, ignore_errors=True)
            # Another start of the host made it meanwhile.
            if os.path.isdir(target):
                return [True, ""]
            raise
    except tsprefix.SetUpError as error:
        return [False, "The bottle \u201c%s\u201d could not be made: %s" % (name, error)]
    except OSError as error:
        reason = error.strerror or str(error)
        if error.filename:
            reason = "%s: %s" % (error.filename, reason)
        return [False, "The bottle \u201c%s\u201d could not be set up: %s." % (name, reason)]
    return [True, ""]


# --- the classes the host uses -----------------------------------------------------------

class BottleQuery(object):
    @classmethod
    def defaultBottle(cls):
        with _settings_lock:
            bottles = all_bottles()
            for name, path, _ in bottles:
                if _read_settings(path)[_SECTION].getboolean("Default", fallback=False):
                    return name
        if any(name == DEFAULT_BOTTLE for name, _, _ in bottles):
            return DEFAULT_BOTTLE
        return None

    @classmethod
    def bottles(cls):
        return [name for name, _, _ in all_bottles()]


class BottleManagement(object):
    @classmethod
    def setUpBottleFromManagedBottle_(cls, name):
        return set_up_bottle(name)

    @classmethod
    def setBottle_isDefault_(cls, name, is_default):
        found = find_bottle(name)
        if found is None:
            return False
        with _settings_lock:
            try:
                if is_default:
                    # One default at a time.
                    for other, path, managed in all_bottles():
                        if other != name and not managed:
                            parser = _read_settings(path)
                            if parser[_SECTION].getboolean("Default", fallback=False):
                                parser.remove_option(_SECTION, "Default")
                                _write_settings(path, parser)
                parser = _read_settings(found[0])
                if is_default:
                    parser.set(_SECTION, "Default", "yes")
                else:
                    parser.remove_option(_SECTION, "Default")
                _write_settings(found[0], parser)
            except OSError as error:
                tsutils.log_os_error("Marking the default bottle %s" % name, error)
                return False
        return True

    @classmethod
    def deleteBottle_(cls, name):
        found = find_bottle(name)
        if found is None:
            return [False, "There is no bottle named \u201c%s\u201d." % (name,)]
        path, managed = found
        if managed:
            return [False, "The bottle \u201c%s\u201d is managed and cannot be deleted." % (name,)]
        if not tsprefix.kill_prefix(path):
            return [False, "The programs of the bottle \u201c%s\u201d could not be ended." % (name,)]
        try:
            shutil.rmtree(path)
        except OSError as error:
            return [False, "The bottle \u201c%s\u201d could not be deleted: %s" % (name, error.strerror or error)]
        return [True, ""]

    @classmethod
    def wineEjectForBottle_(cls, name):
        found = find_bottle(name)
        if found is None:
            return False
        return tsprefix.run_wine(found[0], [tsutils.wine_program("wine"), "eject"],
                                 tsprefix.QUIT_TIMEOUT) == 0


class BottleWrapper(object):
    """One bottle; its key-value properties are attributes."""

    def __init__(self, name, path, managed):
        settings = _read_settings(path)[_SECTION]
        self.name = name
        self.wine_prefix = path
        self.display_name = settings.get("DisplayName", fallback="") or name
        self.is_default = settings.getboolean("Default", fallback=False)
        self.is_managed = managed
        self.system_drive = os.path.join(path, "drive_c")
        self.is_csmt_disabled = False
        self.is_high_resolution = False
        self.installed_applications = []
        self.status = ""
        self.loading = set()

    @classmethod
    def initWithName_(cls, name):
        found = find_bottle(name)
        if found is None:
            return None
        try:
            return cls(name, found[0], found[1])
        except OSError as error:
            tsutils.log_os_error("Opening the bottle %s" % name, error)
            return None

    @property
    def up_to_date(self):
        # A prefix that Wine has not set up yet needs its update.
        return any(os.path.exists(os.path.join(self.wine_prefix, entry))
                   for entry in (".update-timestamp", "system.reg"))

    @property
    def is_running(self):
        return tsprefix.prefix_running(self.wine_prefix)

    @property
    def can_run_commands(self):
        return os.path.isdir(self.wine_prefix) and os.access(self.wine_prefix, os.W_OK)

    # Information loaders: pre and post run on the main thread, load on a worker.
    def preLoadIsCSMTDisabled(self):
        self.loading.add("csmt")

    def loadIsCSMTDisabled(self):
        value = tsregistry.registry_values(self.wine_prefix, "Software\\Wine\\Direct3D").get("csmt", "")
        self.is_csmt_disabled = value.strip().lower() == "dword:00000000"

    def postLoadIsCSMTDisabled(self):
        self.loading.discard("csmt")

    def preLoadIsHighResolution(self):
        self.loading.add("high_resolution")

    def loadIsHighResolution(self):
        value = tsregistry.registry_values(self.wine_prefix, "Software\\Wine\\Mac Driver").get("retinamode", "")
        self.is_high_resolution = value.strip().strip('"').lower() in ("y", "yes", "true", "1")

    def postLoadIsHighResolution(self):
        self.loading.discard("high_resolution")

    def preLoadInstalledApplications(self):
        self.loading.add("applications")

    def loadInstalledApplications(self):
        self.installed_applications = tsregistry.start_menu_programs(self.wine_prefix)

    def postLoadInstalledApplications(self):
        self.loading.discard("applications")

    # The association database of the Open panel, written anew when the registry changed.
    def refreshAssociationDatabase(self):
        return tsassoc.refresh(self.wine_prefix, self.name)

    @classmethod
    def fileTypesInAssociationData_forBottleName_(cls, data, name):
        return tsassoc.file_types(data, name)

    # Shutdown steps: pre and post on the main thread, do on the shutdown thread.
    def preQuit(self):
        self.status = "Shutting down"

    def doQuit(self):
        return tsprefix.quit_prefix(self.wine_prefix)

    def postQuit_(self, ended):
        self.status = "" if ended else "Running"

    def preForceQuit(self):
        self.status = "Forcing shutdown"

    def doForceQuit(self):
        return tsprefix.kill_prefix(self.wine_prefix)

    def postForceQuit_(self, ended):
        self.status = "" if ended else "Running"

    def cancelShutdown(self):
        self.status = "Running" if tsprefix.prefix_running(self.wine_prefix) else ""
