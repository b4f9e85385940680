#include "PythonSupport.h"

#include <pybind11/embed.h>

#include "InitializePython.h"
#include "TSApplication.h"
#include "TSInternalInconsistency.h"
#include "TSServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace py = pybind11;

// The registry of the scripting layer's classes. It lives in the module's own dictionary, so
// the host keeps no Python object in a variable of its own.
PYBIND11_EMBEDDED_MODULE(tsbridge, module) {
    module.doc() = "Classes of the scripting layer that the host looks up by name.";
    module.attr("_classes") = py::dict();
    module.def(
        "register_class",
        [module](const std::string& name, py::object cls) {
            if (!PyType_Check(cls.ptr()))
                throw py::type_error("register_class: '" + name + "' is not a class");
            if (name.empty())
                throw py::value_error("register_class: the name is empty");
            module.attr("_classes")[py::str(name)] = cls;
        },
        py::arg("name"), py::arg("cls"),
        "Registers a class under a name; a later one replaces it.");
    module.def(
        "lookup_class",
        [module](const std::string& name) -> py::object {
            py::dict classes = module.attr("_classes");
            py::str key(name);
            return classes.contains(key) ? py::object(classes[key]) : py::object(py::none());
        },
        py::arg("name"), "The class registered under the name, or None.");
    module.def(
        "registered_names",
        [module]() {
            py::list names = py::dict(module.attr("_classes")).attr("keys")();
            names.attr("sort")();
            return names;
        },
        "Names of all registered classes, sorted.");
    module.def(
        "product_version", [] { return TSServer::productVersionString().toStdString(); },
        "The product's version, as the host knows it.");
    module.def(
        "product_display_name", [] { return TSServer::productDisplayName().toStdString(); },
        "The product's name, as the user sees it.");
}

namespace {

[[noreturn]] void fail(const QString& reason) {
    throw TSInternalInconsistency(reason);
}

// Runs a script in __main__ like the interpreter's simple-file runner: 0 on success, -1 when
// the file cannot be opened or the script raised. A SystemExit with status 0 or None counts
// as success; any other status is a failure, and the host process goes on.
int runSimpleFile(const QString& path) {
    const QByteArray fsPath = QFile::encodeName(path);
    FILE* file = std::fopen(fsPath.constData(), "r");
    if (!file) {
        std::fprintf(stderr, "Cannot open Python script '%s'\n", fsPath.constData());
        return -1;
    }
    PyObject* main = PyImport_AddModule("__main__"); // borrowed
    PyObject* globals = main ? PyModule_GetDict(main) : nullptr;
    PyObject* filePath = tsPythonStringFromQString(path);
    if (!globals || !filePath || PyDict_SetItemString(globals, "__file__", filePath) < 0) {
        Py_XDECREF(filePath);
        std::fclose(file);
        tsPrintPythonError();
        return -1;
    }
    Py_DECREF(filePath);
    const QByteArray displayName = QFile::encodeName(QFileInfo(path).fileName());
    PyObject* result = PyRun_FileExFlags(file, displayName.constData(), Py_file_input, globals,
                                         globals, 1, nullptr);
    int status = 0;
    if (!result) {
        bool success = false;
        QString exitStatus;
        if (tsTakeSystemExit(&success, &exitStatus)) {
            if (!success)
                std::fprintf(stderr, "%s exited with status %s\n", displayName.constData(),
                             exitStatus.toUtf8().constData());
            status = success ? 0 : -1;
        } else {
            tsPrintPythonError();
            status = -1;
        }
    }
    Py_XDECREF(result);
    if (PyDict_DelItemString(globals, "__file__") < 0)
        PyErr_Clear();
    return status;
}

// A bundle resource by name and type, the way the bundle looks it up: the path, or empty when
// there is no such file.
QString bundleResource(const QString& resources, const QString& name, const QString& type) {
    const QString path = QDir(resources).filePath(type.isEmpty() ? name : name + '.' + type);
    return QFileInfo::exists(path) ? path : QString();
}

void startInterpreter(const QString& scriptPath) {
    PyStatus status;
    // Python 3 has no default string encoding to set; UTF-8 mode makes UTF-8 the encoding of
    // file names and of the standard streams instead.
    PyPreConfig preconfig;
    PyPreConfig_InitPythonConfig(&preconfig);
    preconfig.utf8_mode = 1;
    status = Py_PreInitialize(&preconfig);
    if (PyStatus_Exception(status))
        fail(QStringLiteral("Failed to initialize Python: %1").arg(status.err_msg));

    PyConfig config;
    PyConfig_InitPythonConfig(&config);
    // Py_NoUserSiteDirectory and Py_InitializeEx(0) are PyConfig fields in Python 3.
    config.user_site_directory = 0;
    config.install_signal_handlers = 0;
    config.parse_argv = 0;
    // The product may be installed read-only: no compiled modules written beside its scripts.
    config.write_bytecode = 0;
    // PySys_SetArgvEx with updatepath 0: the argument list only, the module path unchanged.
    config.safe_path = 1;
    // The system's interpreter (Python 3.11 instead of 2.7); it fixes where the standard
    // library is found.
    status = PyConfig_SetBytesString(&config, &config.program_name, "/usr/bin/python3");
    if (!PyStatus_Exception(status)) {
        const QByteArray fsScript = QFile::encodeName(scriptPath);
        char* argv[] = {const_cast<char*>(fsScript.constData())};
        status = PyConfig_SetBytesArgv(&config, 1, argv);
    }
    if (!PyStatus_Exception(status))
        status = Py_InitializeFromConfig(&config);
    PyConfig_Clear(&config);
    if (PyStatus_Exception(status))
        fail(QStringLiteral("Failed to initialize Python: %1")
                 .arg(QString::fromUtf8(status.err_msg ? status.err_msg : "unknown error")));
}

} // namespace

