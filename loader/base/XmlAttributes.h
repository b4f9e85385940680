// Reading and writing typed attributes of an element, for objects kept as XML. Every
// helper returns false on any failure.
#pragma once

#include <cstdint>
#include <string>

#include "DateTime.h"
#include "XmlNode.h"

// False when the attribute is missing (an attribute without value reads as "").
bool ReadTextAttribute(const XmlNode& node, const char* name, std::string& text);
// Decimal text read like atol: leading blanks and a sign allowed, reading stops at the first
// other character, no digits give 0. False when missing or out of range.
bool ReadIntAttribute(const XmlNode& node, const char* name, int32_t& value);
// The same within the unsigned 32-bit range (a negative value wraps, as with strtoul).
bool ReadUIntAttribute(const XmlNode& node, const char* name, uint32_t& value);
// Missing or empty gives the null value, "Invalid DateTime" the invalid one; any other text
// must be a day-first date.
bool ReadDateAttribute(const XmlNode& node, const char* name, DateTime& value);
// A valid date read as local time in seconds since 1970 (0 for years before 1900); false for
// null and invalid values.
bool ReadTimeAttribute(const XmlNode& node, const char* name, int64_t& seconds);
// The same through a converter kept for many values.
bool ReadTimeAttribute(const XmlNode& node, const char* name, int64_t& seconds,
                       LocalTimeConverter& converter);

bool WriteTextAttribute(const XmlNode& node, const char* name, const char* text);
bool WriteUIntAttribute(const XmlNode& node, const char* name, uint32_t value);
// "%d/%m/%Y %H:%M:%S"; "" for the null value, "Invalid DateTime" for an invalid one.
bool WriteDateAttribute(const XmlNode& node, const char* name, const DateTime& value);
// Seconds since 1970 written as local date and time; false when they have no local time.
bool WriteTimeAttribute(const XmlNode& node, const char* name, int64_t seconds);
