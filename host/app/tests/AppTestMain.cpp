// Entry point of the host's application tests: the host's own application object on the
// offscreen platform, with the build's application bundle (and so the real scripting layer),
// and settings, data and run-time files in a folder of the run's own.
#include "TSApplication.h"
#include "TSUserDefaults.h"

#include <QLocale>
#include <QTemporaryDir>

#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    if (!folder.isValid())
        return EXIT_FAILURE;
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        qputenv(name, QFile::encodeName(folder.filePath(QString::fromLatin1(name))));
    QDir().mkpath(folder.filePath(QStringLiteral("XDG_RUNTIME_DIR")));
    QFile::setPermissions(folder.filePath(QStringLiteral("XDG_RUNTIME_DIR")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    TSApplication application(argc, argv, QStringLiteral(HOST_BUNDLE_DIR));
    // Tests never see the offer to move the product into the Applications folder.
    TSUserDefaults::standardUserDefaults().registerDefaults(
        {{QStringLiteral("moveToApplicationsFolderAlertSuppress"), true}});
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return RUN_ALL_TESTS();
}
