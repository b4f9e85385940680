// Hands out the scripting layer's classes. The first request starts the embedded interpreter
// and looks up all twelve classes; when that fails the user is told (or the system log is),
// the application is asked to terminate and every getter answers a null object.
#pragma once

#include "TSPyObject.h"

class TSSetupLib {
public:
    static TSPyObject bottleQueryClass();
    static TSPyObject bottleManagementClass();
    static TSPyObject tsSetupClass();
    static TSPyObject tesseraConfigClass();
    static TSPyObject appDetectorClass();
    static TSPyObject cdDetectorClass();
    static TSPyObject quillProfilesClass();
    static TSPyObject installTaskClass();
    static TSPyObject tsAiEngineClass();
    static TSPyObject tsUtilsClass();
    static TSPyObject tsMenuClass();
    static TSPyObject bottleWrapperClass();

    // Runs the class initialisation now, once per process (the getters do it on first use).
    // True when the interpreter started and all twelve classes were found.
    static bool initialize();
    // Whether start-up was tried and failed (the user has been told).
    static bool failed();

private:
    static TSPyObject classAt(int index);
};
