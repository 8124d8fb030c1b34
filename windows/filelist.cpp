#include "filelist.h"

#include "loading/filenames.h"
#include "loading/refusaltext.h"

#include <QKeyEvent>
#include <QRegularExpression>

#include <utility>

FileList::FileList(QWidget *parent) : QListWidget(parent), m_reader(new picture::FolderReader(this))
{
    connect(m_reader, &picture::FolderReader::arrived, this,
            [this](const QString &, const picture::FolderReading &reading) {
                show(reading.entries); // empty when the drive did not answer
            });
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
    m_keep = {currentRow(), currentItem() ? currentItem()->data(NameRole).toString() : QString(),
              true};
    fill();
}

void FileList::fill()
{
    clear();
    m_reader->cancel();
    if (m_folder.isEmpty())
        return;
    // A folder on a slow drive fills the list once it has been read; one that cannot be read
    // leaves it empty (the folder list says why).
    if (const std::optional<picture::FolderReading> reading = m_reader->read(m_folder))
        show(reading->entries);
    else
        setCursor(Qt::BusyCursor);
}

void FileList::show(const QList<picture::FolderEntry> &entries)
{
    unsetCursor();
    // Files only: no folders, even one named like a picture, and no hidden files. FIFOs,
    // devices and dangling links are listed as the files they are named as; the picture loader
    // refuses them when they are chosen.
    QList<QRegularExpression> patterns;
    for (const QString &pattern : m_pattern.split(u';', Qt::SkipEmptyParts))
        patterns.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                           QRegularExpression::CaseInsensitiveOption));
    QStringList names;
    for (const picture::FolderEntry &entry : entries) {
        const bool matches = std::any_of(patterns.begin(), patterns.end(), [&](const auto &p) {
            return p.match(picture::shownName(entry.name)).hasMatch();
        });
        if (!entry.isFolder && !entry.name.startsWith(u'.') && matches)
            names.append(entry.name);
    }
    names.sort(Qt::CaseInsensitive);
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(picture::oneLine(picture::shownName(name)), this);
        item->setData(NameRole, name);
    }
    keepPlace();
}

// After a refresh the entry that was current stays current and selected, or where it has gone
// the one before it is current.
void FileList::keepPlace()
{
    const Place keep = std::exchange(m_keep, {});
    if (!keep.wanted)
        return;
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(NameRole).toString() == keep.name) {
            setCurrentRow(i);
            return;
        }
    }
    if (keep.row > 0)
        setCurrentRow(qMin(keep.row, count()) - 1, QItemSelectionModel::NoUpdate);
}

void FileList::keyPressEvent(QKeyEvent *event)
{
    // Moving through the list with the keys selects a file just as a click does.
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before && currentItem() && currentItem()->isSelected())
        emit fileClicked(currentItem()->data(NameRole).toString());
}
