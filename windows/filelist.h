// The chooser's file list: the files of one folder whose names match a pattern.
#pragma once

#include <QListWidget>

class FileList : public QListWidget
{
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);

    // Wildcard patterns separated by ";", matched without regard to letter case.
    void setPattern(const QString &pattern);
    QString pattern() const { return m_pattern; }

    // Lists folder afresh with the pattern.
    void setFolder(const QString &folder);
    QString folder() const { return m_folder; }

    // The selected file's name without its folder, or empty.
    QString fileName() const;

signals:
    // The player selected a file, by a click or with the keyboard.
    void fileClicked(const QString &name);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void fill();

    QString m_pattern;
    QString m_folder;
};
