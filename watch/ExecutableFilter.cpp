#include "watch/ExecutableFilter.h"

#include <QFileDialog>
#include <QFileSystemModel>

namespace quillory::ui {

void CExecutableFilter::Install(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilter(QString::fromLatin1(FILTER_TEXT));
    dialog.setProxyModel(new CExecutableFilter(&dialog));
    // The text's own patterns would hide "Ironvale.exe"; the proxy decides instead.
    if (auto* files = qobject_cast<QFileSystemModel*>(dialog.proxyModel()->sourceModel()))
        files->setNameFilters({});
}

bool CExecutableFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files == nullptr)
        return true;
    const QModelIndex index = files->index(sourceRow, 0, sourceParent);
    if (files->isDir(index))
        return true;
    const QString name = files->fileName(index);
    return name.compare(QStringLiteral("IRONVALE.EXE"), Qt::CaseInsensitive) == 0 ||
           name.compare(QStringLiteral("IRONVALEUPRISING.EXE"), Qt::CaseInsensitive) == 0;
}

} // namespace quillory::ui
