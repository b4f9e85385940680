// tsstart: runs a Windows program, or opens a document or a URL, in a bottle through the
// system's Wine. The product root carries it twice, as bin/tsstart and as bin/wine.
//
//   tsstart [OPTIONS] [--] PROGRAM [ARGUMENTS...] | DOCUMENT | URL
//
// A bottle is a Wine prefix: the folder NAME in the user's bottle folder ($TS_BOTTLE_PATH),
// else in one of the managed bottle folders ($TS_MANAGED_BOTTLE_PATH, ":"-separated).
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int kUsageStatus = 2;
constexpr int kNotFoundStatus = 127;
constexpr unsigned kLaunchNotifyLaunched = 289;

std::string g_name = "tsstart";

[[noreturn]] void failWith(int status, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", g_name.c_str(), message.c_str());
    std::exit(status);
}

[[noreturn]] void usage(const std::string& message) {
    std::fprintf(
        stderr,
        "%s: %s\n"
        "usage: %s [--bottle NAME] [--wait-children] [--workdir DIR] [--verbose]\n"
        "       [--ts-log FILE|-] [--debugmsg CHANNELS] [--new-console] [--untrusted]\n"
        "       [--enable-alt-loader macdrv] [--] PROGRAM [ARGUMENTS...] | DOCUMENT | URL\n",
        g_name.c_str(), message.c_str(), g_name.c_str());
    std::exit(kUsageStatus);
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

struct Options {
    std::string bottle = "default";
    bool waitChildren = false;
    bool newConsole = false;
    bool verbose = false;
    std::optional<std::string> workdir;
    std::optional<std::string> tsLog;
    std::optional<std::string> debugChannels;
    std::vector<std::string> command;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    int i = 1;
    auto value = [&](const char* option) -> std::string {
        if (i + 1 >= argc)
            usage(std::string("the option ") + option + " needs a value");
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument.rfind("--", 0) != 0)
            break;
        if (argument == "--bottle")
            options.bottle = value("--bottle");
        else if (argument == "--wait-children")
            options.waitChildren = true;
        else if (argument == "--workdir")
            options.workdir = value("--workdir");
        else if (argument == "--verbose")
            options.verbose = true;
        else if (argument == "--ts-log")
            options.tsLog = value("--ts-log");
        else if (argument == "--debugmsg")
            options.debugChannels = value("--debugmsg");
        else if (argument == "--new-console")
            options.newConsole = true;
        else if (argument == "--untrusted")
            ; // Every program runs with the user's own rights here.
        else if (argument == "--enable-alt-loader")
            value("--enable-alt-loader"); // The system's Wine has no alternative loader.
        else
            usage("unknown option " + argument);
    }
    for (; i < argc; ++i)
        options.command.emplace_back(argv[i]);
    if (options.command.empty() || options.command.front().empty())
        usage("no program, document or URL given");
    return options;
}

// --- files ---------------------------------------------------------------------------------

bool isDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string currentDirectory() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return ".";
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

std::string absolutePath(const std::string& path) {
    return path.front() == '/' ? path : currentDirectory() + "/" + path;
}

// The path with every symbolic link resolved (the drive's link into the prefix, above all).
std::string realPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

std::string lowerAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return text;
}

std::string extensionOf(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return lowerAscii(path.substr(dot));
}

// The entry of the folder that matches the name without regard to ASCII letter case, as Wine
// finds it; the exact name first.
std::optional<std::string> findEntry(const std::string& folder, const std::string& name) {
    struct stat info {};
    if (lstat((folder + "/" + name).c_str(), &info) == 0)
        return name;
    DIR* directory = opendir(folder.c_str());
    if (!directory)
        return std::nullopt;
    std::optional<std::string> found;
    const std::string wanted = lowerAscii(name);
    while (const dirent* entry = readdir(directory)) {
        if (lowerAscii(entry->d_name) == wanted) {
            found = entry->d_name;
            break;
        }
    }
    closedir(directory);
    return found;
}

// --- bottles -------------------------------------------------------------------------------

std::string userBottleFolder() {
    if (const char* path = std::getenv("TS_BOTTLE_PATH"); path && *path)
        return path;
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        data = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        data = std::string(home) + "/.local/share";
    else
        data = ".local/share";
    return data + "/Halcyon Imaging/Bottles";
}

