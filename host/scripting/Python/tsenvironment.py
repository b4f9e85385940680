"""TSSetup: changes to the host process's environment, which later child processes inherit."""

import os


class TSSetup(object):
    @classmethod
    def setEnvValue_forKey_(cls, value, key):
        if not key or "=" in key or "\0" in key:
            raise ValueError("not an environment variable name: %r" % (key,))
        os.environ[key] = "" if value is None else str(value)

    @classmethod
    def unsetEnvValueForKey_(cls, key):
        os.environ.pop(key, None)
