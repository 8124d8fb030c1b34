#include "folderlist.h"

#include "drivelist.h"

#include "loading/filenames.h"
#include "loading/refusaltext.h"
#include "loading/systemwords.h"

#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <cerrno>
#include <dirent.h>

namespace {

constexpr int IndentPerLevel = 10;

// Shifts each entry right by its depth, so the list reads like a branch of a tree.
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem shifted = option;
        shifted.rect.setLeft(option.rect.left() +
                             IndentPerLevel * index.data(FolderList::DepthRole).toInt());
        QStyledItemDelegate::paint(painter, shifted, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.rwidth() += IndentPerLevel * index.data(FolderList::DepthRole).toInt();
        return size;
    }
};

// The folders from root down to path, both included; root holds path.
QStringList ancestry(const QString &root, const QString &path)
{
    QStringList chain{root};
    const QStringList parts = path.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walked = root == QLatin1String("/") ? QString() : root;
    for (const QString &part : parts) {
        walked += QLatin1Char('/') + part;
        chain.append(walked);
    }
    return chain;
}

bool holds(const QString &root, const QString &path)
{
    return root == QLatin1String("/") || path == root || path.startsWith(root + QLatin1Char('/'));
}

// Relative paths count from the home folder: the process's current folder may be gone.
QString absoluteClean(const QString &path)
{
    return QDir::cleanPath(QDir(QDir::homePath()).absoluteFilePath(path));
}

} // namespace

QString joinedPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

FolderList::FolderList(QWidget *parent)
    : QListWidget(parent), m_reader(new picture::FolderReader(this))
{
    setObjectName(QStringLiteral("Dir1"));
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    // A single click only marks an entry; a double click or Enter opens it.
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::open);
    connect(m_reader, &picture::FolderReader::arrived, this,
            [this](const QString &folder, const picture::FolderReading &reading) {
                QString error;
                if (!arrive(folder, reading, &error))
                    emit openFailed(error);
            });
}

QString FolderList::errorText(const QString &folder, const picture::FolderReading &reading)
{
    const QString shown = picture::inSentence(picture::shownName(folder));
    if (!reading.answered)
        return QStringLiteral("資料夾「%1」所在的磁碟沒有回應。請確認磁碟或網路磁碟機可以使用，"
                              "再試一次。")
            .arg(shown);
    // Asking the system directly tells a missing folder from a locked one or an absent medium;
    // QDir would only give an empty list.
    switch (reading.error) {
    case 0:
        return {};
    case ENOENT:
        return QStringLiteral("找不到資料夾「%1」：它可能已被移除、改名，或所在的磁碟已退出。")
            .arg(shown);
    case EACCES:
    case EPERM:
        return QStringLiteral("沒有權限讀取資料夾「%1」。").arg(shown);
    case ENOTDIR:
        return QStringLiteral("「%1」不是資料夾。").arg(shown);
    case ENOMEDIUM:
        return QStringLiteral("磁碟「%1」中沒有媒體。請放入磁片或光碟後再試一次。").arg(shown);
    default:
        return QStringLiteral("無法讀取資料夾「%1」（%2）。")
            .arg(shown, picture::systemWords(reading.error));
    }
}

QString FolderList::readError(const QString &folder)
{
    picture::FolderReader reader;
    const std::optional<picture::FolderReading> reading = reader.read(folder);
    return errorText(folder, reading.value_or(picture::FolderReading{false, 0, {}}));
}

void FolderList::setDrives(const QStringList &roots)
{
    m_drives = roots;
    if (!m_drives.contains(QStringLiteral("/")))
        m_drives.prepend(QStringLiteral("/"));
}

bool FolderList::setPath(const QString &path, QString *error)
{
    const QString target = absoluteClean(path);
    const bool onDrive = !m_path.isEmpty() && holds(m_root, target);
    return setLocation(onDrive ? m_root : DriveList::driveOf(m_drives, target), target, error);
}

bool FolderList::setLocation(const QString &root, const QString &path, QString *error)
{
    const QString target = absoluteClean(path);
    m_wantedRoot = QDir::cleanPath(root);
    const std::optional<picture::FolderReading> reading = m_reader->read(target);
    if (!reading) { // a slow drive: the list stays as it is until its answer comes
        setCursor(Qt::BusyCursor);
        return true;
    }
    return arrive(target, *reading, error);
}

// The list shows the folder read, or stays as it was and says why not.
bool FolderList::arrive(const QString &target, const picture::FolderReading &reading,
                        QString *error)
{
    unsetCursor();
    const QString problem = errorText(target, reading);
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return false;
    }
    const bool changed = target != m_path;
    m_root = holds(m_wantedRoot, target) ? m_wantedRoot : QStringLiteral("/");
    m_path = target;
    fill(reading.entries);
    if (changed)
        emit pathChanged(m_path);
    return true;
}

void FolderList::setNearestPath(const QString &path)
{
    QString folder = absoluteClean(path);
    // Each step is one folder up, so the walk ends at "/" at the latest.
    while (!readError(folder).isEmpty() && folder != QLatin1String("/"))
        folder = QDir::cleanPath(folder + QStringLiteral("/.."));
    for (const QString &fallback : {folder, QDir::homePath(), QStringLiteral("/")}) {
        if (setPath(fallback))
            return;
    }
}

void FolderList::fill(const QList<picture::FolderEntry> &entries)
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    const QStringList chain = ancestry(m_root, m_path);
    for (int depth = 0; depth < chain.size(); ++depth) {
        const QString &folder = chain[depth];
        const QString name = depth == 0 ? folder : folder.mid(folder.lastIndexOf(u'/') + 1);
        auto *item =
            new QListWidgetItem(openIcon, picture::oneLine(picture::shownName(name)), this);
        item->setData(PathRole, folder);
        item->setData(DepthRole, depth);
    }
    QListWidgetItem *current = item(count() - 1);

    QStringList subfolders; // visible ones: hidden folders start with a dot
    for (const picture::FolderEntry &entry : entries) {
        if (entry.isFolder && !entry.name.startsWith(u'.'))
            subfolders.append(entry.name);
    }
    subfolders.sort(Qt::CaseInsensitive);
    for (const QString &name : subfolders) {
        auto *item =
            new QListWidgetItem(closedIcon, picture::oneLine(picture::shownName(name)), this);
        item->setData(PathRole, joinedPath(m_path, name));
        item->setData(DepthRole, int(chain.size()));
    }
    setCurrentItem(current);
    scrollToItem(current);
}

void FolderList::open(QListWidgetItem *item)
{
    if (!item)
        return;
    QString error;
    if (!setPath(item->data(PathRole).toString(), &error))
        emit openFailed(error);
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        open(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}
