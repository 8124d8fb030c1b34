#include "form2.h"

#include "buttonkeys.h"
#include "chinesefont.h"
#include "drivelist.h"
#include "filelist.h"
#include "folderlist.h"
#include "form1layout.h"
#include "messagebox.h"
#include "pathlabel.h"
#include "twips.h"

#include "loading/filenames.h"
#include "loading/kinds.h"
#include "loading/refusaltext.h"

#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <utility>

namespace {

constexpr QSize ClientSize = layout::rect(0, 0, 9585, 9210).size();
constexpr QRect Drive1Rect = layout::rect(0, 0, 3375, 300);
constexpr QRect Dir1Rect = layout::rect(0, 360, 3375, 1770);
constexpr QRect File1Rect = layout::rect(0, 2160, 3375, 2610);
constexpr QRect Frame1Rect = layout::rect(0, 4920, 3375, 2535);
// Inside Frame1.
constexpr QRect Option1Rect = layout::rect(480, 240, 1215, 615);
constexpr QRect Option2Rect = layout::rect(480, 720, 1095, 615);
constexpr QRect Option3Rect = layout::rect(480, 1320, 1215, 375);
constexpr QRect Option4Rect = layout::rect(480, 1680, 1095, 615);
constexpr QRect Command1Rect = layout::rect(1800, 360, 1335, 1935);
// Back in the window.
constexpr QRect Image1Rect = layout::rect(3480, 0, 5175, 7455);
constexpr QRect Label1Rect = layout::rect(0, 7680, 1095, 375);
constexpr QRect Label2Rect = layout::rect(1200, 7680, 5295, 615);

// A picture that takes longer than this to read says so in the preview.
constexpr int BusyAfterMilliseconds = 300;

QRadioButton *makeOption(QGroupBox *frame, const char *name, const QString &caption,
                         const QRect &geometry)
{
    auto *option = new QRadioButton(caption, frame);
    option->setObjectName(QString::fromLatin1(name));
    option->setGeometry(geometry);
    return option;
}

// Stretched to exactly area. Each direction is smoothed where it shrinks, which keeps photos
// clean, and repeats pixels where it enlarges, so a small picture shows in crisp blocks.
QImage stretchedPreview(const QImage &picture, QSize area)
{
    const auto mode = [](int from, int to) {
        return to < from ? Qt::SmoothTransformation : Qt::FastTransformation;
    };
    const QImage across = picture.scaled(area.width(), picture.height(), Qt::IgnoreAspectRatio,
                                         mode(picture.width(), area.width()));
    return across.scaled(area, Qt::IgnoreAspectRatio, mode(picture.height(), area.height()));
}

} // namespace

const QString Form2::Pattern = picture::filePattern();

