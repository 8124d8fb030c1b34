// The chooser's folder list: the folders from the drive's root down to the current folder, then
// the current folder's subfolders, indented like a tree.
#pragma once

#include "loading/folderreading.h"

#include <QListWidget>

// The full path of name inside folder, with one separator also at the root ("/" + "a.bmp" gives
// "/a.bmp"): a folder text ends in the separator only at the root.
QString joinedPath(const QString &folder, const QString &name);

class FolderList : public QListWidget
{
    Q_OBJECT
public:
    explicit FolderList(QWidget *parent = nullptr);

    // The current folder: an absolute, clean path ("/" at the root, no trailing separator
    // elsewhere).
    QString path() const { return m_path; }
    // The root of the current folder's drive: the list's first entry.
    QString root() const { return m_root; }

    // The drives a folder may lie on (see DriveList). "/" is always one of them.
    void setDrives(const QStringList &roots);

    // Makes path the current folder and lists it. The list keeps its drive while path lies on
    // it, and otherwise moves to the deepest drive that holds path. A folder that cannot be read
    // leaves the list as it was and returns false with a message for the player in *error. A
    // folder on a slow drive is read apart from the window: the list changes once it has been
    // read, and when it cannot be, openFailed() says why.
    bool setPath(const QString &path, QString *error = nullptr);
    // The same on the drive the player picked: the list starts at root.
    bool setLocation(const QString &root, const QString &path, QString *error = nullptr);

    // Makes path the current folder or, when it cannot be read, its nearest ancestor that can,
    // else the home folder, else "/". A relative or empty path counts from the home folder.
    void setNearestPath(const QString &path);
    // Lists the current folder again; when it can no longer be read, goes up to the nearest
    // folder that can.
    void refresh() { setNearestPath(m_path); }

    // Why folder cannot be listed, for the player; empty when it can. A drive that gives no
    // answer at once counts as one that cannot be read.
    static QString readError(const QString &folder);
    static QString errorText(const QString &folder, const picture::FolderReading &reading);

    // Roles of each entry: its full path and its depth below the root.
    static constexpr int PathRole = Qt::UserRole;
    static constexpr int DepthRole = Qt::UserRole + 1;

signals:
    // The current folder changed (the player opened another folder, or setPath()).
    void pathChanged(const QString &path);
    // The player tried to open a folder that cannot be read.
    void openFailed(const QString &message);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void open(QListWidgetItem *item);
    bool arrive(const QString &target, const picture::FolderReading &reading, QString *error);
    void fill(const QList<picture::FolderEntry> &entries);

    QString m_path;
    QString m_root = QStringLiteral("/");
    QString m_wantedRoot = QStringLiteral("/"); // the drive of the folder being read
    picture::FolderReader *m_reader = nullptr;
    QStringList m_drives{QStringLiteral("/")};
};