void InitializePython(const QString& scriptName) {
    if (Py_IsInitialized())
        fail(QStringLiteral("Python has already been initialized."));

    TSApplication* application = TSApplication::sharedApplication();
    if (!application)
        fail(QStringLiteral("InitializePython needs the host's application object."));
    const QString root = application->tesseraRoot();
    const QString bundle = QDir::cleanPath(root + QStringLiteral("/../../.."));
    const QString resources = bundle + QStringLiteral("/Contents/Resources");

    const QString pythonPath =
        resources + QStringLiteral("/Python:") + root + QStringLiteral("/lib/python");
    setenv("PYTHONPATH", QFile::encodeName(pythonPath).constData(), 1);
    for (const char* name :
         {"PYTHONEXECUTABLE", "PYTHONHOME", "PYTHONINSPECT", "PYTHONSTARTUP", "PYTHONUSERBASE"})
        unsetenv(name);

    const QString basePath =
        bundleResource(resources, QStringLiteral("libtssetupbase"), QStringLiteral("py"));
    QString scriptPath;
    if (QDir::isAbsolutePath(scriptName)) {
        scriptPath = scriptName;
    } else {
        const QFileInfo info(scriptName);
        scriptPath = bundleResource(resources, info.completeBaseName(), info.suffix());
    }

    startInterpreter(scriptPath);
    // PyEval_InitThreads is implied: Python 3 starts with threads enabled and the lock held.
    const PyGILState_STATE state = PyGILState_Ensure();
    // Whatever happens below, the main thread ends up without the lock, so that other threads
    // can still enter the interpreter.
    struct ReleaseLock {
        PyGILState_STATE state;
        ~ReleaseLock() {
            PyGILState_Release(state);
            if (state == PyGILState_LOCKED)
                PyEval_SaveThread(); // PyThreadState_Swap(NULL) and PyEval_ReleaseLock
        }
    } releaseLock{state};

    PyObject* tsutils = PyImport_ImportModule("tsutils");
    if (!tsutils) {
        tsPrintPythonError();
        fail(QStringLiteral("Failed to import tsutils module into Python.  See console for "
                            "errors."));
    }
    // PyUnicode_DecodeFSDefault replaces PyString_FromString.
    PyObject* rootString = PyUnicode_DecodeFSDefault(QFile::encodeName(root).constData());
    if (!rootString) {
        tsPrintPythonError();
        Py_DECREF(tsutils);
        fail(QStringLiteral("Failed to create Python string for Tessera root.  See console for "
                            "errors."));
    }
    if (PyObject_SetAttrString(tsutils, "TS_ROOT", rootString) == -1) {
        tsPrintPythonError();
        Py_DECREF(rootString);
        Py_DECREF(tsutils);
        fail(QStringLiteral("Failed to set tsutils.TS_ROOT.  See console for errors."));
    }
    Py_DECREF(rootString);
    Py_DECREF(tsutils);

    QString failedScript;
    if (basePath.isEmpty() || runSimpleFile(basePath) != 0)
        failedScript =
            basePath.isEmpty() ? resources + QStringLiteral("/libtssetupbase.py") : basePath;
    else if (scriptPath.isEmpty() || runSimpleFile(scriptPath) != 0)
        failedScript = scriptPath.isEmpty() ? QDir(resources).filePath(scriptName) : scriptPath;
    if (!failedScript.isEmpty())
        fail(QStringLiteral("Failed to run Python script '%1'.  See console for errors.")
                 .arg(failedScript));
}
