#include "TSSetupLib.h"

#include "InitializePython.h"
#include "TSApplication.h"
#include "TSBridge.h"
#include "TSInternalInconsistency.h"
#include "TSLog.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <QThread>

#include <array>
#include <atomic>

namespace {

struct ScriptingClass {
    const char* name;
    const char* missingMessage;
};

constexpr std::array<ScriptingClass, 12> kClasses = {{
    {"BottleQuery", "Unable to load the BottleQuery class.\n"},
    {"BottleManagement", "Unable to load the BottleManagement class.\n"},
    {"TSSetup", "Unable to load the TSSetup class.\n"},
    {"TesseraConfig", "Unable to load the TesseraConfig class.\n"},
    {"AppDetector", "Unable to load the AppDetector class.\n"},
    {"CDDetector", "Unable to load the CDDetector class.\n"},
    {"QuillProfiles", "Unable to load the QuillProfiles class.\n"},
    {"InstallTask", "Unable to load the InstallTask class.\n"},
    {"Engine", "Unable to load the Engine class.\n"},
    {"TSUtils", "Unable to load the tsUtils class.\n"},
    {"TSMenu", "Unable to load the tsMenu class.\n"},
    {"BottleWrapper", "Unable to load the BottleWrapper class.\n"},
}};

enum class State { NotStarted, Running, Ready, Failed };
std::atomic<State> g_state{State::NotStarted};

QString localized(const char* text) {
    return QCoreApplication::translate("TSSetupLib", text);
}

void terminateApplication() {
    if (TSApplication* application = TSApplication::sharedApplication())
        application->terminate();
    else
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

void showInitializationFailure(const QString& reason) {
    QMessageBox alert;
    alert.setIcon(QMessageBox::Critical);
    alert.setText(localized("Initialization Failure"));
    alert.setInformativeText(
        localized("Tessera is unable to initialize a critical component.\n\n%@\n\nThe program "
                  "will now exit.")
            .replace(QLatin1String("%@"), reason));
    alert.setDefaultButton(alert.addButton(localized("OK"), QMessageBox::AcceptRole));
    alert.exec();
}

bool runInitialization() {
    try {
        InitializePython(QStringLiteral("libtssetup-v3.py"));
    } catch (const TSInternalInconsistency& exception) {
        showInitializationFailure(exception.reason());
        terminateApplication();
        return false;
    }
    for (const ScriptingClass& scriptingClass : kClasses) {
        if (tsbridgeLookupClass(scriptingClass.name).isNull()) {
            TSSystemLog("%s", scriptingClass.missingMessage);
            terminateApplication();
            return false;
        }
    }
    return true;
}

} // namespace

bool TSSetupLib::initialize() {
    if (g_state == State::Ready)
        return true;
    // Start-up may show an alert: it runs on the main thread, whoever asks first.
    QCoreApplication* application = QCoreApplication::instance();
    if (application && QThread::currentThread() != application->thread()) {
        bool ready = false;
        QMetaObject::invokeMethod(
            application, [&ready] { ready = TSSetupLib::initialize(); },
            Qt::BlockingQueuedConnection);
        return ready;
    }
    if (g_state == State::NotStarted) {
        g_state = State::Running;
        g_state = runInitialization() ? State::Ready : State::Failed;
    }
    return g_state == State::Ready;
}

bool TSSetupLib::failed() {
    return g_state == State::Failed;
}

TSPyObject TSSetupLib::classAt(int index) {
    if (!initialize())
        return TSPyObject();
    return tsbridgeLookupClass(kClasses[index].name);
}

TSPyObject TSSetupLib::bottleQueryClass() {
    return classAt(0);
}
TSPyObject TSSetupLib::bottleManagementClass() {
    return classAt(1);
}
TSPyObject TSSetupLib::tsSetupClass() {
    return classAt(2);
}
TSPyObject TSSetupLib::tesseraConfigClass() {
    return classAt(3);
}
TSPyObject TSSetupLib::appDetectorClass() {
    return classAt(4);
}
TSPyObject TSSetupLib::cdDetectorClass() {
    return classAt(5);
}
TSPyObject TSSetupLib::quillProfilesClass() {
    return classAt(6);
}
TSPyObject TSSetupLib::installTaskClass() {
    return classAt(7);
}
TSPyObject TSSetupLib::tsAiEngineClass() {
    return classAt(8);
}
TSPyObject TSSetupLib::tsUtilsClass() {
    return classAt(9);
}
TSPyObject TSSetupLib::tsMenuClass() {
    return classAt(10);
}
TSPyObject TSSetupLib::bottleWrapperClass() {
    return classAt(11);
}
