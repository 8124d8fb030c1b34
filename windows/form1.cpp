#include "form1.h"

#include "assetfiles.h"
#include "buttonkeys.h"
#include "chinesefont.h"
#include "form1layout.h"
#include "messagebox.h"
#include "picturebox.h"

#include "loading/decodejob.h"
#include "loading/refusaltext.h"
#include "puzzle/piececount.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace {

using namespace layout::form1;

const QString CountPrompt = QStringLiteral("輸入分割數: 9、16、25、36、49、64、81");
const QString CountTitle = QStringLiteral("輸入圖片分割數");
const QString NotSquareMessage =
    QStringLiteral("你輸入的圖片數無法得到整數的平方根，請再重新按下'游戲開始'鈕");

// A flat face filled with the button's own colour, sunk while pressed.
QString buttonStyle(const QColor &face)
{
    return QStringLiteral("QPushButton { background-color: %1; color: black;"
                          " border: 2px outset %1; }"
                          "QPushButton:pressed { border-style: inset; }"
                          "QPushButton:disabled { color: #808080; }"
                          "QPushButton:focus { outline: 1px dotted black; }")
        .arg(face.name());
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption,
                        const QRect &geometry, const QColor &face)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setStyleSheet(buttonStyle(face));
    button->setCursor(assets::handCursor());
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("拼圖"));
    // No icon of its own: the window shows the application's one. A window system renders each
    // icon it is given once, so a new icon for every window would pile up over a session.
    setAttribute(Qt::WA_DeleteOnClose);
    // The tooltip background system colour, a pale yellow.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
    setPalette(pal);
    setGeometry(Geometry);

    createControls();
    m_dragCursor = assets::dragCursor();
    setAcceptDrops(true);
    m_opening = new picture::DecodeJob(this);
    connect(m_opening, &picture::DecodeJob::finished, this, &Form1::opened);

    m_picture1->setPicture(assets::defaultPicture());
}

// The picture box reads m_board while a game runs, and closing a window moves its focus, which
// the box repaints: the box goes first, while the board it reads still stands.
Form1::~Form1() { delete m_picture1; }

void Form1::createControls()
{
    m_command4 = makeButton(this, "Command4", QStringLiteral("載入圖片"), Command4Rect,
                            QColor(255, 192, 192));

    m_picture1 = new PictureBox(this);
    m_picture1->move(Picture1Pos);
    m_picture1->setFocusPolicy(Qt::TabFocus);
    connect(m_picture1, &PictureBox::tileDropped, this, &Form1::Picture1_DragDrop);

    m_command2 =
        makeButton(this, "Command2", QStringLiteral("結束"), Command2Rect, QColor(0, 255, 255));
    m_command1 = makeButton(this, "Command1", QStringLiteral("遊戲開始"), Command1Rect,
                            QColor(192, 255, 192));
    m_command1->setFont(mingFont(12));
    m_command2->setFont(mingFont(12));

    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_picture1);
    setTabOrder(m_picture1, m_command4);
    m_command1->setFocus();

    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command4, &QPushButton::clicked, this, &Form1::Command4_Click);
}

int Form1::tileCount() const { return m_picture1->tileCount(); }

void Form1::setPicture(const QImage &picture) { m_picture1->setPicture(picture); }

void Form1::setStartEnabled(bool enabled) { m_command1->setEnabled(enabled); }

void Form1::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste))
        return paste();
    if (pressFocusedButton(this, event))
        return;
    const bool game = m_picture1->tileCount() > 0;
    const puzzle::KeyMeaning meaning =
        puzzle::interpretKey(game ? m_game.board : puzzle::BoardState(), event->keyCombination(),
                             m_picture1->focusSlot(), m_picture1->heldSlot());
    switch (meaning.action) {
    case puzzle::Action::Undo:
        return showPlayed(puzzle::undo(m_game));
    case puzzle::Action::Redo:
        return showPlayed(puzzle::redo(m_game));
    case puzzle::Action::Peek:
        if (!event->isAutoRepeat())
            m_picture1->setPeeking(true);
        return;
    case puzzle::Action::Marks:
        if (!event->isAutoRepeat())
            toggleMarks();
        return;
    case puzzle::Action::Help:
        return showKeys();
    default:
        QWidget::keyPressEvent(event);
    }
}

