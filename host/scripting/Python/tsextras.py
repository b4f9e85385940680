"""Classes of the scripting layer that this product's host registers but never calls."""


class _Unused(object):
    def __init__(self, *args, **kwargs):
        self.args = args
        self.options = kwargs


class AppDetector(_Unused):
    """Detection of installed Windows applications."""


class CDDetector(_Unused):
    """Detection of installation media."""


class QuillProfiles(_Unused):
    """Installation profiles."""


class InstallTask(_Unused):
    """An installation run."""


class Engine(_Unused):
    """The installation engine."""


class TSMenu(_Unused):
    """Menu entries of a bottle's applications."""
