// Start of the embedded interpreter and of the scripting layer.
#pragma once

#include <QString>

// Starts the interpreter, sets tsutils.TS_ROOT to the product root and runs the base script
// "libtssetupbase.py", then (when that succeeded) the named script; both are looked up among
// the bundle's resources unless the name is an absolute path. Ends with the interpreter lock
// released, so that any thread may enter the interpreter. Throws TSInternalInconsistency.
void InitializePython(const QString& scriptName);
