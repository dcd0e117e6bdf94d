#include "ui/MessageBoxes.h"

namespace quillory::ui {

QMessageBox::StandardButton CMessageBoxes::Information(QWidget* parent, const QString& caption,
                                                       const QString& text) {
    asked_.append(caption + QStringLiteral(": ") + text);
    if (!answers_.empty()) {
        const QMessageBox::StandardButton answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    return QMessageBox::information(parent, caption, text);
}

} // namespace quillory::ui