std::vector<std::string> managedBottleFolders() {
    std::vector<std::string> folders;
    const char* value = std::getenv("TS_MANAGED_BOTTLE_PATH");
    std::string rest = value ? value : "";
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t colon = rest.find(':', start);
        const std::string folder =
            rest.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!folder.empty())
            folders.push_back(folder);
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    return folders;
}

bool isWinePrefix(const std::string& path) {
    return isFile(path + "/system.reg");
}

// The Wine prefix of the bottle: the user's bottle of that name, else a managed bottle that
// is a complete prefix (a managed folder may only hold a bottle's template).
std::string bottlePrefix(const std::string& name) {
    const bool valid =
        !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
    if (valid) {
        const std::string own = userBottleFolder() + "/" + name;
        if (isDirectory(own))
            return own;
        for (const std::string& folder : managedBottleFolders()) {
            if (isWinePrefix(folder + "/" + name))
                return folder + "/" + name;
        }
    }
    failWith(kUsageStatus, "there is no bottle named " + quoted(name));
}

// --- what to run ---------------------------------------------------------------------------

bool isWindowsPath(const std::string& text) {
    return (text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) &&
            text[1] == ':' && (text[2] == '\\' || text[2] == '/')) ||
           text.rfind("\\\\", 0) == 0;
}

bool isUrl(const std::string& text) {
    // A scheme of two or more characters (one is a drive letter), then ":".
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2 ||
        !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    return std::all_of(text.begin(), text.begin() + long(colon), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

// The Unix path of a Windows path inside the prefix (drive through dosdevices, letters in any
// case), or nothing when some part of it does not exist.
std::optional<std::string> unixPathOf(const std::string& prefix, const std::string& windowsPath) {
    if (windowsPath.size() < 3 || windowsPath[1] != ':')
        return std::nullopt;
    std::string path = prefix + "/dosdevices/" + lowerAscii(windowsPath.substr(0, 2));
    size_t start = 3;
    while (start <= windowsPath.size()) {
        size_t end = windowsPath.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = windowsPath.size();
        const std::string component = windowsPath.substr(start, end - start);
        if (!component.empty() && component != ".") {
            const std::optional<std::string> entry = findEntry(path, component);
            if (!entry)
                return std::nullopt;
            path += "/" + *entry;
        }
        start = end + 1;
    }
    return path;
}

struct Target {
    enum Kind { Program, Document, Url } kind = Program;
    std::string path;     // as handed to Wine
    std::string unixPath; // the file, when there is one
    std::vector<std::string> arguments;
};

bool isProgramFile(const std::string& path) {
    const std::string extension = extensionOf(path);
    return extension == ".exe" || extension == ".com";
}

// An unquoted Windows path with blanks arrives split into words; it is resolved the way
// Windows resolves one: the shortest run of words that names a file (with or without
// ".exe") is the program, the remaining words are its arguments.
Target resolveWindowsPath(const std::string& prefix, const std::string& bottle,
                          const std::vector<std::string>& words) {
    std::string candidate;
    for (size_t count = 1; count <= words.size(); ++count) {
        candidate += (count > 1 ? " " : "") + words[count - 1];
        for (const std::string& name : {candidate, candidate + ".exe"}) {
            const std::optional<std::string> unixPath = unixPathOf(prefix, name);
            if (unixPath && isFile(*unixPath)) {
                Target target;
                target.kind = isProgramFile(name) ? Target::Program : Target::Document;
                target.path = name;
                target.unixPath = realPath(*unixPath);
                target.arguments.assign(words.begin() + long(count), words.end());
                return target;
            }
        }
    }
    failWith(kNotFoundStatus,
             "cannot find " + quoted(candidate) + " in the bottle " + quoted(bottle));
}

Target resolveTarget(const std::string& prefix, const std::string& bottle,
                     const std::vector<std::string>& command) {
    const std::string& first = command.front();
    const bool networkPath = first.rfind("\\\\", 0) == 0;
    if (isWindowsPath(first) && !networkPath)
        return resolveWindowsPath(prefix, bottle, command);
    Target target;
    target.arguments.assign(command.begin() + 1, command.end());
    target.path = first;
    if (networkPath) { // Wine finds it or says why not
        target.kind = isProgramFile(first) ? Target::Program : Target::Document;
    } else if (isFile(absolutePath(first))) {
        target.unixPath = target.path = absolutePath(first);
        target.kind = isProgramFile(first) ? Target::Program : Target::Document;
    } else if (isUrl(first)) {
        target.kind = Target::Url;
    } else if (first.find('/') != std::string::npos) {
        failWith(kNotFoundStatus, "cannot find " + quoted(first));
    }
    // Otherwise a bare name such as "cmd": Wine looks for it in the bottle's search path.
    return target;
}

// The arguments of the system's Wine: a program runs directly; documents, URLs and programs
// in a console of their own go through Wine's "start", as a double-click would.
std::vector<std::string> wineArguments(const Target& target, const Options& options) {
    std::vector<std::string> arguments;
    if (target.kind != Target::Program || options.newConsole) {
        arguments.emplace_back("start");
        if (target.kind == Target::Program)
            arguments.emplace_back("/wait");
        if (!target.unixPath.empty()) {
            arguments.emplace_back("/unix");
            arguments.push_back(target.unixPath);
        } else {
            arguments.push_back(target.path);
        }
    } else {
        arguments.push_back(target.path);
    }
    arguments.insert(arguments.end(), target.arguments.begin(), target.arguments.end());
    return arguments;
}

// --- the system's Wine ---------------------------------------------------------------------

std::string ownExecutable() {
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, size_t(length)) : std::string();
}

// The program of that name on PATH, never this program itself (it may be called "wine").
std::string systemProgram(const std::string& name) {
    const char* value = std::getenv("PATH");
    std::string path = std::string(value ? value : "") + ":/usr/bin:/bin";
    struct stat own {};
    const bool knowsSelf = stat(ownExecutable().c_str(), &own) == 0;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string folder = path.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder.front() != '/')
            continue;
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            access(candidate.c_str(), X_OK) != 0)
            continue;
        if (knowsSelf && info.st_dev == own.st_dev && info.st_ino == own.st_ino)
            continue;
        return candidate;
    }
    failWith(kNotFoundStatus, "cannot find the system's " + name + " program");
}

