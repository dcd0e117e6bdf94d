#include "watch/GantryWarningDialog.h"

#include "ui/ControlIds.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace quillory::ui {

namespace {

constexpr int TEXT_POINT_SIZE = 9;

} // namespace

QLabel* CGantryWarningDialog::PackageList(const char* heading, const QStringList& names,
                                          const char* name) {
    auto* list = new QLabel(this);
    list->setObjectName(QString::fromLatin1(name));
    list->setTextFormat(Qt::PlainText);
    list->setWordWrap(true);
    list->setText(QString::fromLatin1(heading) + QStringLiteral("\n    ") +
                  names.join(QStringLiteral("\n    ")));
    list->setVisible(!names.isEmpty());
    return list;
}

CGantryWarningDialog::CGantryWarningDialog(QWidget* parent, const QStringList& required,
                                           const QStringList& optional)
    : CToolTipDialog(parent) {
    setWindowTitle(QString::fromLatin1(CAPTION));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("warningIcon"));
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size));
    icon->setAlignment(Qt::AlignTop);

    auto* text = new QLabel(QString::fromLatin1(TEXT), this);
    SetControlId(text, IDC_WARNING_TEXT, QStringLiteral("warningText"));
    text->setWordWrap(true);
    text->setFont(QFont(QStringLiteral("Arial"), TEXT_POINT_SIZE));
    text->setMinimumWidth(300);

    auto* manager = new QPushButton(QStringLiteral("Gantry Manager"), this);
    SetControlId(manager, IDC_OK, QStringLiteral("managerButton"));
    manager->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    SetControlId(cancel, IDC_CANCEL, QStringLiteral("cancelButton"));
    auto* force = new QPushButton(QStringLiteral("Force connect"), this);
    SetControlId(force, IDC_FORCE_CONNECT, QStringLiteral("forceButton"));
    connect(manager, &QPushButton::clicked, this, &CGantryWarningDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CGantryWarningDialog::reject);
    connect(force, &QPushButton::clicked, this, &CGantryWarningDialog::ForceConnect);

    auto* texts = new QVBoxLayout;
    texts->addWidget(text);
    texts->addWidget(PackageList(REQUIRED_HEADING, required, "requiredList"));
    texts->addWidget(PackageList(OPTIONAL_HEADING, optional, "optionalList"));
    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(manager);
    buttons->addWidget(cancel);
    buttons->addWidget(force);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    InitToolTips();
}

CGantryWarningDialog::Choice CGantryWarningDialog::Result() const {
    if (result() != QDialog::Accepted)
        return Choice::CANCEL;
    return forced_ ? Choice::FORCE_CONNECT : Choice::MANAGER;
}

void CGantryWarningDialog::ForceConnect() {
    forced_ = true;
    accept();
}

} // namespace quillory::ui
