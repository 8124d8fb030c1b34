#include "drivelist.h"

#include "loading/filenames.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QSignalBlocker>

#include <climits>
#include <unistd.h>

namespace {

// Kernel and service file systems that hold no player's files.
bool isPseudo(const QByteArray &type)
{
    static const QSet<QByteArray> pseudo = {
        "autofs",          "binfmt_misc", "bpf",        "cgroup",   "cgroup2",
        "configfs",        "debugfs",     "devpts",     "devtmpfs", "efivarfs",
        "fusectl",         "hugetlbfs",   "mqueue",     "nsfs",     "proc",
        "pstore",          "rpc_pipefs",  "securityfs", "sysfs",    "tracefs",
        "fuse.gvfsd-fuse", "fuse.portal",
    };
    return pseudo.contains(type);
}

bool isUnder(const QString &path, const QString &folder)
{
    return path.startsWith(folder + QLatin1Char('/'));
}

// Where desktops and administrators mount media a player browses.
bool isMediaMount(const QString &root)
{
    static const QStringList folders = {QStringLiteral("/media"), QStringLiteral("/mnt"),
                                        QStringLiteral("/run/media")};
    for (const QString &folder : folders) {
        if (root == folder || isUnder(root, folder))
            return true;
    }
    return false;
}

// Mount points and their file system types from the system's mount table, read as text: asking
// each mounted drive for its size, as QStorageInfo does, would wait on a drive that does not
// answer.
QList<std::pair<QString, QByteArray>> mounts()
{
    QList<std::pair<QString, QByteArray>> found;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return found;
    // "id parent major:minor root mount-point options [optional fields] - type source ..."
    // with spaces and other odd bytes in paths written as octal escapes ("\040").
    const auto unescaped = [](const QByteArray &field) {
        QByteArray out;
        for (qsizetype i = 0; i < field.size(); ++i) {
            bool octal = false;
            const int code = field.mid(i + 1, 3).toInt(&octal, 8);
            if (field[i] == '\\' && i + 3 < field.size() && octal) {
                out += char(code);
                i += 3;
            } else {
                out += field[i];
            }
        }
        return out;
    };
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 5 || dash + 1 >= fields.size())
            continue;
        found.append({picture::fromNative(unescaped(fields[4])), fields[dash + 1]});
    }
    return found;
}

DriveList::DriveSource &driveSource()
{
    static DriveList::DriveSource source;
    return source;
}

} // namespace

DriveList::DriveList(QWidget *parent) : QComboBox(parent)
{
    setObjectName(QStringLiteral("Drive1"));
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            emit driveChanged(itemText(index));
    });
}

void DriveList::setDriveSource(DriveSource source) { driveSource() = std::move(source); }

QString DriveList::currentFolder()
{
    // By its bytes: QDir::currentPath() loses those of a name that is not UTF-8.
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here))
        return QDir::cleanPath(picture::fromNative(here));
    // getcwd() refuses a removed folder; the kernel still knows where it was.
    QByteArray target(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/cwd", target.data(), size_t(target.size()));
    if (length > 0 && length < target.size()) {
        target.truncate(length);
        if (target.endsWith(" (deleted)"))
            target.chop(int(sizeof(" (deleted)")) - 1);
        QString was = QDir::cleanPath(picture::fromNative(target));
        if (was.startsWith(QLatin1Char('/')))
            return was;
    }
    return QDir::cleanPath(QDir::homePath());
}

QStringList DriveList::systemDrives()
{
    if (driveSource())
        return driveSource()();
    QStringList roots{QStringLiteral("/")};
    const QString home = QDir::cleanPath(QDir::homePath());
    if (home != roots.first() && QFileInfo(home).isDir())
        roots.append(home);

    QStringList media;
    for (const auto &[mountPoint, type] : mounts()) {
        const QString root = QDir::cleanPath(mountPoint);
        if (isMediaMount(root) && !isPseudo(type) && !roots.contains(root) && !media.contains(root))
            media.append(root);
    }
    media.sort();
    return roots + media;
}

QString DriveList::driveOf(const QStringList &roots, const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    QString best;
    for (const QString &root : roots) {
        const bool holds = clean == root || root == QLatin1String("/") || isUnder(clean, root);
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

QString DriveList::currentFolderOf(const QStringList &roots, const QString &drive)
{
    const QString current = currentFolder();
    return driveOf(roots, current) == drive ? current : drive;
}

void DriveList::setDrives(const QStringList &roots)
{
    const QSignalBlocker quiet(this);
    clear();
    addItems(roots);
}

QStringList DriveList::drives() const
{
    QStringList roots;
    for (int i = 0; i < count(); ++i)
        roots.append(itemText(i));
    return roots;
}

bool DriveList::setDrive(const QString &root)
{
    const int index = findText(root, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
    return true;
}
