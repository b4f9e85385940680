// Internal helpers of the translation units that call the embedded interpreter. Include this
// first: Python's headers must come before the standard ones.
#pragma once

#include <pybind11/pybind11.h>

#include <QByteArray>
#include <QString>

// Holds the interpreter lock for its lifetime, from any thread.
class TSPythonLock {
public:
    TSPythonLock() : state_(PyGILState_Ensure()) {}
    ~TSPythonLock() { PyGILState_Release(state_); }
    TSPythonLock(const TSPythonLock&) = delete;
    TSPythonLock& operator=(const TSPythonLock&) = delete;

private:
    PyGILState_STATE state_;
};

// When the pending Python error is a SystemExit: clears it, tells whether its status means
// success (0 or None) and gives the status as text; true. Any other error stays pending; false.
bool tsTakeSystemExit(bool* success, QString* status);

// Prints the pending Python error to the console and clears it. A SystemExit is printed like
// any other error: it must not end the host process.
void tsPrintPythonError();

// A path or text as a Python string; undecodable bytes survive as surrogate escapes.
PyObject* tsPythonStringFromQString(const QString& string);
// A Python string as a QString; surrogate escapes become their bytes, decoded as UTF-8.
QString tsQStringFromPythonString(PyObject* string);
