// Greys out labels bound to a boolean: the palette's normal text colour for true, its disabled
// text colour for false.
#pragma once

#include <QMetaType>
#include <QVariant>

class BooleanToLabelColorTransformer {
public:
    static QMetaType transformedValueClass();
    static bool allowsReverseTransformation() { return false; }
    QVariant transformedValue(const QVariant& value) const;
};
