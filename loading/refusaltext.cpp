#include "refusaltext.h"

#include "kinds.h"
#include "limits.h"
#include "systemwords.h"

#include <QTextBoundaryFinder>

#include <QRegularExpression>

#include <algorithm>

namespace picture {

namespace {

// One sentence a reason: %0 is the file's name, %1 onwards the refusal's details and then the
// row's own values (the limits it names).
struct Sentence
{
    const char16_t *text;
    QStringList values;
};

// Every reason has its case: a reason added without a sentence does not build (-Wswitch).
Sentence sentenceFor(Reason reason)
{
    switch (reason) {
    case Reason::None:
        return {u"", {}};
    case Reason::NotFound:
        return {u"找不到圖片「%0」：檔案可能已被移除或改名。", {}};
    case Reason::NoPermission:
        return {u"沒有權限讀取圖片「%0」。", {}};
    case Reason::LinkLoop:
        return {u"無法開啟圖片「%0」：這個捷徑指向自己，形成迴圈。", {}};
    case Reason::CannotOpen:
        return {u"無法開啟圖片「%0」（%1）。", {}};
    case Reason::NotRegularFile:
        return {u"「%0」不是一般的檔案，不能當作圖片載入。", {}};
    case Reason::Folder:
        return {u"「%0」是資料夾，不是圖片檔案。請選一個圖片檔案。", {}};
    case Reason::FileTooLarge:
        return {u"圖片檔「%0」太大（超過 %1 MiB）。", {QString::number(MaxFileBytes / Mebi)}};
    case Reason::CannotRead:
        return {u"無法讀取圖片「%0」（%1）。", {}};
    case Reason::NotAPicture:
        return {u"無法讀取圖片「%0」：檔案已損壞，或不是 %1 圖片。", {kindNames()}};
    case Reason::Damaged:
        return {u"無法讀取圖片「%0」：這個 %1 檔案已損壞。", {}};
    case Reason::Incomplete:
        return {
            u"無法讀取圖片「%0」：這個 %1 檔案不完整，資料在圖片結束前就沒了（可能沒有下載或複製"
            u"完）。",
            {}};
    case Reason::TooLarge:
        return {u"圖片「%0」太大（%1 × %2 像素）。本程式只能載入每邊不超過 %3 像素、總共不超過 %4 "
                u"百萬像素的圖片。",
                {QString::number(MaxSide), QString::number(MaxPixels / Mebi)}};
    case Reason::NoPixels:
        return {u"無法讀取圖片「%0」：這個 %1 檔案的圖片是 %2 × %3 像素，沒有可以顯示的內容。", {}};
    case Reason::Unsupported:
        return {u"無法讀取圖片「%0」：這是%2的 %1 檔案，本程式不支援這種 %1。", {}};
    case Reason::MetafileHeaderCut:
        return {u"無法讀取圖片「%0」：這個 WMF 檔案已損壞，檔頭不完整。", {}};
    case Reason::MetafileHeaderWrong:
        return {u"無法讀取圖片「%0」：這個 WMF 檔案已損壞，檔頭不正確。", {}};
    case Reason::MetafileRecordLength:
        return {u"無法讀取圖片「%0」：這個 WMF 檔案已損壞，第 %1 筆記錄的長度不正確。", {}};
    case Reason::MetafileRecordPastEnd:
        return {u"無法讀取圖片「%0」：這個 WMF 檔案已損壞，第 %1 筆記錄超出檔案結尾。", {}};
    case Reason::MetafileRecordCut:
        return {u"無法讀取圖片「%0」：這個 WMF 檔案已損壞，第 %1 筆記錄的內容不完整。", {}};
    case Reason::MetafileTooManyRecords:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案的記錄太多（超過 %1 筆）。", {}};
    case Reason::MetafileTooDeep:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案儲存繪圖狀態的層數太多（超過 %1 層）。", {}};
    case Reason::MetafileTooManyObjects:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案的物件太多（超過 %1 個）。", {}};
    case Reason::MetafilePatternsTooLarge:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案中的圖樣筆刷太多太大。", {}};
    case Reason::MetafileRegionTooComplex:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案中的區域太複雜（最多 %1 個矩形）。", {}};
    case Reason::MetafilePolygonTooComplex:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案中的多邊形太複雜（一筆記錄最多 %1 個點）。", {}};
    case Reason::MetafileBitmapTooLarge:
        return {
            u"無法顯示圖片「%0」：這個 WMF 檔案中的點陣圖太大（一張最多 %1 百萬像素，全部最多 %2 "
            u"百萬像素）。",
            {}};
    case Reason::MetafileNoSize:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案的大小不正確（寬或高為零）。", {}};
    case Reason::MetafileNothingDrawn:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案沒有可顯示的內容。", {}};
    case Reason::MetafileBadSize:
        return {u"無法顯示圖片「%0」：這個 WMF 檔案的大小不正確。", {}};
    case Reason::OutOfMemory:
        return {u"無法顯示圖片「%0」：讀取這張圖片需要的記憶體太多。", {}};
    case Reason::TooSlow:
        return {u"無法顯示圖片「%0」：這張圖片太複雜，讀它用完了 %1 秒的運算時間仍未讀完。", {}};
    case Reason::DecoderCrashed:
        return {u"無法顯示圖片「%0」：讀取這張圖片的程式意外中止了，檔案可能已損壞。", {}};
    case Reason::DecoderMissing:
        return {u"無法顯示圖片「%0」：找不到讀取圖片用的程式「%1」，請重新安裝本程式。", {}};
    case Reason::TookTooLong:
        return {u"無法顯示圖片「%0」：讀取這張圖片超過 %1 秒仍未完成。", {}};
    case Reason::DriveNotAnswering:
        return {
            u"無法顯示圖片「%0」：存放這個檔案的磁碟等了 %1 秒仍沒有回應。請確認磁碟或網路磁碟機"
            u"可以使用，再試一次。",
            {}};
    }
    return {u"", {}};
}

// The forms of a kind we do not read, as the decoders name them: by a word, or by a word and
// the number the file gives.
QString variantText(const QString &variant)
{
    static const QList<std::pair<QString, QString>> numbered = {
        {QStringLiteral("compression "), QStringLiteral("採用第 %1 號壓縮方式")},
        {QStringLiteral("colour "), QStringLiteral("採用第 %1 號色彩空間")},
        {QStringLiteral("sample format "), QStringLiteral("採用第 %1 號樣本格式")},
        {QStringLiteral("bits "), QStringLiteral("每個樣本 %1 位元")},
        {QStringLiteral("float "), QStringLiteral("每個樣本 %1 位元浮點數")},
    };
    for (const auto &[name, text] : numbered) {
        bool number = false;
        const uint n = QStringView(variant).mid(name.size()).toUInt(&number);
        if (variant.startsWith(name) && number)
            return text.arg(n);
    }
    static const QList<std::pair<QString, QString>> names = {
        {QStringLiteral("12-bit"), QStringLiteral(" 12 位元")},
        {QStringLiteral("lossless"), QStringLiteral("無失真壓縮")},
        {QStringLiteral("hierarchical"), QStringLiteral("階層式")},
        {QStringLiteral("arithmetic"), QStringLiteral("算術編碼")},
        {QStringLiteral("JPEG-LS"), QStringLiteral(" JPEG-LS 壓縮")},
        {QStringLiteral("DNL"), QStringLiteral("把高度寫在影像資料之後（DNL 標記）")},
        {QStringLiteral("JPEG inside"), QStringLiteral("內含 JPEG 影像")},
        {QStringLiteral("PNG inside"), QStringLiteral("內含 PNG 影像")},
        {QStringLiteral("Huffman"), QStringLiteral(" OS/2 霍夫曼編碼")},
        {QStringLiteral("RLE24"), QStringLiteral(" OS/2 24 位元行程編碼")},
        {QStringLiteral("HEVC"), QStringLiteral(" HEVC (H.265) 壓縮")},
        {QStringLiteral("H.264"), QStringLiteral(" H.264 (AVC) 壓縮")},
        {QStringLiteral("H.266"), QStringLiteral(" H.266 (VVC) 壓縮")},
        {QStringLiteral("JPEG 2000"), QStringLiteral(" JPEG 2000 壓縮")},
        {QStringLiteral("uncompressed"), QStringLiteral("未壓縮")},
        {QStringLiteral("codec"), QStringLiteral("採用其他壓縮方式")},
        {QStringLiteral("image type"), QStringLiteral("其他影像類型")},
        {QStringLiteral("CMYK"), QStringLiteral(" CMYK 色彩")},
        {QStringLiteral("sequence"), QStringLiteral("連續影像（影像序列）")},
    };
    for (const auto &[name, text] : names)
        if (name == variant)
            return text;
    // A coding named by its four-character code, as the file gives it: letters and digits, or
    // its number. Anything else is no name a decoder gives.
    static const QRegularExpression code(
        QStringLiteral("^coding ([A-Za-z0-9 ]{1,4}|0x[0-9a-f]{8})$"));
    if (const QRegularExpressionMatch m = code.match(variant); m.hasMatch())
        return QStringLiteral("採用「%1」編碼").arg(m.captured(1));
    return QStringLiteral("特殊格式");
}

bool isIsolateStart(char32_t c) { return c >= 0x2066 && c <= 0x2068; }
constexpr char32_t IsolateEnd = 0x2069;

bool turnsText(char32_t c)
{
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirLRE:
    case QChar::DirRLE:
    case QChar::DirLRO:
    case QChar::DirRLO:
    case QChar::DirPDF:
    case QChar::DirLRI:
    case QChar::DirRLI:
    case QChar::DirFSI:
    case QChar::DirPDI:
        return true;
    default:
        return false;
    }
}

// The name with what would break its line, show as a box or turn the text around it made
// visible (see oneLine()).
QString visible(const QString &name)
{
    constexpr char16_t ControlPictures = 0x2400, DeletePicture = 0x2421, NewLinePicture = 0x2424;
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            out += QChar(char16_t(ControlPictures + u));
        else if (u == 0x7F)
            out += QChar(DeletePicture);
        else if (u == 0x85 || u == QChar::LineSeparator || u == QChar::ParagraphSeparator)
            out += QChar(NewLinePicture);
        else if ((u >= 0x80 && u < 0xA0) || (u >= 0x202A && u <= 0x202E) ||
                 (u >= 0x2066 && u <= 0x2069))
            out += QChar(QChar::ReplacementCharacter);
        else
            out += c;
    }
    return out;
}