void Form1::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_P && !event->isAutoRepeat() && m_picture1->isPeeking()) {
        m_picture1->setPeeking(false);
        return;
    }
    QWidget::keyReleaseEvent(event);
}

// A window that is no longer active hears no more of a held key: the peek ends with it.
void Form1::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_picture1->setPeeking(false);
    QWidget::changeEvent(event);
}

void Form1::toggleMarks()
{
    if (!m_picture1->tileCount())
        return;
    const bool shown = !m_picture1->marksShown();
    m_picture1->setMarksShown(shown);
    m_picture1->announce(shown ? QStringLiteral("標出在正確位置的圖塊：%1 塊中有 %2 塊")
                                     .arg(m_game.board.pieces())
                                     .arg(m_game.board.homeCount())
                               : QStringLiteral("不再標出在正確位置的圖塊"));
}

void Form1::showKeys()
{
    showMessage(this, QMessageBox::Information, QStringLiteral("按鍵說明"),
                QStringLiteral("滑鼠：把一塊圖拖到另一塊上，兩塊互換位置；按住右鍵看整張圖片。\n"
                               "\n"
                               "Tab：在按鈕和圖片之間移動\n"
                               "方向鍵：在圖片上移動選取框\n"
                               "空白鍵或 Enter：拿起選取的圖塊；再按一次，放到選取框的位置"
                               "（兩塊互換）\n"
                               "Esc：放下拿起的圖塊，不移動\n"
                               "Ctrl+Z：復原上一步\n"
                               "Ctrl+Shift+Z 或 Ctrl+Y：重做\n"
                               "按住 P：看整張圖片\n"
                               "H：標出或不再標出在正確位置的圖塊\n"
                               "Ctrl+V：遊戲外，貼上複製的圖片或圖片檔\n"
                               "F1：這份說明\n"
                               "\n"
                               "遊戲外，也可以把圖片檔拖到視窗上，換成那張圖片。"));
}

void Form1::Command2_Click() { QCoreApplication::quit(); }

void Form1::Command4_Click() { emit loadPictureRequested(); }

void Form1::refuseCount(const QString &message)
{
    m_command1->setEnabled(true);
    showMessage(this, QMessageBox::Critical, QString(), message);
    m_command1->setFocus(); // try again at once; never the end command by itself
}

void Form1::Command1_Click()
{
    m_command1->setEnabled(false);

    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("PieceCountInput"));
    ask.setWindowTitle(CountTitle);
    ask.setLabelText(CountPrompt);
    ask.setInputMode(QInputDialog::TextInput);
    ask.setTextValue(QStringLiteral("9"));
    startGame(ask.exec() == QDialog::Accepted ? ask.textValue() : QString());
}

void Form1::startGame(const QString &entry)
{
    // A cancelled or empty entry leaves the start command disabled; the picture chooser's
    // confirm is what enables it again.
    const QSize picture = m_picture1->pictureSize();
    const puzzle::PieceCount count = puzzle::readPieceCount(entry, picture);
    using V = puzzle::PieceCountVerdict;
    switch (count.verdict) {
    case V::Empty:
        // Start stays disabled until a picture is loaded: the focus goes to that command.
        m_command4->setFocus();
        return;
    case V::NotSquare:
        return refuseCount(NotSquareMessage);
    case V::NotANumber:
        return refuseCount(QStringLiteral("「%1」不是數字。請輸入 9、16、25、36、49、64、81 "
                                          "這樣的平方數，再重新按下「遊戲開始」鈕。")
                               .arg(picture::inSentence(entry.trimmed())));
    case V::NotPositive:
        return refuseCount(QStringLiteral("分割數必須大於 0。請輸入 9、16、25、36、49、64、81 "
                                          "這樣的平方數，再重新按下「遊戲開始」鈕。"));
    case V::TooMany:
        return refuseCount(QStringLiteral("分割數最多只能是 %1（%2 × %2）。請輸入較小的數，再"
                                          "重新按下「遊戲開始」鈕。")
                               .arg(puzzle::LargestCount)
                               .arg(int(std::sqrt(puzzle::LargestCount))));
    case V::TilesTooSmall:
        return refuseCount(QStringLiteral("這張圖片只有 %1 × %2 像素，分成 %3 塊時每塊不到 1 "
                                          "像素。請輸入較小的分割數，再重新按下「遊戲開始」鈕。")
                               .arg(QString::number(picture.width()),
                                    QString::number(picture.height()),
                                    picture::inSentence(entry.trimmed())));
    case V::Accepted:
        break;
    }

    stopOpening();             // the game is played with the picture it was started with
    m_picture1->removeTiles(); // a start always begins a fresh game
    const puzzle::PicturePlace box{float(m_picture1->x()), qint16(m_picture1->y()), picture.width(),
                                   picture.height()};
    const puzzle::UniformRandom random = m_random ? m_random : puzzle::seededRandom(m_clock());
    puzzle::newGame(m_game, entry, count.pieces, count.gridSide, box, random);
    // Each tile shows its own rectangle of the picture at the slot its order names, stacked
    // 1..N; where a rounded-up tile reaches below the picture it shows the background.
    m_picture1->showTiles(&m_game.board, m_dragCursor);
    m_picture1->setFocus(); // on the tile in slot 1, for keyboard play
}

