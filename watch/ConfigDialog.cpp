#include "watch/ConfigDialog.h"

#include "ui/ControlIds.h"
#include "watch/ExecutableFilter.h"
#include "watch/TrayIcon.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QVBoxLayout>

namespace quillory::ui {

CConfigDialog::CConfigDialog(const QString& gameFolder, QWidget* parent)
    : CToolTipDialog(parent), folder_(new QLineEdit(gameFolder, this)),
      disableGantry_(new QCheckBox(QStringLiteral("Disable Gantry :-("), this)),
      gameFolder_(gameFolder) {
    setWindowTitle(QStringLiteral("Quillory config"));
    SetControlId(folder_, IDC_CONFIG_GAME_FOLDER, QStringLiteral("gameFolderEdit"));
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    SetControlId(browse, IDC_CONFIG_BROWSE, QStringLiteral("browseButton"));
    browse->setMaximumWidth(32);
    connect(browse, &QPushButton::clicked, this, &CConfigDialog::Browse);
    SetControlId(disableGantry_, IDC_CONFIG_DISABLE_GANTRY, QStringLiteral("disableGantryBox"));
    // Shown for its own sake; switching Gantry off is not offered.
    disableGantry_->setEnabled(false);
    CreateChoiceWidgets();

    auto* row = new QHBoxLayout;
    row->addWidget(folder_, 1);
    row->addWidget(browse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    SetControlId(buttons->button(QDialogButtonBox::Ok), IDC_OK, QStringLiteral("okButton"));
    SetControlId(buttons->button(QDialogButtonBox::Cancel), IDC_CANCEL,
                 QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CConfigDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConfigDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Ironvale path"), this));
    layout->addLayout(row);
    layout->addWidget(disableGantry_);
    auto* friendsBox = new QGroupBox(QStringLiteral("Friends"), this);
    friendsBox->setLayout(FriendsLayout());
    layout->addWidget(friendsBox, 1);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Ask the saved servers every"), refresh_);
    layout->addLayout(form);
    layout->addWidget(desktopNotifications_);
    layout->addWidget(closeToTray_);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    InitToolTips();
    SetChoices(Choices{});
}

void CConfigDialog::CreateChoiceWidgets() {
    friends_ = new QListWidget(this);
    friends_->setObjectName(QStringLiteral("friendsList"));
    friends_->setToolTip(QStringLiteral("Player names in any letter case; * stands for any text"));
    friendName_ = new QLineEdit(this);
    friendName_->setObjectName(QStringLiteral("friendNameEdit"));
    friendName_->setPlaceholderText(QStringLiteral("Name or pattern, e.g. Marrow*"));
    refresh_ = new QSpinBox(this);
    refresh_->setObjectName(QStringLiteral("refreshSpin"));
    refresh_->setRange(MIN_REFRESH_SECONDS, MAX_REFRESH_SECONDS);
    refresh_->setSuffix(QStringLiteral(" s"));
    desktopNotifications_ =
        new QCheckBox(QStringLiteral("Show changes as desktop notifications"), this);
    desktopNotifications_->setObjectName(QStringLiteral("desktopNotificationsBox"));
    closeToTray_ = new QCheckBox(QStringLiteral("Close to tray"), this);
    closeToTray_->setObjectName(QStringLiteral("closeToTrayBox"));
    // Offered all the same, so the choice is kept for a desktop that has a tray.
    if (!CTrayIcon::Available())
        closeToTray_->setText(QString::fromLatin1(NO_TRAY_TEXT));
}

QLayout* CConfigDialog::FriendsLayout() {
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    add->setObjectName(QStringLiteral("addFriendButton"));
    add->setAutoDefault(false);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    remove->setObjectName(QStringLiteral("removeFriendButton"));
    remove->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, &CConfigDialog::AddFriend);
    connect(friendName_, &QLineEdit::returnPressed, this, &CConfigDialog::AddFriend);
    connect(remove, &QPushButton::clicked, this, &CConfigDialog::RemoveFriend);
    auto* entry = new QHBoxLayout;
    entry->addWidget(friendName_, 1);
    entry->addWidget(add);
    entry->addWidget(remove);
    auto* layout = new QVBoxLayout;
    layout->addWidget(friends_, 1);
    layout->addLayout(entry);
    return layout;
}

void CConfigDialog::SetChoices(const Choices& choices) {
    friends_->clear();
    for (const QString& name : choices.friends)
        friends_->addItem(name);
    refresh_->setValue(choices.refreshSeconds);
    desktopNotifications_->setChecked(choices.desktopNotifications);
    closeToTray_->setChecked(choices.closeToTray);
    choices_ = choices;
}

void CConfigDialog::AddFriend() {
    const QString name = friendName_->text().trimmed();
    if (name.isEmpty())
        return;
    for (int i = 0; i < friends_->count(); ++i)
        if (friends_->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
            return;
    friends_->addItem(name);
    friendName_->clear();
}

void CConfigDialog::RemoveFriend() {
    const int row = friends_->currentRow();
    if (row >= 0)
        delete friends_->takeItem(row);
}

QString CConfigDialog::FolderOfExecutable(const QString& path, const QString& current) {
    const qsizetype slash =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return slash < 0 ? current : path.left(slash + 1);
}

QString CConfigDialog::ChooseExecutable(QWidget* parent) {
    // The dialog may move the process's current folder, where the data files live.
    const QString saved = QDir::currentPath();
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    CExecutableFilter::Install(dialog);
    QString chosen;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        chosen = dialog.selectedFiles().constFirst();
    QDir::setCurrent(saved);
    return chosen;
}

void CConfigDialog::Browse() {
    const QString chosen = ChooseExecutable(this);
    if (!chosen.isEmpty())
        folder_->setText(FolderOfExecutable(chosen, folder_->text()));
}

void CConfigDialog::accept() {
    const QString text = folder_->text();
    gameFolder_ = text;
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\\')) && !text.endsWith(QLatin1Char('/')))
        gameFolder_ += QDir::separator();
    // A name typed but not added yet is what the player meant to add.
    AddFriend();
    choices_.friends.clear();
    QSet<QString> seen;
    for (int i = 0; i < friends_->count(); ++i) {
        const QString name = friends_->item(i)->text().trimmed();
        if (!name.isEmpty() && !seen.contains(name.toLower())) {
            seen.insert(name.toLower());
            choices_.friends << name;
        }
    }
    choices_.refreshSeconds = refresh_->value();
    choices_.desktopNotifications = desktopNotifications_->isChecked();
    choices_.closeToTray = closeToTray_->isChecked();
    CToolTipDialog::accept();
}

} // namespace quillory::ui
