// Reading of a server line of the "Web Server:" box: an optional name, the protocol, the host
// and port, or a single-study web link.
#pragma once

#include <string>

struct ServerLineAnalysis {
    std::string name;
    std::string protocol; // "http://", "https://", or empty for a link or an empty host
    std::string host;
    int port = -1;    // -1 when the line gives none
    std::string link; // the whole line when it is a single-study link
};

// Returns the line as it is shown and remembered; reading that text again gives the same
// name, protocol, host and port.
std::string AnalyzeLine(const std::string& line, ServerLineAnalysis* result);
