#include "XmlAttributes.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kInvalidDateTime = "Invalid DateTime";

// The atol reading with an explicit range; false when the number leaves it.
bool ReadDecimal(const char* text, int64_t lowest, int64_t highest, int64_t& value) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int64_t magnitude = 0;
    const int64_t limit = negative ? -lowest : highest;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit)
            return false;
    }
    value = negative ? -magnitude : magnitude;
    return true;
}

bool Attribute(const XmlNode& node, const char* name, const char*& value) {
    if (node.IsEmpty() || !name)
        return false;
    // GetAttribute answers nullptr both for a missing attribute and for one without value;
    // only a found one moves the position.
    int position = 0;
    value = GetAttribute(node, name, &position);
    if (position == 0)
        return false;
    if (!value)
        value = "";
    return true;
}

} // namespace

bool ReadTextAttribute(const XmlNode& node, const char* name, std::string& text) {
    try {
        const char* value;
        if (!Attribute(node, name, value))
            return false;
        text = value;
        return true;
    } catch (...) {
        return false;
    }
}

bool ReadIntAttribute(const XmlNode& node, const char* name, int32_t& value) {
    const char* text;
    int64_t number;
    if (!Attribute(node, name, text) || !ReadDecimal(text, INT32_MIN, INT32_MAX, number))
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

bool ReadUIntAttribute(const XmlNode& node, const char* name, uint32_t& value) {
    const char* text;
    int64_t number;
    if (!Attribute(node, name, text) ||
        !ReadDecimal(text, -int64_t(UINT32_MAX), UINT32_MAX, number))
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool ReadDateAttribute(const XmlNode& node, const char* name, DateTime& value) {
    try {
        const char* text;
        if (!Attribute(node, name, text) || !*text) {
            if (node.IsEmpty() || !name)
                return false;
            value = DateTime{0, DateTime::null};
            return true;
        }
        if (strcmp(text, kInvalidDateTime) == 0) {
            value = DateTime{0, DateTime::invalid};
            return true;
        }
        DateTime parsed = ParseDateTime(text, 0, kDayFirstLocale);
        if (!parsed.IsValid())
            return false;
        value = parsed;
        return true;
    } catch (...) {
        return false;
    }
}

namespace {

template <typename Convert>
bool ReadTime(const XmlNode& node, const char* name, int64_t& seconds, Convert convert) {
    DateTime value;
    if (!ReadDateAttribute(node, name, value) || !value.IsValid())
        return false;
    DateTimeFields fields{};
    if (!DateTimeToFields(value, fields))
        return false;
    if (fields.year < 1900) {
        seconds = 0;
        return true;
    }
    return convert(value, seconds);
}

} // namespace

bool ReadTimeAttribute(const XmlNode& node, const char* name, int64_t& seconds) {
    return ReadTime(node, name, seconds, DateTimeToSeconds);
}

bool ReadTimeAttribute(const XmlNode& node, const char* name, int64_t& seconds,
                       LocalTimeConverter& converter) {
    return ReadTime(node, name, seconds, [&converter](const DateTime& value, int64_t& result) {
        return converter.ToSeconds(value, result);
    });
}

bool WriteTextAttribute(const XmlNode& node, const char* name, const char* text) {
    if (node.IsEmpty() || !name || !text)
        return false;
    const int before = AttributeCount(node);
    AddAttribute(node, name, text);
    return AttributeCount(node) == before + 1;
}

bool WriteUIntAttribute(const XmlNode& node, const char* name, uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value));
    return WriteTextAttribute(node, name, text);
}

bool WriteDateAttribute(const XmlNode& node, const char* name, const DateTime& value) {
    try {
        return WriteTextAttribute(node, name, FormatDateTime(value, "%d/%m/%Y %H:%M:%S").c_str());
    } catch (...) {
        return false;
    }
}

bool WriteTimeAttribute(const XmlNode& node, const char* name, int64_t seconds) {
    DateTime value = DateTimeFromSeconds(seconds);
    if (!value.IsValid())
        return false;
    return WriteDateAttribute(node, name, value);
}
