#include "ui/StringTable.h"

#include <QFile>
#include <QStringList>

namespace quillory::ui {

CStringTable CStringTable::Embedded() {
    QFile file(QStringLiteral(":/strings/strings.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return Parse(QString::fromUtf8(file.readAll()));
}

CStringTable CStringTable::Parse(const QString& text) {
    CStringTable table;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab <= 0)
            continue;
        bool ok = false;
        const int id = line.left(tab).toInt(&ok);
        if (!ok)
            continue;
        QString value = line.mid(tab + 1);
        if (value.endsWith(QLatin1Char('\r')))
            value.chop(1);
        table.texts_.insert(id, value);
    }
    return table;
}

std::optional<QString> CStringTable::Find(int id) const {
    const auto it = texts_.constFind(id);
    if (it == texts_.constEnd())
        return std::nullopt;
    return *it;
}

} // namespace quillory::ui
