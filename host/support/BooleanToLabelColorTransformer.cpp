#include "BooleanToLabelColorTransformer.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

QMetaType BooleanToLabelColorTransformer::transformedValueClass() {
    return QMetaType::fromType<QColor>();
}

QVariant BooleanToLabelColorTransformer::transformedValue(const QVariant& value) const {
    const QPalette palette = QGuiApplication::palette();
    const QPalette::ColorGroup group = value.toBool() ? QPalette::Active : QPalette::Disabled;
    return QVariant::fromValue(palette.color(group, QPalette::WindowText));
}
