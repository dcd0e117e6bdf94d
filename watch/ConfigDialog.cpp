#include "watch/ConfigDialog.h"

#include "ui/ControlIds.h"
#include "watch/ExecutableFilter.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
    layout->addWidget(buttons);
    setMinimumWidth(420);
    InitToolTips();
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
    CToolTipDialog::accept();
}

} // namespace quillory::ui
