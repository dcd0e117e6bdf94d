#include "watch/ServerDialog.h"

#include "ui/ControlIds.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillory::ui {

CServerDialog::CServerDialog(const Fields& fields, bool descriptionEditable, QWidget* parent)
    : CToolTipDialog(parent), description_(new QLineEdit(fields.description, this)),
      address_(new QLineEdit(fields.address, this)),
      password_(new QLineEdit(fields.password, this)),
      parameters_(new QLineEdit(fields.parameters, this)), result_(fields) {
    setWindowTitle(QStringLiteral("Server"));
    SetControlId(description_, IDC_SERVER_DESCRIPTION, QStringLiteral("descriptionEdit"));
    SetControlId(address_, IDC_SERVER_ADDRESS, QStringLiteral("addressEdit"));
    SetControlId(password_, IDC_SERVER_PASSWORD, QStringLiteral("passwordEdit"));
    SetControlId(parameters_, IDC_SERVER_PARAMETERS, QStringLiteral("parametersEdit"));
    description_->setEnabled(descriptionEditable);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Description"), description_);
    form->addRow(QStringLiteral("Address[:optional port]"), address_);
    form->addRow(QStringLiteral("Password"), password_);
    form->addRow(QStringLiteral("Startup parameters"), parameters_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), IDC_OK, QStringLiteral("okButton"));
    SetControlId(buttons->button(QDialogButtonBox::Cancel), IDC_CANCEL,
                 QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CServerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CServerDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    address_->setFocus();
    InitToolTips();
}

void CServerDialog::accept() {
    result_.description = description_->text().trimmed();
    result_.address = address_->text().trimmed();
    result_.password = password_->text();
    result_.parameters = parameters_->text().trimmed();
    CToolTipDialog::accept();
}

} // namespace quillory::ui
