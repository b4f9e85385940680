// Local time as the system knows it, whatever TZ the process inherited.
#pragma once

// The C run-time reads TZ only in its own form ("EST5EDT"). Under Wine the loader inherits
// the Unix TZ, and a zone name such as "Europe/Berlin" would silently give UTC; such a
// value is removed so that the run-time follows the system's zone, which Wine takes from
// that same TZ. A value in the run-time's own form is kept.
void UseSystemTimeZone();
