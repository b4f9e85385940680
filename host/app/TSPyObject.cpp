#include "PythonSupport.h"

#include "TSBridge.h"
#include "TSLog.h"
#include "TSPyObject.h"

#include <QStringList>
#include <QVariantMap>

#include <cstdio>

bool tsTakeSystemExit(bool* success, QString* status) {
    if (!PyErr_ExceptionMatches(PyExc_SystemExit))
        return false;
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyObject* code = value ? PyObject_GetAttrString(value, "code") : nullptr;
    if (success)
        *success = code == Py_None || (code && PyLong_Check(code) && PyLong_AsLong(code) == 0);
    PyObject* text = code ? PyObject_Repr(code) : nullptr;
    if (status)
        *status = text ? tsQStringFromPythonString(text) : QStringLiteral("?");
    Py_XDECREF(text);
    Py_XDECREF(code);
    PyErr_Clear();
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    return true;
}

void tsPrintPythonError() {
    if (!PyErr_Occurred())
        return;
    // PyErr_Print would end the process on SystemExit.
    QString status;
    if (tsTakeSystemExit(nullptr, &status))
        std::fprintf(stderr, "SystemExit: %s\n", status.toUtf8().constData());
    else
        PyErr_Print();
}

PyObject* tsPythonStringFromQString(const QString& string) {
    const QByteArray utf8 = string.toUtf8();
    return PyUnicode_DecodeUTF8(utf8.constData(), utf8.size(), "surrogateescape");
}

QString tsQStringFromPythonString(PyObject* string) {
    PyObject* bytes = PyUnicode_AsEncodedString(string, "utf-8", "surrogateescape");
    if (!bytes) {
        PyErr_Clear();
        return QString();
    }
    const QString result = QString::fromUtf8(PyBytes_AS_STRING(bytes), PyBytes_GET_SIZE(bytes));
    Py_DECREF(bytes);
    return result;
}

namespace {

// New reference, or null with a Python error set.
PyObject* toPython(const QVariant& value);

PyObject* listToPython(const QVariantList& list) {
    PyObject* result = PyList_New(list.size());
    if (!result)
        return nullptr;
    for (qsizetype i = 0; i < list.size(); ++i) {
        PyObject* element = toPython(list[i]);
        if (!element) {
            Py_DECREF(result);
            return nullptr;
        }
        PyList_SET_ITEM(result, i, element);
    }
    return result;
}

PyObject* toPython(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        Py_RETURN_NONE;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return PyBool_FromLong(value.toBool());
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
        return PyLong_FromLongLong(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        return PyLong_FromUnsignedLongLong(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return PyFloat_FromDouble(value.toDouble());
    case QMetaType::QString:
        return tsPythonStringFromQString(value.toString());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return PyBytes_FromStringAndSize(bytes.constData(), bytes.size());
    }
    case QMetaType::QStringList: {
        QVariantList list;
        for (const QString& string : value.toStringList())
            list.append(string);
        return listToPython(list);
    }
    case QMetaType::QVariantList:
        return listToPython(value.toList());
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        PyObject* result = PyDict_New();
        for (auto it = map.begin(); result && it != map.end(); ++it) {
            PyObject* key = tsPythonStringFromQString(it.key());
            PyObject* element = key ? toPython(it.value()) : nullptr;
            if (!element || PyDict_SetItem(result, key, element) < 0)
                Py_CLEAR(result);
            Py_XDECREF(key);
            Py_XDECREF(element);
        }
        return result;
    }
    default:
        break;
    }
    if (value.metaType() == QMetaType::fromType<TSPyObject>()) {
        PyObject* object = value.value<TSPyObject>().borrowed();
        if (!object)
            Py_RETURN_NONE;
        Py_INCREF(object);
        return object;
    }
    PyErr_Format(PyExc_TypeError, "no Python form for a value of type %s", value.metaType().name());
    return nullptr;
}

QVariant fromPython(PyObject* object) {
    if (object == Py_None)
        return QVariant();
    if (PyBool_Check(object))
        return QVariant(object == Py_True);
    if (PyLong_Check(object)) {
        int overflow = 0;
        const long long number = PyLong_AsLongLongAndOverflow(object, &overflow);
        if (!overflow)
            return QVariant(static_cast<qlonglong>(number));
        return QVariant(PyLong_AsDouble(object));
    }
    if (PyFloat_Check(object))
        return QVariant(PyFloat_AsDouble(object));
    if (PyUnicode_Check(object))
        return QVariant(tsQStringFromPythonString(object));
    if (PyBytes_Check(object))
        return QVariant(QByteArray(PyBytes_AS_STRING(object), PyBytes_GET_SIZE(object)));
    if (PyList_Check(object) || PyTuple_Check(object)) {
        QVariantList list;
        const Py_ssize_t count = PySequence_Fast_GET_SIZE(object);
        for (Py_ssize_t i = 0; i < count; ++i)
            list.append(fromPython(PySequence_Fast_GET_ITEM(object, i)));
        return list;
    }
    if (PyDict_Check(object)) {
        QVariantMap map;
        PyObject* key = nullptr;
        PyObject* element = nullptr;
        Py_ssize_t position = 0;
        bool stringKeys = true;
        while (stringKeys && PyDict_Next(object, &position, &key, &element)) {
            stringKeys = PyUnicode_Check(key);
            if (stringKeys)
                map.insert(tsQStringFromPythonString(key), fromPython(element));
        }
        if (stringKeys)
            return map;
    }
    Py_INCREF(object);
    return QVariant::fromValue(TSPyObject::fromNewReference(object));
}

