#include "ui/TextConversion.h"

#include "common/TextCodec.h"

namespace quillory::ui {

QString FromNetwork(const String& text) {
    return FromLocal(Cp1252ToUtf8(text));
}

QString FromLocal(const String& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

String ToLocal(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace quillory::ui
