"""TesseraConfig: the product's own settings, kept in a small file in the user's data folder."""

import configparser
import os
import threading

import tsutils

_SECTION = "Tessera"
_lock = threading.Lock()


def settings_path():
    return os.path.join(tsutils.app_support_dir(), "tessera.conf")


def _read():
    parser = configparser.ConfigParser()
    parser.optionxform = str
    parser.read(settings_path(), encoding="utf-8")
    if not parser.has_section(_SECTION):
        parser.add_section(_SECTION)
    return parser


class TesseraConfigSettings(object):
    """The settings as key-value properties; a setting never stored reads as None."""

    def __init__(self, parser):
        section = parser[_SECTION]
        self.ReportWineUsage = section.getboolean("ReportWineUsage") if "ReportWineUsage" in section else None


class TesseraConfig(object):
    @classmethod
    def tesseraConfigSettings(cls):
        with _lock:
            return TesseraConfigSettings(_read())

    @classmethod
    def setReportWineUsage_(cls, value):
        with _lock:
            parser = _read()
            if value is None:
                parser.remove_option(_SECTION, "ReportWineUsage")
            else:
                parser.set(_SECTION, "ReportWineUsage", "yes" if value else "no")
            path = settings_path()
            os.makedirs(os.path.dirname(path), exist_ok=True)
            # Written beside and renamed, so a reader never sees half a file.
            temporary = path + ".new"
            with open(temporary, "w", encoding="utf-8") as stream:
                parser.write(stream)
            os.replace(temporary, path)
