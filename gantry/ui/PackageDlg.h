#pragma once
// The package dialog: a name and a home page, for creating or editing a package.

#include <QDialog>
#include <QString>

class QLineEdit;

namespace quillory::ui {

class CPackageDlg final : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* CREATE_CAPTION = "Create new package";
    static constexpr const char* EDIT_CAPTION = "Edit package";

    explicit CPackageDlg(QWidget* parent = nullptr);

    // Shown in the edits when the dialog opens; after OK, what was entered (the name trimmed).
    QString name;
    QString homePage;
    // The window caption when not empty.
    QString caption;

    QLineEdit* NameEdit() const { return nameEdit_; }

protected:
    void showEvent(QShowEvent* event) override;

public slots:
    void accept() override;

private:
    QLineEdit* nameEdit_;
    QLineEdit* homeEdit_;
};

} // namespace quillory::ui
