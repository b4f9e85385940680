// A reference to an object of the embedded interpreter, usable from the Qt side of the host
// without Python's headers. Every operation takes the interpreter lock itself, so any thread
// may use it. Values cross as QVariants: None, booleans, integers, floats, strings, bytes,
// lists and string-keyed dictionaries convert both ways; any other object stays a TSPyObject.
#pragma once

#include <QMetaType>
#include <QVariant>

struct _object;

class TSPyObject {
public:
    TSPyObject() = default;
    TSPyObject(const TSPyObject& other);
    TSPyObject(TSPyObject&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    TSPyObject& operator=(TSPyObject other) noexcept;
    ~TSPyObject();

    // Takes over a new reference (the caller holds the interpreter lock).
    static TSPyObject fromNewReference(_object* object);
    _object* borrowed() const { return object_; }

    bool isNull() const { return object_ == nullptr; }
    bool operator==(const TSPyObject& other) const { return object_ == other.object_; }

    // Calls the named method. A Python exception is printed to the console, logged, and
    // gives an invalid QVariant with *ok (when given) false.
    QVariant call(const char* method, const QVariantList& arguments = {}, bool* ok = nullptr) const;
    // Whether the object has a callable attribute of that name.
    bool respondsTo(const char* method) const;

    // Key-value access: attributes (properties included).
    QVariant valueForKey(const char* key, bool* ok = nullptr) const;
    bool setValueForKey(const QVariant& value, const char* key);

    // The name of the object's type, for messages.
    QString typeName() const;

private:
    _object* object_ = nullptr;
};
Q_DECLARE_METATYPE(TSPyObject)
