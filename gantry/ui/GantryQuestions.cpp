#include "gantry/ui/GantryQuestions.h"

namespace quillory::ui {

bool CGantryQuestions::Confirm(QWidget* parent, const QString& text) {
    asked_.push_back(text);
    if (!answers_.empty()) {
        const bool yes = answers_.front();
        answers_.pop_front();
        return yes;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(CAPTION), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CGantryQuestions::Tell(QWidget* parent, const QString& text) {
    asked_.push_back(text);
    if (!answers_.empty()) {
        answers_.pop_front();
        return;
    }
    QMessageBox::information(parent, QString::fromLatin1(CAPTION), text, QMessageBox::Ok);
}

} // namespace quillory::ui
