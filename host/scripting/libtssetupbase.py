# Base start-up script of the scripting layer: runs first, checks that the host has set the
# product root, and keeps the interpreter from writing compiled files into the bundle.
import sys

import tsbridge
import tsutils

sys.dont_write_bytecode = True

if not tsutils.TS_ROOT:
    raise RuntimeError("tsutils.TS_ROOT has not been set by the host")
