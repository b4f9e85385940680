#include "CommonLoggingPresets.h"

#include <QCoreApplication>

const QMap<QString, QStringList>& CommonLoggingPresets() {
    static const QMap<QString, QStringList> presets = [] {
        const auto name = [](const char* text) {
            return QCoreApplication::translate("CommonLoggingPresets", text);
        };
        QMap<QString, QStringList> table;
        table.insert(name("Printing"), {"+tid", "+winspool", "+psdrv", "+print"});
        table.insert(name("Fonts"), {"+tid", "+font"});
        table.insert(name("Keyboard Input"), {"+tid", "+key", "+keyboard", "+event"});
        table.insert(name("Mouse Input"), {"+tid", "+cursor", "+event"});
        table.insert(name("Window Behavior"), {"+tid", "+win", "+macdrv", "+event"});
        table.insert(name("Crash (very verbose)"), {"+tid", "+relay", "+seh"});
        table.insert(name("File Access"), {"+tid", "+ntdll", "+file"});
        table.insert(name("Sound (verbose)"),
                     {"+tid", "+mmdevapi", "+winmm", "+driver", "+msacm", "+midi", "+dsound",
                      "+dsound3d", "+xaudio2", "+xapofx", "+dmusic", "+mci", "+coreaudio",
                      "+timestamp"});
        table.insert(name("Network Connections"),
                     {"+tid", "+wininet", "+winhttp", "+winsock", "+iphlpapi"});
        table.insert(name("Game Graphics"), {"+tid", "+d3d"});
        table.insert(name("Game Controllers"),
                     {"+tid", "+winmm", "+joystick", "+dinput", "+xinput"});
        return table;
    }();
    return presets;
}
