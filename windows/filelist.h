// The chooser's file list: the files of one folder whose names match a pattern.
#pragma once

#include "loading/folderreading.h"

#include <QListWidget>

class FileList : public QListWidget
{
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);

    // Wildcard patterns separated by ";", matched without regard to letter case.
    void setPattern(const QString &pattern);

    // Lists folder afresh with the pattern.
    void setFolder(const QString &folder);
    QString folder() const { return m_folder; }
    // Lists the folder afresh as it is now and keeps the player's place: the entry that was
    // current stays current and selected, or where it has gone the one before it is current,
    // so that the next Down goes on to the file after it.
    void refresh();

    // Each entry's file name without its folder. Names that are not UTF-8 keep their bytes
    // (see picture/filenames.h); the list shows them decoded for the player.
    static constexpr int NameRole = Qt::UserRole;

signals:
    // The player selected a file (its name as NameRole holds it), by a click or the keys.
    void fileClicked(const QString &name);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fill();
    void show(const QList<picture::FolderEntry> &entries);
    void keepPlace();

    QString m_pattern;
    QString m_folder;
    picture::FolderReader *m_reader = nullptr;
    struct Place
    {
        int row = -1;
        QString name;
        bool wanted = false;
    } m_keep; // where a refresh keeps the player
};