void setVariable(const char* name, const std::string& value) {
    setenv(name, value.c_str(), 1);
}

// Wine's environment for the bottle: no debug output unless channels are asked for, no menu
// entries in the user's desktop, and no installer dialog while a new prefix is made.
void prepareEnvironment(const std::string& prefix, const Options& options) {
    setVariable("WINEPREFIX", prefix);
    setVariable("WINEDEBUG", options.debugChannels ? *options.debugChannels : "-all");
    std::string overrides = "winemenubuilder.exe=d";
    if (!isWinePrefix(prefix))
        overrides += ";mscoree,mshtml=";
    if (const char* inherited = std::getenv("WINEDLLOVERRIDES"); inherited && *inherited)
        overrides += std::string(";") + inherited;
    setVariable("WINEDLLOVERRIDES", overrides);
}

std::vector<char*> argumentVector(const std::string& program,
                                  const std::vector<std::string>& arguments) {
    std::vector<char*> vector;
    vector.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        vector.push_back(const_cast<char*>(argument.c_str()));
    vector.push_back(nullptr);
    return vector;
}

pid_t g_child = -1;

void forwardSignal(int signal) {
    if (g_child > 0)
        kill(g_child, signal);
}

// Starts the program with Wine's output on the log (a file, standard error for "-", or left as
// it is).
pid_t startProgram(const std::string& program, const std::vector<std::string>& arguments,
                   int logDescriptor, bool logToStandardError) {
    std::vector<char*> vector = argumentVector(program, arguments);
    const pid_t child = fork();
    if (child == 0) {
        if (logDescriptor >= 0) {
            dup2(logDescriptor, STDOUT_FILENO);
            dup2(logDescriptor, STDERR_FILENO);
            close(logDescriptor);
        } else if (logToStandardError) {
            dup2(STDERR_FILENO, STDOUT_FILENO);
        }
        execv(program.c_str(), vector.data());
        std::fprintf(stderr, "%s: cannot run %s: %s\n", g_name.c_str(), program.c_str(),
                     std::strerror(errno));
        _exit(kNotFoundStatus);
    }
    return child;
}