// Where text may be cut without splitting a character a reader sees as one (a letter and its
// marks, a pair of surrogates): 0, each boundary between graphemes, and text.size().
QList<qsizetype> graphemeBounds(const QString &text)
{
    QList<qsizetype> bounds{0};
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary())
        bounds.append(at);
    if (bounds.last() != text.size())
        bounds.append(text.size());
    return bounds;
}

// text from..to with no more than most graphemes: its middle gives way to an ellipsis.
QString withoutMiddle(const QString &text, qsizetype from, qsizetype to, int most)
{
    QString part = text.sliced(from, to - from);
    if (part.size() <= most)
        return part;
    const QList<qsizetype> bounds = graphemeBounds(part);
    const qsizetype graphemes = bounds.size() - 1;
    if (graphemes <= most)
        return part;
    const qsizetype front = (most - 1) / 2, back = most - 1 - front;
    return part.first(bounds[front]) + QChar(0x2026) + part.sliced(bounds[graphemes - back]);
}

// Each stretch between two places a line may break at is MaxStretch graphemes at most.
QString stretchesShortened(const QString &text)
{
    QString out;
    QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
    qsizetype from = 0;
    for (qsizetype at = lines.toNextBoundary(); at > 0; at = lines.toNextBoundary()) {
        out += withoutMiddle(text, from, at, MaxStretch);
        from = at;
    }
    if (from < text.size())
        out += withoutMiddle(text, from, text.size(), MaxStretch);
    return out;
}

