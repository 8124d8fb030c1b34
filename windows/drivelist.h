// The chooser's drive list: a drop-down of the roots a player browses from.
#pragma once

#include <QComboBox>
#include <QStringList>

#include <functional>

// A "drive" is the root folder of a mounted file system a player would browse (the system root,
// removable and mounted media) or the player's home folder; each is named by its path.
class DriveList : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);

    // The drives of this machine: "/" first, then the home folder, then mounted media sorted by
    // path. Pseudo file systems (proc, sysfs, cgroup ...) are left out.
    static QStringList systemDrives();
    // Replaces what systemDrives() reports (a null source restores the machine's own), so that
    // a folder can stand in for a mounted medium.
    using DriveSource = std::function<QStringList()>;
    static void setDriveSource(DriveSource source);

    // The process's current folder. When it has been removed (or its path is too long to ask
    // for), the folder it was, which may no longer exist; the home folder when even that is
    // unknown.
    static QString currentFolder();

    // The drive among roots that holds path: the longest root that is path or one of its
    // ancestors; empty when none does.
    static QString driveOf(const QStringList &roots, const QString &path);

    // The folder the folder list goes to when the player picks drive: the process's current
    // folder when it lies on that drive, otherwise the drive's root.
    static QString currentFolderOf(const QStringList &roots, const QString &drive);

    // Replaces the entries without reporting a change.
    void setDrives(const QStringList &roots);
    QStringList drives() const;

    QString drive() const { return currentText(); }
    // Selects the entry named root without reporting a change (false when there is none).
    bool setDrive(const QString &root);

signals:
    // The player picked another drive.
    void driveChanged(const QString &root);
};
