#include "watch/TextConversion.h"

#include <array>

namespace quillory::ui {

QString FromNetwork(const String& text) {
    // 0x80..0x9F are where Windows-1252 differs from Latin-1; 0 marks its five unused codes.
    static constexpr std::array<char16_t, 32> kHigh = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    QString result;
    result.reserve(static_cast<qsizetype>(text.size()));
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 && byte < 0xA0 && kHigh[byte - 0x80] != 0)
            result.append(QChar(kHigh[byte - 0x80]));
        else if (byte >= 0x80 && byte < 0xA0)
            result.append(QChar(0xFFFD));
        else
            result.append(QChar(byte));
    }
    return result;
}

QString FromLocal(const String& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

String ToLocal(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace quillory::ui