void Form1::Picture1_DragDrop(int index, int source)
{
    // The whole picture shows through only where rounding left a sliver uncovered; a drop
    // there is no move, and neither is a drop of a tile onto itself.
    if (const std::optional<puzzle::Move> move = puzzle::moveForDrop(m_game.board, source, index))
        showPlayed(puzzle::play(m_game, *move));
}

// A move played, taken back or played again: its two tiles repainted, and the game won when it
// solved the board.
void Form1::showPlayed(const std::optional<puzzle::Played> &played)
{
    if (!played || !m_picture1->tileCount())
        return;
    SwapPic(played->move.tile, played->move.other);
    if (played->result == puzzle::MoveResult::Solved)
        congratulate();
}

void Form1::congratulate()
{
    showMessage(this, QMessageBox::Warning, QStringLiteral("完成"), QStringLiteral("恭喜你成功了"));
    m_picture1->removeTiles();
    m_command1->setEnabled(true);
    m_command1->setFocus();
}

// Each of the two tiles now lies in the other's slot: the view repaints those two slots.
void Form1::SwapPic(qint16 pic1, qint16 pic2)
{
    m_picture1->slotsChanged(m_game.board.TileOrder[pic1], m_game.board.TileOrder[pic2]);
}

bool Form1::isOpening() const { return m_opening->isRunning(); }

void Form1::open(const PictureSource &source)
{
    if (tileCount() > 0 || source.isEmpty())
        return;
    stopOpening();
    if (!source.refusal.isEmpty())
        return showMessage(this, QMessageBox::Critical, QString(), source.refusal);
    m_openingName = source.name;
    // As large as the chooser's confirm would decode it.
    const picture::Request request{layout::form1::largestPicturePixels(devicePixelRatioF()), 0,
                                   devicePixelRatioF()};
    if (source.path.isEmpty())
        m_opening->startBytes(source.bytes, request);
    else
        m_opening->start(source.path, request);
    setCursor(Qt::BusyCursor);
}

void Form1::opened(const picture::Picture &picture)
{
    unsetCursor();
    if (picture.isNull())
        return showMessage(this, QMessageBox::Critical, QString(),
                           picture::refusalText(picture.refusal, m_openingName));
    setPicture(picture.image);
    setStartEnabled(true);
}

void Form1::stopOpening()
{
    m_opening->cancel();
    unsetCursor();
}

// Ctrl+V: a picture copied in a browser or a picture file copied in a file manager. What the
// clipboard holds is read as bytes and decoded in the decoding process, never here.
void Form1::paste()
{
    if (tileCount() > 0)
        return;
    open(sourceOfData(QGuiApplication::clipboard()->mimeData(), Arrival::Pasted));
}

// A drop is taken as a copy, outside a game, when it may hold a picture: anything else is refused
// as it enters, and the pointer shows it. Never a move: the player's file stays where it is.
bool Form1::takesDrop(const QDropEvent *event) const
{
    return tileCount() == 0 && (event->possibleActions() & Qt::CopyAction) &&
           mayHoldPicture(event->mimeData());
}

void Form1::dragEnterEvent(QDragEnterEvent *event) { dragMoveEvent(event); }

void Form1::dragMoveEvent(QDragMoveEvent *event)
{
    if (!takesDrop(event))
        return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void Form1::dropEvent(QDropEvent *event)
{
    if (!takesDrop(event))
        return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Opened once the drop is over: a message box must not hold up the program it came from.
    QTimer::singleShot(0, this, [this, source = sourceOfData(event->mimeData(), Arrival::Dropped)] {
        open(source);
    });
}
