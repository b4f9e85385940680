// What a stand-in program records about its start: its command line and working folder.
#pragma once

#include <string>

// The folder of the running program, without a closing "\".
std::string ProgramFolder();
// Appends "command=<command line>" and "folder=<working folder>" lines to the file of that
// name beside the program; false when it cannot be written.
bool RecordStart(const char* fileName);
// Appends one line to that file.
bool RecordLine(const char* fileName, const char* line);
