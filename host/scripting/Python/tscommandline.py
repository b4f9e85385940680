"""TSUtils: command lines and paths the Windows way."""


def cmd_line_to_argv(command_line):
    """Splits a command line by the rules of Windows programs: blanks and tabs separate words;
    double quotes group and are removed; 2n backslashes before a quote give n backslashes and
    the quote groups, 2n+1 give n backslashes and a literal quote; other backslashes are
    literal; inside quotes a doubled quote gives one literal quote."""
    words = []
    word = []
    in_word = False
    in_quotes = False
    i = 0
    length = len(command_line)
    while i < length:
        c = command_line[i]
        if c in " \t" and not in_quotes:
            if in_word:
                words.append("".join(word))
                word = []
                in_word = False
            i += 1
            continue
        in_word = True
        if c == "\\":
            start = i
            while i < length and command_line[i] == "\\":
                i += 1
            count = i - start
            if i < length and command_line[i] == '"':
                word.append("\\" * (count // 2))
                if count % 2:
                    word.append('"')
                    i += 1
            else:
                word.append("\\" * count)
            continue
        if c == '"':
            if in_quotes and i + 1 < length and command_line[i + 1] == '"':
                word.append('"')
                i += 2
                continue
            in_quotes = not in_quotes
            i += 1
            continue
        word.append(c)
        i += 1
    if in_word:
        words.append("".join(word))
    return words


def dirname(path):
    """The folder part of a Windows or Unix path: "" when there is none; a drive ("C:") or
    root keeps its separator."""
    if not path:
        return ""
    drive = ""
    rest = path
    if len(path) >= 2 and path[1] == ":" and path[0].isalpha():
        drive, rest = path[:2], path[2:]
    separators = "\\/"
    trimmed = rest.rstrip(separators)
    if not trimmed:
        # Only a root: it is its own folder.
        return drive + rest[:1] if rest else ""
    cut = max(trimmed.rfind("\\"), trimmed.rfind("/"))
    if cut < 0:
        return drive
    folder = trimmed[:cut].rstrip(separators)
    if not folder:
        return drive + trimmed[0]
    return drive + folder


class TSUtils(object):
    @classmethod
    def cmdLineToArgv_(cls, command_line):
        return cmd_line_to_argv(command_line or "")

    @classmethod
    def dirname_(cls, path):
        return dirname(path or "")
