// The rules of an update session that do not depend on the platform: server address and
// URLs, version comparison, the request body, the local client directory, the workstation's
// parameters, and how status texts are formatted, cut and split into lines.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "Text.h"

class CStringMap;

// Size of the buffer a status text is formatted into; longer texts are cut to it.
constexpr size_t kStatusTextBufferSize = 1000;

// Host, then ":" and the port when it is 0 or more and not 80.
std::string MakeServerAddress(const std::string& host, int port);

// The server's address taken from a single-study link ("http[s]://host[:port]/..."):
// false when the link names no host.
bool ServerFromLink(const std::string& link, std::string* protocol, std::string* host, int* port);

// -1, 0 or 1: dotted numbers compared component by component, missing ones counting 0.
int CompareVersions(const std::string& a, const std::string& b);

// Puts "64bit" into the keys read from ClientLoaderData.txt and tells whether they ask for
// mac mode ("mac" exactly "true").
bool PrepareClientLoaderData(CStringMap* data, bool use64);
// The request body: "key = value" lines in ascending key order, without a final break.
std::string MakeRequestBody(const CStringMap& data);

// The local client directory for a server version ("7.2.1" -> "7" or "7_64"). False when
// the version gives no safe folder name below the working folder (no ".", an empty first
// part, or a part that is a path).
bool LocalClientDirectory(const std::string& serverVersion, bool files64bit,
                          std::string* directory);

// The workstation program inside the client directory, and the semaphore it holds.
std::string WorkstationProgramPath(const std::string& directory);
std::string WorkstationSemaphoreName(const std::string& directory);

// A server file name as a part of a URL path: "#", "?" and "%" would end or change the path
// and are percent-encoded (blanks and other bytes are left to the URL parser).
std::string EscapeUrlPathName(const std::string& name);

// The client file's name after its last "/", and its URL on the server.
std::string ClientFileDisplayName(const std::string& fileName);
std::string ClientFileUrl(const std::string& serverBase, bool files64bit,
                          const std::string& fileName);

// What the log shows of a password: its first character and "...", nothing when it is empty.
std::string MaskedPassword(const std::string& password);

// " -E<link>" or " -W<server base>", then " -P<proxy with ':' as '!'>", " -Q<user>" and
// " -R<password>" for the values that are set.
std::string WorkstationParameters(const std::string& link, const std::string& serverBase,
                                  const std::string& proxyAddress, const std::string& proxyUser,
                                  const std::string& proxyPassword);

// Whole percent of done in total (100 when there is nothing to fetch).
int ProgressPercent(uint64_t done, uint64_t total);
// Kilobytes per second, rounded; 0 when nothing was received or no time was spent.
int DownloadRate(int64_t bytesReceived, uint64_t timeSpentMs);

// printf formatting into a status buffer: output that does not fit is cut.
std::string FormatStatusText(const char* format, ...) SKIFF_PRINTF(1, 2);
std::string FormatStatusTextV(const char* format, va_list args);
// A ready text cut to the status buffer.
std::string CutStatusText(const char* text);

// Lines of a status text: a break is any run of "\r" and "\n"; the piece before the first
// break is always a line; a break at the end gives no further line.
std::vector<std::string> SplitStatusLines(const std::string& text);
