#include "filelist.h"

#include <QDir>
#include <QKeyEvent>

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setObjectName(QStringLiteral("File1"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { emit fileClicked(item->text()); });
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

QString FileList::fileName() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::fill()
{
    clear();
    if (m_folder.isEmpty())
        return;
    // Files only: no folders, even one named like a picture, and no hidden files. FIFOs,
    // devices and dangling links are listed as the files they are named as; the picture loader
    // refuses them when they are chosen.
    const QStringList patterns = m_pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    const QStringList names = QDir(m_folder).entryList(patterns, QDir::Files | QDir::System,
                                                       QDir::Name | QDir::IgnoreCase);
    addItems(names);
}

void FileList::keyPressEvent(QKeyEvent *event)
{
    // Moving through the list with the keys selects a file just as a click does.
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentItem() && currentItem()->isSelected())
        emit fileClicked(currentItem()->text());
}
