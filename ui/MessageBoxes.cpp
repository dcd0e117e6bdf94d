#include "ui/MessageBoxes.h"

#include <QPushButton>

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

bool CMessageBoxes::Offer(QWidget* parent, const QString& caption, const QString& text,
                          const QString& action) {
    asked_.append(caption + QStringLiteral(": ") + text);
    if (!answers_.empty()) {
        const QMessageBox::StandardButton answer = answers_.front();
        answers_.pop_front();
        return answer == QMessageBox::Open;
    }
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::NoButton, parent);
    QPushButton* open = box.addButton(action, QMessageBox::AcceptRole);
    box.addButton(QMessageBox::Close);
    box.setDefaultButton(open);
    box.exec();
    return box.clickedButton() == open;
}

} // namespace quillory::ui
