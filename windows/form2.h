// The picture chooser: drives, folders and picture files with a preview; its confirm command
// hands the chosen picture to the puzzle window.
#pragma once

#include "loading/decodejob.h"

#include <QImage>
#include <QWidget>

class DriveList;
class FileList;
class FolderList;
class PathLabel;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimer;

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
    // A clicked file is still being decoded for the preview, or a chosen one for the puzzle.
    bool isDecoding() const { return m_previewJob->isRunning() || m_confirmJob->isRunning(); }

signals:
    // The confirm command read the chosen picture (a null picture when no file was chosen).
    // The chooser stays as it is: unloading it is the receiver's part of the hand-over.
    void confirmed(const QImage &picture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls();
    void nameForScreenReaders();
    void orderTabs();
    void Drive1_Change(const QString &drive);
    void Dir1_Change(const QString &folder);
    void File1_Click(const QString &name);
    void showPreview(const QString &path, const picture::Picture &picture);
    void Command1_Click();
    void confirmDecoded(const picture::Picture &picture);
    void showBusy();
    void endBusy();
    void report(const QString &message);
    void refuse(const QString &path, const picture::Refusal &refusal);
    QSize gameSize() const;

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
    PathLabel *m_label2 = nullptr;
    QLabel *m_busy = nullptr;
    QTimer *m_busyDelay = nullptr;

    QString m_path;
    // Files are decoded in the decoding process, one preview at a time: a newer click cancels
    // the decode of an older one. The window goes on painting meanwhile.
    picture::DecodeJob *m_previewJob = nullptr;
    picture::DecodeJob *m_confirmJob = nullptr;
    bool m_confirmWhenShown = false; // confirmed while the clicked file was still being read
    // The last preview's picture, at a size that serves the puzzle window too: confirming uses
    // it while it is still the file's.
    struct Decoded
    {
        QString path;
        picture::FileStamp stamp;
        QSize fitTo;
        QImage picture;
    } m_decoded;
};
