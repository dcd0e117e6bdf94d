#pragma once
// The "Server" dialog: description, address, password and startup parameters of one entry.

#include "ui/ToolTipDialog.h"

class QLineEdit;

namespace quillory::ui {

class CServerDialog final : public CToolTipDialog {
    Q_OBJECT

public:
    struct Fields {
        QString description;
        QString address;
        QString password;
        QString parameters;
    };

    // The description edit is disabled when `descriptionEditable` is false (adding).
    CServerDialog(const Fields& fields, bool descriptionEditable, QWidget* parent = nullptr);

    // After "OK": address, description and parameters trimmed, the password as typed.
    const Fields& Result() const { return result_; }

    void accept() override;

private:
    QLineEdit* description_;
    QLineEdit* address_;
    QLineEdit* password_;
    QLineEdit* parameters_;
    Fields result_;
};

} // namespace quillory::ui
