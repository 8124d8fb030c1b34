// The picture chooser: drives, folders and picture files with a preview; its confirm command
// hands the chosen picture to the puzzle window.
#pragma once

#include <QImage>
#include <QThreadPool>
#include <QWidget>

class DriveList;
class FileList;
class FolderList;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class Form2 : public QWidget
{
    Q_OBJECT
public:
    // The file list's pattern: the picture kinds the game loads, by their usual names.
    static const QString Pattern;

    explicit Form2(QWidget *parent = nullptr);

    // The file clicked last that could be read, or empty.
    QString path() const { return m_path; }
    // What the preview shows, at the preview's size; null before a file is clicked.
    QImage preview() const;
    // A clicked file is still being read for the preview.
    bool isPreviewing() const { return m_previewing; }

signals:
    // The confirm command read the chosen picture (a null picture when no file was chosen).
    // The chooser stays as it is: unloading it is the receiver's part of the hand-over.
    void confirmed(const QImage &picture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls();
    void Drive1_Change(const QString &drive);
    void Dir1_Change(const QString &folder);
    void File1_Click(const QString &name);
    void showPreview(quint64 ticket, const QString &path, const QImage &stretched,
                     const QString &error);
    void Command1_Click();
    void report(const QString &message);

    DriveList *m_drive1 = nullptr;
    FolderList *m_dir1 = nullptr;
    FileList *m_file1 = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QRadioButton *m_option3 = nullptr;
    QRadioButton *m_option4 = nullptr;
    QPushButton *m_command1 = nullptr;
    QLabel *m_image1 = nullptr;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;

    QString m_path;
    // Previews are read one at a time away from the window, so that it never freezes; a newer
    // click makes the answers to older ones stale.
    QThreadPool m_reader;
    quint64 m_ticket = 0;
    bool m_previewing = false;
};
