// The registry through which the scripting layer makes its classes known to the host: the
// embedded module "tsbridge" with register_class(name, cls) and lookup_class(name).
#pragma once

#include "TSPyObject.h"

// The class registered under that name, or a null object (also before the interpreter runs).
TSPyObject tsbridgeLookupClass(const char* name);
