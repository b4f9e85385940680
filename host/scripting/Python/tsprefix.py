"""Controlling a bottle's Wine prefix with Wine's own tools: whether its programs run, making
a new prefix, ending its session politely, and killing its programs. Every wait is bounded."""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

import tsutils

# A polite shutdown ends within this many seconds, or counts as refused.
QUIT_TIMEOUT = 10
# Killing the programs of a bottle takes at most this long.
FORCE_QUIT_TIMEOUT = 10
# Making a new prefix may take Wine a while.
SETUP_TIMEOUT = 300
# Probing the prefix's Wine server.
PROBE_TIMEOUT = 1.0


class SetUpError(Exception):
    pass


def server_folder(prefix):
    """Where Wine keeps the server socket of the prefix: Debian's Wine names its folder in the
    prefix's "wineserver" file; Wine's own default is /tmp/.wine-<uid>."""
    info = os.stat(prefix)
    base = "/tmp/.wine-%u" % os.getuid()
    try:
        with open(os.path.join(prefix, "wineserver"), encoding="utf-8") as stream:
            name = stream.read().strip()
        if name and "/" not in name and name not in (".", ".."):
            base = os.path.join("/tmp", name)
    except FileNotFoundError:
        pass
    except OSError as error:
        tsutils.log_os_error("Reading the Wine server name of %s" % prefix, error)
    return os.path.join(base, "server-%x-%x" % (info.st_dev, info.st_ino))


def prefix_running(prefix):
    """Whether a Wine server (and so possibly Wine programs) runs for the prefix."""
    try:
        path = os.path.join(server_folder(prefix), "socket")
    except OSError:
        return False  # no prefix, no server
    if not os.path.exists(path):
        return False
    connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    connection.settimeout(PROBE_TIMEOUT)
    try:
        connection.connect(path)
        return True
    except OSError:
        return False  # nothing listens: the server has gone
    finally:
        connection.close()


def prefix_processes(prefix):
    """Process ids of the programs started in the prefix (their WINEPREFIX names it)."""
    wanted = ("WINEPREFIX=" + os.path.abspath(prefix)).encode()
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as stream:
                if wanted in stream.read().split(b"\0"):
                    found.append(int(entry))
        except OSError:
            continue  # gone meanwhile, or another user's
    return found


def host_runs_wine():
    """Whether a Windows program runs inside this process (the host's in-process loader)."""
    try:
        with open("/proc/self/maps", encoding="utf-8", errors="replace") as stream:
            return any(line.rstrip().endswith(("/libwine.so.1", "/ntdll.so")) for line in stream)
    except OSError as error:
        tsutils.log_os_error("Reading this process's libraries", error)
        return False


def run_wine(prefix, arguments, timeout, environment=None):
    """Runs a Wine program of the system in the prefix; its exit status, or None when it did
    not end in time. Its output goes nowhere, so no background Wine process holds the
    caller's pipes."""
    try:
        completed = subprocess.run(arguments, env=environment or tsutils.wine_environment(prefix),
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, timeout=timeout)
        return completed.returncode
    except subprocess.TimeoutExpired:
        return None
    except OSError as error:
        tsutils.log_os_error("Running %s" % arguments[0], error)
        return -1


def wait_until_ended(prefix, timeout):
    """Waits, at most timeout seconds, for the prefix's Wine server to end."""
    deadline = time.monotonic() + timeout
    run_wine(prefix, [tsutils.wine_program("wineserver"), "--wait"], timeout)
    while prefix_running(prefix):
        if time.monotonic() >= deadline:
            return False
        time.sleep(0.1)
    return True


def quit_prefix(prefix, timeout=QUIT_TIMEOUT):
    """Ends the session of the prefix the way logging off does: every program is asked to
    end, and one may refuse. True when the prefix's Wine server has gone within the bound;
    False when a program refused or the prefix did not end in time."""
    if not prefix_running(prefix):
        return True
    deadline = time.monotonic() + timeout
    status = run_wine(prefix, [tsutils.wine_program("wineboot"), "--end-session", "--shutdown"],
                      timeout)
    if status != 0:
        return False
    return wait_until_ended(prefix, max(0.0, deadline - time.monotonic()))


def kill_prefix(prefix, timeout=FORCE_QUIT_TIMEOUT):
    """Kills every program of the prefix; True when its Wine server has gone in time. When a
    Windows program runs inside this process, its programs are killed one by one instead of
    through the Wine server, which would take this process with them."""
    if not prefix_running(prefix):
        return True
    deadline = time.monotonic() + timeout
    if host_runs_wine():
        for pid in prefix_processes(prefix):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            except OSError as error:
                tsutils.log_os_error("Killing process %d" % pid, error)
    else:
        run_wine(prefix, [tsutils.wine_program("wineserver"), "--kill"], timeout)
    return wait_until_ended(prefix, max(0.0, deadline - time.monotonic()))


def make_prefix(folder, name):
    """A new, complete Wine prefix in a hidden folder beside the bottles, made without any
    dialog and without menu entries in the user's desktop; its path, or SetUpError."""
    partial = tempfile.mkdtemp(prefix="." + name + ".partial-", dir=folder)
    environment = tsutils.wine_environment(partial)
    environment["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    failure = None
    status = run_wine(partial, [tsutils.wine_program("wineboot"), "--init"], SETUP_TIMEOUT,
                      environment)
    if status is None:
        failure = "Wine took longer than %d seconds." % SETUP_TIMEOUT
    elif status < 0:
        failure = "Wine could not be started."
    elif status != 0:
        failure = "wineboot ended with status %d." % status
    # The registry is written when Wine's server ends.
    elif not wait_until_ended(partial, SETUP_TIMEOUT) or \
            not os.path.isfile(os.path.join(partial, "system.reg")):
        failure = "Wine did not finish making it."
    if failure:
        kill_prefix(partial)
        shutil.rmtree(partial, ignore_errors=True)
        raise SetUpError(failure)
    return partial