// The interpreter is never finalised; this only guards uses before it starts.
bool interpreterRunning() {
    return Py_IsInitialized() != 0;
}

void logFailure(const char* function, const TSPyObject& object, const char* name) {
    TSSystemLog("%s: %s.%s failed; see the console for the Python error\n", function,
                object.typeName().toUtf8().constData(), name);
}

} // namespace

TSPyObject::TSPyObject(const TSPyObject& other) : object_(other.object_) {
    if (object_) {
        TSPythonLock lock;
        Py_INCREF(object_);
    }
}

TSPyObject& TSPyObject::operator=(TSPyObject other) noexcept {
    std::swap(object_, other.object_);
    return *this;
}

TSPyObject::~TSPyObject() {
    if (object_ && interpreterRunning()) {
        TSPythonLock lock;
        Py_DECREF(object_);
    }
}

TSPyObject TSPyObject::fromNewReference(_object* object) {
    TSPyObject result;
    result.object_ = object;
    return result;
}

QVariant TSPyObject::call(const char* method, const QVariantList& arguments, bool* ok) const {
    if (ok)
        *ok = false;
    if (!object_)
        return QVariant();
    TSPythonLock lock;
    PyObject* callable = PyObject_GetAttrString(object_, method);
    PyObject* tuple = callable ? PyTuple_New(arguments.size()) : nullptr;
    for (qsizetype i = 0; tuple && i < arguments.size(); ++i) {
        PyObject* argument = toPython(arguments[i]);
        if (!argument)
            Py_CLEAR(tuple);
        else
            PyTuple_SET_ITEM(tuple, i, argument);
    }
    PyObject* result = tuple ? PyObject_Call(callable, tuple, nullptr) : nullptr;
    Py_XDECREF(tuple);
    Py_XDECREF(callable);
    if (!result) {
        tsPrintPythonError();
        logFailure("TSPyObject::call", *this, method);
        return QVariant();
    }
    const QVariant value = fromPython(result);
    Py_DECREF(result);
    if (ok)
        *ok = true;
    return value;
}

bool TSPyObject::respondsTo(const char* method) const {
    if (!object_)
        return false;
    TSPythonLock lock;
    PyObject* callable = PyObject_GetAttrString(object_, method);
    if (!callable) {
        PyErr_Clear();
        return false;
    }
    const bool answer = PyCallable_Check(callable);
    Py_DECREF(callable);
    return answer;
}

QVariant TSPyObject::valueForKey(const char* key, bool* ok) const {
    if (ok)
        *ok = false;
    if (!object_)
        return QVariant();
    TSPythonLock lock;
    PyObject* value = PyObject_GetAttrString(object_, key);
    if (!value) {
        tsPrintPythonError();
        logFailure("TSPyObject::valueForKey", *this, key);
        return QVariant();
    }
    const QVariant result = fromPython(value);
    Py_DECREF(value);
    if (ok)
        *ok = true;
    return result;
}

bool TSPyObject::setValueForKey(const QVariant& value, const char* key) {
    if (!object_)
        return false;
    TSPythonLock lock;
    PyObject* pythonValue = toPython(value);
    const bool done = pythonValue && PyObject_SetAttrString(object_, key, pythonValue) == 0;
    Py_XDECREF(pythonValue);
    if (!done) {
        tsPrintPythonError();
        logFailure("TSPyObject::setValueForKey", *this, key);
    }
    return done;
}

QString TSPyObject::typeName() const {
    if (!object_)
        return QStringLiteral("None");
    TSPythonLock lock;
    // A class names itself; an instance names its class.
    PyTypeObject* type =
        PyType_Check(object_) ? reinterpret_cast<PyTypeObject*>(object_) : Py_TYPE(object_);
    return QString::fromUtf8(type->tp_name);
}

TSPyObject tsbridgeLookupClass(const char* name) {
    if (!interpreterRunning())
        return TSPyObject();
    TSPythonLock lock;
    PyObject* module = PyImport_ImportModule("tsbridge");
    PyObject* found = module ? PyObject_CallMethod(module, "lookup_class", "s", name) : nullptr;
    Py_XDECREF(module);
    if (!found) {
        tsPrintPythonError();
        return TSPyObject();
    }
    if (found == Py_None) {
        Py_DECREF(found);
        return TSPyObject();
    }
    return TSPyObject::fromNewReference(found);
}