Form2::Form2(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    // Only the size: the window system places a new window where it places any other.
    resize(ClientSize);

    createControls();
    m_previewJob = new picture::DecodeJob(this);
    m_confirmJob = new picture::DecodeJob(this);
    m_busyDelay = new QTimer(this);
    m_busyDelay->setSingleShot(true);
    m_busyDelay->setInterval(BusyAfterMilliseconds);
    connect(m_busyDelay, &QTimer::timeout, this, [this] {
        if (isDecoding())
            m_busy->show();
    });

    // Opening. The lists start at the process's current folder, on the deepest drive that
    // holds it; the chooser never changes that folder, so every opening starts there again.
    // When it has gone, the lists start at its nearest folder that still exists.
    const QStringList drives = DriveList::systemDrives();
    m_drive1->setDrives(drives);
    m_dir1->setDrives(drives);
    m_dir1->setNearestPath(DriveList::currentFolder());
    m_drive1->setDrive(m_dir1->root());
    m_file1->setPattern(Pattern);
    m_file1->setFolder(m_dir1->path());
    m_option1->setChecked(true);
    m_label2->setText(QString());

    connect(m_drive1, &DriveList::driveChanged, this, &Form2::Drive1_Change);
    connect(m_dir1, &FolderList::pathChanged, this, &Form2::Dir1_Change);
    connect(m_dir1, &FolderList::openFailed, this, [this](const QString &message) {
        report(message);
        // What could not be opened may have gone: show the folder as it is now, on its drive.
        m_dir1->refresh();
        m_drive1->setDrive(m_dir1->root());
    });
    connect(m_file1, &FileList::fileClicked, this, &Form2::File1_Click);
    connect(m_command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(m_confirmJob, &picture::DecodeJob::finished, this, &Form2::confirmDecoded);
}

void Form2::createControls()
{
    m_drive1 = new DriveList(this);
    m_drive1->setGeometry(Drive1Rect);

    m_dir1 = new FolderList(this);
    m_dir1->setGeometry(Dir1Rect);

    m_file1 = new FileList(this);
    m_file1->setGeometry(File1Rect);

    m_frame1 = new QGroupBox(QStringLiteral("圖片顯示方式"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(Frame1Rect);
    // Sharing the frame makes the four one group: selecting one clears the others.
    m_option1 = makeOption(m_frame1, "Option1", QStringLiteral("直接顯示"), Option1Rect);
    m_option2 = makeOption(m_frame1, "Option2", QStringLiteral("拉幕"), Option2Rect);
    m_option3 = makeOption(m_frame1, "Option3", QStringLiteral("交叉顯示"), Option3Rect);
    m_option4 = makeOption(m_frame1, "Option4", QStringLiteral("雨滴"), Option4Rect);

    m_command1 = new QPushButton(QStringLiteral("定確載入圖片"), m_frame1);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(Command1Rect);
    m_command1->setAutoDefault(false);
    m_command1->setDefault(false);

    m_image1 = new QLabel(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image1->setGeometry(Image1Rect);
    m_image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Over the preview while a picture takes long to read.
    m_busy = new QLabel(QStringLiteral("正在讀取圖片…"), this);
    m_busy->setObjectName(QStringLiteral("Busy"));
    m_busy->setGeometry(Image1Rect);
    m_busy->setAlignment(Qt::AlignCenter);
    m_busy->setFont(mingFont(12));
    m_busy->setAutoFillBackground(true);
    QPalette veiled = m_busy->palette();
    veiled.setColor(QPalette::Window, QColor(255, 255, 255, 200));
    m_busy->setPalette(veiled);
    m_busy->setAccessibleName(QStringLiteral("正在讀取圖片"));
    m_busy->hide();

    m_label1 = new QLabel(QStringLiteral("圖片位置"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(Label1Rect);
    m_label1->setFont(mingFont(12));
    m_label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    m_label2 = new PathLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setGeometry(Label2Rect);
    m_label2->setFont(mingFont(12));
    m_label2->setAccessibleName(QStringLiteral("圖片位置"));

    nameForScreenReaders();
    orderTabs();
}

// Names for a screen reader where a control shows no words of its own.
void Form2::nameForScreenReaders()
{
    setAccessibleName(QStringLiteral("選擇圖片"));
    m_drive1->setAccessibleName(QStringLiteral("磁碟機"));
    // A drop-down box is named by its label on this platform: one for screen readers only.
    auto *driveLabel = new QLabel(QStringLiteral("磁碟機"), this);
    driveLabel->setBuddy(m_drive1);
    driveLabel->hide();
    m_dir1->setAccessibleName(QStringLiteral("資料夾"));
    m_file1->setAccessibleName(QStringLiteral("圖片檔案"));
    m_image1->setAccessibleName(QStringLiteral("圖片預覽"));
}

// Tab follows the layout's tab indices: the confirm command first, the lists last.
void Form2::orderTabs()
{
    setTabOrder(m_command1, m_option4);
    setTabOrder(m_option4, m_option3);
    setTabOrder(m_option3, m_option2);
    setTabOrder(m_option2, m_option1);
    setTabOrder(m_option1, m_file1);
    setTabOrder(m_file1, m_dir1);
    setTabOrder(m_dir1, m_drive1);
    for (QRadioButton *option : {m_option1, m_option2, m_option3, m_option4})
        option->installEventFilter(this);
    m_command1->setFocus();
}

// Tab enters the group of option buttons at the selected one, as desktop users expect; Qt
// would enter it at whichever comes first in the tab chain.
bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        auto *option = qobject_cast<QRadioButton *>(watched);
        if (option && !option->isChecked() &&
            (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
            for (QRadioButton *selected : {m_option1, m_option2, m_option3, m_option4}) {
                if (selected->isChecked()) {
                    selected->setFocus(reason);
                    return true;
                }
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::keyPressEvent(QKeyEvent *event)
{
    if (!pressFocusedButton(this, event))
        QWidget::keyPressEvent(event);
}

QImage Form2::preview() const { return m_image1->pixmap().toImage(); }

void Form2::report(const QString &message)
{
    showMessage(this, QMessageBox::Critical, QString(), message);
}

void Form2::Drive1_Change(const QString &drive)
{
    QString error;
    if (m_dir1->setLocation(drive, DriveList::currentFolderOf(m_drive1->drives(), drive), &error))
        return;
    // Back to the drive the folder list still shows, so the three lists agree again.
    m_drive1->setDrive(m_dir1->root());
    report(error);
}

void Form2::Dir1_Change(const QString &folder)
{
    // A folder that went away may have sent the list up onto another drive.
    m_drive1->setDrive(m_dir1->root());
    m_file1->setFolder(folder);
}

// What the puzzle window shows at most, in the screen's pixels.
QSize Form2::gameSize() const { return layout::form1::largestPicturePixels(devicePixelRatioF()); }

void Form2::File1_Click(const QString &name)
{
    const QString path = joinedPath(m_dir1->path(), name);
    // Decoded no larger than the preview and the puzzle window need, so that confirming can
    // use the same picture: a large photo need not be decoded in full.
    const QSize fitTo = (m_image1->size() * devicePixelRatioF()).expandedTo(gameSize());
    const picture::Request request{fitTo, 0, devicePixelRatioF()};
    m_previewJob->disconnect(this);
    m_confirmWhenShown = false;
    connect(m_previewJob, &picture::DecodeJob::finished, this,
            [this, path, fitTo](const picture::Picture &picture) {
                if (!picture.isNull())
                    m_decoded = {path, m_previewJob->stamp(), fitTo, picture.image};
                showPreview(path, picture);
                if (std::exchange(m_confirmWhenShown, false) && !picture.isNull())
                    Command1_Click();
            });
    m_previewJob->start(path, request);
    showBusy();
}

// The busy cursor at once; the words over the preview if the picture is still being read a
// moment later.
void Form2::showBusy()
{
    setCursor(Qt::BusyCursor);
    if (!m_busy->isVisible())
        m_busyDelay->start();
}

void Form2::endBusy()
{
    if (isDecoding())
        return;
    m_busyDelay->stop();
    m_busy->hide();
    unsetCursor();
}

void Form2::showPreview(const QString &path, const picture::Picture &picture)
{
    endBusy();
    if (picture.isNull())
        return refuse(path, picture.refusal);
    m_path = path;
    m_label2->setPath(picture::oneLine(picture::shownName(path)));
    // Stretched to exactly the preview's area, as held at the screen's pixel density.
    const qreal ratio = devicePixelRatioF();
    QImage stretched = stretchedPreview(picture.image, (QSizeF(m_image1->size()) * ratio).toSize());
    stretched.setDevicePixelRatio(ratio);
    m_image1->setPixmap(QPixmap::fromImage(stretched));
}

// The path and the preview go on showing the last file that could be read; the list shows the
// folder as it is now, still at the refused file, so that the player goes on from there.
void Form2::refuse(const QString &path, const picture::Refusal &refusal)
{
    m_file1->refresh();
    report(picture::refusalText(refusal, picture::shownName(QFileInfo(path).fileName())));
}

void Form2::Command1_Click()
{
    // A file clicked and still being read is the one the player chose: it is confirmed once
    // its preview shows, and not when it is refused.
    if (m_previewJob->isRunning()) {
        m_confirmWhenShown = true;
        return;
    }
    if (m_path.isEmpty()) {
        emit confirmed(QImage());
        return;
    }
    if (m_confirmJob->isRunning())
        return; // on its way already
    // The preview's picture serves while it is still the file's and large enough; otherwise the
    // file is decoded again: it may have changed or gone since. Failing keeps the player in
    // the chooser with the choice standing. The window goes on painting meanwhile, and even
    // looking at the file happens apart from it.
    const QSize shown = gameSize();
    picture::DecodeJob::Known known;
    if (m_decoded.path == m_path && m_decoded.fitTo.expandedTo(shown) == m_decoded.fitTo)
        known = {m_decoded.stamp, m_decoded.picture};
    m_confirmJob->start(m_path, {shown, 0, devicePixelRatioF()}, known);
    showBusy();
}

void Form2::confirmDecoded(const picture::Picture &picture)
{
    endBusy();
    if (picture.isNull())
        return refuse(m_path, picture.refusal);
    emit confirmed(picture.image);
}
