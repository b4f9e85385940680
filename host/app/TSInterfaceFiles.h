// The host's interface files by name (Qt Designer forms compiled into the program).
#pragma once

#include <QString>

class QWidget;

// Whether there is an interface file of that name.
bool tsHasInterfaceFile(const QString& name);
// A new top-level window built from the interface file, or none.
QWidget* tsLoadInterfaceFile(const QString& name);
