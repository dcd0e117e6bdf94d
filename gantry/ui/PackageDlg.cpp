#include "gantry/ui/PackageDlg.h"

#include "gantry/ui/GantryControlIds.h"
#include "ui/WindowTitle.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillory::ui {

CPackageDlg::CPackageDlg(QWidget* parent)
    : QDialog(parent), nameEdit_(new QLineEdit(this)), homeEdit_(new QLineEdit(this)) {
    nameEdit_->setObjectName(QStringLiteral("packageName"));
    nameEdit_->setProperty("controlId", IDC_PACKAGE_NAME);
    homeEdit_->setObjectName(QStringLiteral("packageHomePage"));
    homeEdit_->setProperty("controlId", IDC_PACKAGE_HOME);
    auto* form = new QFormLayout;
    form->addRow(tr("Name"), nameEdit_);
    form->addRow(tr("Home page"), homeEdit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CPackageDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPackageDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
    setWindowTitle(QString::fromLatin1(CREATE_CAPTION));
}

void CPackageDlg::showEvent(QShowEvent* event) {
    if (!caption.isEmpty())
        setWindowTitle(caption);
    FitWindowTitle(this);
    nameEdit_->setText(name);
    homeEdit_->setText(homePage);
    nameEdit_->setFocus();
    QDialog::showEvent(event);
}

void CPackageDlg::accept() {
    name = nameEdit_->text().trimmed();
    homePage = homeEdit_->text();
    QDialog::accept();
}

} // namespace quillory::ui