// The first word of a process's command line.
std::string commandNameOf(pid_t process) {
    const std::string path = "/proc/" + std::to_string(process) + "/cmdline";
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return "";
    std::string name;
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\0')
        name.push_back(char(c));
    std::fclose(file);
    return name;
}

// Whether the process still runs a Unix launcher (a shell script or Wine's loader) rather than
// the Windows program, which takes the command line over once Wine has set it up.
bool runsUnixLauncher(pid_t process) {
    const std::string name = commandNameOf(process);
    if (name.empty() || name.front() != '/')
        return name.empty();
    FILE* file = std::fopen(name.c_str(), "rb");
    if (!file)
        return false;
    char magic[4] = {};
    const size_t read = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    return (read >= 4 && std::memcmp(magic,
                                     "\x7f"
                                     "ELF",
                                     4) == 0) ||
           (read >= 2 && magic[0] == '#' && magic[1] == '!');
}

// Tells the host that the program has started: 289 in this machine's byte order.
void notifyLaunched(const std::string& socketPath) {
    const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
        if (connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const unsigned value = kLaunchNotifyLaunched;
            const ssize_t written = write(sock, &value, sizeof value);
            (void)written;
        }
    }
    close(sock);
}

int exitStatusOf(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

// Waits for the child; with a notify socket, reports once the Windows program has started.
int waitForProgram(pid_t child, const char* notifySocket) {
    int status = 0;
    bool notified = !notifySocket || !*notifySocket;
    while (!notified) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child)
            return exitStatusOf(status);
        if (ended < 0 && errno != EINTR)
            return 1;
        if (!runsUnixLauncher(child)) {
            notifyLaunched(notifySocket);
            notified = true;
        } else {
            usleep(20000);
        }
    }
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return 1;
    }
    return exitStatusOf(status);
}

// Waits until the bottle's Wine server has ended: every Windows program started in the bottle
// has exited.
void waitForChildren(const std::string& wineserver) {
    const std::vector<std::string> arguments = {"-w"};
    const pid_t waiter = startProgram(wineserver, arguments, -1, false);
    g_child = waiter;
    int status = 0;
    while (waiter > 0 && waitpid(waiter, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 0 && argv[0]) {
        const std::string name = argv[0];
        g_name = name.substr(name.find_last_of('/') + 1);
    }
    const Options options = parseOptions(argc, argv);
    const std::string prefix = bottlePrefix(options.bottle);
    const Target target = resolveTarget(prefix, options.bottle, options.command);

    std::string workdir;
    if (options.workdir)
        workdir = *options.workdir;
    else if (!target.unixPath.empty())
        workdir = folderOf(target.unixPath);
    if (!workdir.empty() && chdir(workdir.c_str()) != 0)
        failWith(kUsageStatus,
                 "cannot change to the folder " + quoted(workdir) + ": " + std::strerror(errno));

    int logDescriptor = -1;
    const bool logToStandardError = options.tsLog && *options.tsLog == "-";
    if (options.tsLog && !logToStandardError) {
        logDescriptor =
            open(options.tsLog->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (logDescriptor < 0)
            failWith(kUsageStatus, "cannot open the log file " + quoted(*options.tsLog) + ": " +
                                       std::strerror(errno));
    }

    prepareEnvironment(prefix, options);
    const std::string wine = systemProgram("wine");
    const std::string wineserver = options.waitChildren ? systemProgram("wineserver") : "";
    const std::vector<std::string> arguments = wineArguments(target, options);
    if (options.verbose)
        std::fprintf(stderr, "%s: bottle %s (%s), in %s: %s %s\n", g_name.c_str(),
                     quoted(options.bottle).c_str(), prefix.c_str(), currentDirectory().c_str(),
                     wine.c_str(), joined(arguments).c_str());

    struct sigaction forward {};
    forward.sa_handler = forwardSignal;
    sigemptyset(&forward.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &forward, nullptr);

    g_child = startProgram(wine, arguments, logDescriptor, logToStandardError);
    if (g_child < 0)
        failWith(1, std::string("cannot start Wine: ") + std::strerror(errno));
    if (logDescriptor >= 0)
        close(logDescriptor);
    const int status = waitForProgram(g_child, std::getenv("TS_LAUNCH_NOTIFY_SOCKET"));
    if (options.waitChildren)
        waitForChildren(wineserver);
    return status;
}
