// The picture chooser: drives, folders and picture files with a preview; its confirm command
// hands the chosen picture to the puzzle window.
#pragma once

#include <QImage>
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
    // The file list's pattern: the four picture kinds the game loads.
    static const QString Pattern;

    explicit Form2(QWidget *parent = nullptr);

    // The file clicked last, or empty.
    QString path() const;
    // What the preview shows, at the preview's size; null before a file is clicked.
    QImage preview() const;

signals:
    // The confirm command read the chosen picture (a null picture when no file was chosen).
    // The chooser stays as it is: unloading it is the receiver's part of the hand-over.
    void confirmed(const QImage &picture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void Drive1_Change(const QString &drive);
    void Dir1_Change(const QString &folder);
    void File1_Click(const QString &name);
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
};
