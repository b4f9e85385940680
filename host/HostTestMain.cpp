// Entry point of the host's test programs: a QApplication on the offscreen platform, settings,
// data and run-time files in a folder of the run's own, and a fixed locale for locale-aware
// comparisons.
#include <QApplication>
#include <QLocale>
#include <QTemporaryDir>

#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    if (!settings.isValid())
        return EXIT_FAILURE;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(settings.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(settings.filePath(QStringLiteral("data"))));

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Halcyon Imaging Tests"));
    QApplication::setApplicationName(QStringLiteral("host_tests"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    return RUN_ALL_TESTS();
}
