#pragma once
// The program's string table: texts by id, read from the resource ":/strings/strings.txt".

#include <QHash>
#include <QString>

#include <optional>

namespace quillory::ui {

class CStringTable final {
public:
    // The table compiled into the program.
    static CStringTable Embedded();
    // Lines "id<TAB>text"; empty lines, lines starting with "#" and lines without a valid id
    // are passed over.
    static CStringTable Parse(const QString& text);

    std::optional<QString> Find(int id) const;

private:
    QHash<int, QString> texts_;
};

} // namespace quillory::ui
