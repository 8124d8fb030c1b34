#include "filelist.h"

#include "loading/filenames.h"
#include "loading/refusaltext.h"

#include <QKeyEvent>
#include <QRegularExpression>

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("File1"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { emit fileClicked(item->data(NameRole).toString()); });
}

void FileList::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    fill();
}

void FileList::setFolder(const QString &folder)
{
    m_folder = folder;
    fill();
}

void FileList::refresh()
{
    const int row = currentRow();
    const QString name = currentItem() ? currentItem()->data(NameRole).toString() : QString();
    fill();
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(NameRole).toString() == name) {
            setCurrentRow(i);
            return;
        }
    }
    if (row > 0)
        setCurrentRow(qMin(row, count()) - 1, QItemSelectionModel::NoUpdate);
}

void FileList::fill()
{
    clear();
    if (m_folder.isEmpty())
        return;
    // Files only: no folders, even one named like a picture, and no hidden files. FIFOs,
    // devices and dangling links are listed as the files they are named as; the picture loader
    // refuses them when they are chosen.
    QList<QRegularExpression> patterns;
    for (const QString &pattern : m_pattern.split(u';', Qt::SkipEmptyParts))
        patterns.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                           QRegularExpression::CaseInsensitiveOption));
    QStringList names;
    for (const picture::FolderEntry &entry : picture::listFolder(m_folder)) {
        const bool matches = std::any_of(patterns.begin(), patterns.end(), [&](const auto &p) {
            return p.match(picture::shownName(entry.name)).hasMatch();
        });
        if (!entry.isFolder && !entry.name.startsWith(u'.') && matches)
            names.append(entry.name);
    }
    names.sort(Qt::CaseInsensitive);
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(picture::isolated(picture::shownName(name)), this);
        item->setData(NameRole, name);
    }
}

void FileList::keyPressEvent(QKeyEvent *event)
{
    // Moving through the list with the keys selects a file just as a click does.
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentItem() && currentItem()->isSelected())
        emit fileClicked(currentItem()->data(NameRole).toString());
}
