#include "ui/TextConversion.h"

#include "common/TextCodec.h"

#include <QDir>

namespace quillory::ui {

QString FromNetwork(const String& text) {
    return FromLocal(Cp1252ToUtf8(text));
}

String ToNetwork(const QString& text) {
    return Utf8ToCp1252(ToLocal(text));
}

QString FromLocal(const String& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

String ToLocal(const QString& text) {
    return text.toUtf8().toStdString();
}

QString ShownPath(const String& path) {
    return QDir::toNativeSeparators(FromLocal(path).replace(QLatin1Char('\\'), QLatin1Char('/')));
}

} // namespace quillory::ui
