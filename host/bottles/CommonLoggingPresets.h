// Named sets of Wine debug channels the Run Command window offers: each preset name (as the
// user sees it) with its channels, every set beginning with "+tid".
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Built once per process, on first use (safe against concurrent first calls).
const QMap<QString, QStringList>& CommonLoggingPresets();
