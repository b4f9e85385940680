#!/usr/bin/env python3
"""Times the start of the loader, in one run: from the host's start to its gate opening (its
first child, bin/wine, starts), from the host's start to the loader's Windows process, and
from bin/wine started directly to the loader's Windows process; the difference is the host's
own cost. The bottle exists already (the first start makes it and is not timed).

Run after scripts/build:  python3 bench/host_launch.py [RUNS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = os.path.join(ROOT, "build", "product", "Halcyon Imaging.app")
LOADER = "C:/Program Files/Halcyon Imaging/SkiffApp64.exe"


def command_line(pid):
    try:
        with open("/proc/%s/cmdline" % pid, "rb") as stream:
            return stream.read().split(b"\0")
    except OSError:
        return []


def wait_for(marks, started, timeout=120):
    """Seconds from started until a new process matches each mark (a test on its command
    line), watching /proc every 2 ms."""
    seen = set(os.listdir("/proc"))
    found = {}
    deadline = time.monotonic() + timeout
    while len(found) < len(marks) and time.monotonic() < deadline:
        now = time.monotonic()
        for pid in os.listdir("/proc"):
            if not pid.isdigit() or pid in seen:
                continue
            words = command_line(pid)
            if words and words[0]:
                for name, test in marks.items():
                    if name not in found and test(words):
                        found[name] = now - started
                # A process is examined again only until its command line is a Windows one.
                if words[0].decode(errors="replace").startswith("C:"):
                    seen.add(pid)
        time.sleep(0.002)
    return found


def is_wrapper(words):
    return words[0].endswith(b"/bin/wine") and b"--enable-alt-loader" in words


def is_loader(words):
    return b" ".join(words).startswith(LOADER.encode())


def stop(process, environment, bottle):
    subprocess.run(["wineserver", "-k"], env=dict(environment, WINEPREFIX=bottle),
                   stderr=subprocess.DEVNULL)
    try:
        process.wait(30)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    if not os.path.isfile(os.path.join(PRODUCT, "Contents", "MacOS", "MacHost")):
        sys.exit("host_launch: build the product first (scripts/build)")
    work = tempfile.mkdtemp(prefix="halcyon-launch-bench.")
    xvfb = None
    try:
        app = os.path.join(work, "Halcyon Imaging.app")
        shutil.copytree(PRODUCT, app, symlinks=True)
        template = os.path.join(app, "Contents", "SharedSupport", "halcyonimaging", "support",
                                "default", "drive_c", "Program Files", "Halcyon Imaging")
        # No server and no auto-start: the loader's window waits.
        with open(os.path.join(template, "TillerConfig.txt"), "w") as stream:
            stream.write("AutoStart=N\r\n")
        home = os.path.join(work, "home")
        os.makedirs(os.path.join(work, "run"), mode=0o700)
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith(("WINE", "XDG_"))}
        environment.update(HOME=home, XDG_RUNTIME_DIR=os.path.join(work, "run"))
        if not environment.get("DISPLAY"):
            display = 95
            while os.path.exists("/tmp/.X11-unix/X%d" % display):
                display += 1
            xvfb = subprocess.Popen(["Xvfb", ":%d" % display, "-nolisten", "tcp"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(1)
            environment["DISPLAY"] = ":%d" % display
        bottle = os.path.join(home, ".local", "share", "Halcyon Imaging", "Bottles", "default")
        machost = os.path.join(app, "Contents", "MacOS", "MacHost")
        wine = os.path.join(app, "Contents", "SharedSupport", "halcyonimaging", "bin", "wine")
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=environment)

        # The first start makes the bottle.
        started = time.monotonic()
        host = subprocess.Popen([machost], **quiet)
        first = wait_for({"loader": is_loader}, started, timeout=300)
        stop(host, environment, bottle)
        if "loader" not in first:
            sys.exit("host_launch: the loader did not start")
        print("first start (the bottle is made): %.2f s to the loader" % first["loader"])

        gate, host_loader, direct_loader = [], [], []
        for _ in range(runs):
            started = time.monotonic()
            host = subprocess.Popen([machost], **quiet)
            marks = wait_for({"gate": is_wrapper, "loader": is_loader}, started)
            stop(host, environment, bottle)
            gate.append(marks["gate"])
            host_loader.append(marks["loader"])

            started = time.monotonic()
            direct = subprocess.Popen([wine, "--bottle", "default", "--wait-children"] +
                                      LOADER.split(" "), **quiet)
            marks = wait_for({"loader": is_loader}, started)
            stop(direct, environment, bottle)
            direct_loader.append(marks["loader"])

        def line(name, values):
            print("%-44s median %.3f s  (min %.3f, max %.3f; %d runs)"
                  % (name, statistics.median(values), min(values), max(values), len(values)))

        line("host start to gate open (bin/wine starts)", gate)
        line("host start to the loader's process", host_loader)
        line("bin/wine start to the loader's process", direct_loader)
        print("the host's own cost: %.3f s" % (statistics.median(host_loader) -
                                                statistics.median(direct_loader)))
    finally:
        if xvfb:
            xvfb.terminate()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