// The values a sentence takes: one past its highest placeholder.
qsizetype placeholders(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text[i] == u'%' && text[i + 1].isDigit())
            count = std::max<qsizetype>(count, text[i + 1].digitValue() + 1);
    return count;
}

} // namespace

QString fillIn(QStringView text, const QStringList &values)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const qsizetype slot = i + 1 < text.size() ? text[i + 1].digitValue() : -1;
        if (c == u'%' && slot >= 0 && slot < values.size()) {
            out += values[slot];
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString isolated(const QString &name)
{
    const QList<uint> codes = name.toUcs4();
    if (std::none_of(codes.begin(), codes.end(), [](uint c) { return turnsText(c); }))
        return name;
    QString out(QChar(0x2068));
    int open = 0;
    for (const uint c : codes) {
        if (isIsolateStart(c))
            ++open;
        else if (c == IsolateEnd && open-- == 0) {
            open = 0;
            continue; // it would close our isolate
        }
        const char32_t code = c;
        out += QString::fromUcs4(&code, 1);
    }
    return out + QString(open + 1, QChar(IsolateEnd));
}

QString oneLine(const QString &name) { return isolated(visible(name)); }

QString inSentence(const QString &name)
{
    // The stretches first: an ellipsis lets a line break after it, and would split a long
    // stretch in two that each lost their middles.
    const QString shown = stretchesShortened(visible(name));
    return isolated(withoutMiddle(shown, 0, shown.size(), MaxInSentence));
}

QString refusalText(const Refusal &refusal, const QString &name)
{
    return refusalTextWith(refusal, inSentence(name));
}

QString refusalTextWith(const Refusal &refusal, const QString &shown)
{
    const Sentence sentence = sentenceFor(refusal.reason);
    // As many details as the sentence takes, whatever came (an answer from a decoding process
    // gone wrong may bring more or fewer): a missing one shows as "?", extra ones are left out,
    // so that the sentence's own values stay in their places.
    const qsizetype taken = placeholders(sentence.text) - 1 - sentence.values.size();
    // The details too stand on one line: they come from a process that read a player's file.
    QStringList values = {shown};
    for (const QString &detail : refusal.details.mid(0, taken))
        values.append(inSentence(detail));
    while (values.size() < 1 + taken)
        values.append(QStringLiteral("?"));
    if (refusal.reason == Reason::Unsupported && values.size() > 2)
        values[2] = variantText(values[2]);
    if ((refusal.reason == Reason::CannotOpen || refusal.reason == Reason::CannotRead) &&
        !refusal.details.isEmpty())
        values[1] = systemWords(values[1]);
    values += sentence.values;
    return fillIn(sentence.text, values);
}

} // namespace picture
