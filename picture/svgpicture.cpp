#include "svgpicture.h"

#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace picture {

namespace {

// Deeper nesting than any drawing needs; Qt SVG walks it by recursion.
constexpr int MaxDepth = 1000;

// The document as Qt SVG will draw it, and what its root element says of its size.
struct Cleaned
{
    enum Verdict { Fine, Damaged, Incomplete };
    Verdict verdict = Fine;
    QByteArray xml;
    QSizeF size;    // width and height, in pixels at 96 an inch
    QSizeF viewBox; // its width and height
};

// A length in pixels at 96 an inch; 0 for a percentage or no length at all.
qreal pixels(QStringView text)
{
    static const QRegularExpression length(
        QStringLiteral("^\\s*([0-9]*\\.?[0-9]+(?:[eE][-+]?[0-9]+)?)\\s*(px|pt|pc|mm|cm|in)?\\s*$"));
    const QRegularExpressionMatch m = length.match(text.toString());
    if (!m.hasMatch())
        return 0;
    const qreal value = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    const qreal inch = 96;
    const qreal scale = unit == u"pt"   ? inch / 72
                        : unit == u"pc" ? inch / 6
                        : unit == u"mm" ? inch / 25.4
                        : unit == u"cm" ? inch / 2.54
                        : unit == u"in" ? inch
                                        : 1;
    const qreal result = value * scale;
    return std::isfinite(result) ? result : 0;
}

QSizeF viewBoxSize(QStringView text)
{
    static const QRegularExpression separator(QStringLiteral("[\\s,]+"));
    const QStringList parts = text.toString().split(separator, Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return {};
    const QSizeF size(parts[2].toDouble(), parts[3].toDouble());
    return std::isfinite(size.width()) && std::isfinite(size.height()) ? size : QSizeF();
}

// A reference that stays inside the document: to one of its own elements, or data it holds.
bool isOwn(QStringView href)
{
    const QStringView trimmed = href.trimmed();
    return trimmed.startsWith(u'#') || trimmed.startsWith(u"data:", Qt::CaseInsensitive);
}

// Copies an element's start with its namespaces and its attributes, but for an href that
// leads out of the document.
void copyStart(const QXmlStreamReader &reader, QXmlStreamWriter &writer)
{
    writer.writeStartElement(reader.qualifiedName().toString());
    for (const QXmlStreamNamespaceDeclaration &n : reader.namespaceDeclarations()) {
        if (n.prefix().isEmpty())
            writer.writeDefaultNamespace(n.namespaceUri().toString());
        else
            writer.writeNamespace(n.namespaceUri().toString(), n.prefix().toString());
    }
    for (const QXmlStreamAttribute &a : reader.attributes())
        if (a.name() != u"href" || isOwn(a.value()))
            writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
}

// An <image> of another file, which goes whole.
bool isOutsideImage(const QXmlStreamReader &reader)
{
    if (reader.name() != u"image")
        return false;
    for (const QXmlStreamAttribute &a : reader.attributes())
        if (a.name() == u"href")
            return !isOwn(a.value());
    return true;
}

// Copies the document without what would make Qt SVG read other files: an <image> of another
// file goes whole, other references to other files lose their href, and processing
// instructions go (an xml-stylesheet one names a style sheet file). Comments and the document
// type go too; entities the document declares are already expanded in what is copied.
Cleaned clean(const QByteArray &bytes)
{
    Cleaned out;
    QXmlStreamReader reader(bytes);
    QXmlStreamWriter writer(&out.xml);
    int depth = 0, skipped = 0; // skipped: depth inside an element left out whole
    bool root = true;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > MaxDepth)
                return {Cleaned::Damaged, {}, {}, {}};
            if (skipped > 0 || isOutsideImage(reader)) {
                ++skipped;
                continue;
            }
            if (std::exchange(root, false)) {
                const QXmlStreamAttributes a = reader.attributes();
                out.size = QSizeF(pixels(a.value(QStringLiteral("width"))),
                                  pixels(a.value(QStringLiteral("height"))));
                out.viewBox = viewBoxSize(a.value(QStringLiteral("viewBox")));
            }
            copyStart(reader, writer);
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
            if (skipped > 0)
                --skipped;
            else
                writer.writeEndElement();
        } else if (token == QXmlStreamReader::Characters && skipped == 0) {
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
        } // the declaration, comments, the document type and processing instructions go
    }
    if (reader.hasError() || root)
        out.verdict = reader.error() == QXmlStreamReader::PrematureEndOfDocumentError
                          ? Cleaned::Incomplete
                          : Cleaned::Damaged;
    return out;
}

} // namespace

bool looksLikeSvg(QByteArrayView head)
{
    QByteArrayView text = head.first(std::min<qsizetype>(head.size(), 4096));
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    text = text.trimmed();
    return text.startsWith('<') && text.contains("<svg");
}

Picture renderSvg(QByteArrayView bytes, const Request &request, const Limits &limits)
{
    const Cleaned cleaned = clean(bytes.toByteArray());
    const QString kind = QStringLiteral("SVG");
    if (cleaned.verdict != Cleaned::Fine)
        return {QImage(), refused(cleaned.verdict == Cleaned::Incomplete ? Reason::Incomplete
                                                                         : Reason::Damaged,
                                  {kind})};
    QSvgRenderer renderer(cleaned.xml);
    if (!renderer.isValid())
        return {QImage(), refused(Reason::Damaged, {kind})};
    QSizeF natural = !cleaned.size.isEmpty()      ? cleaned.size
                     : !cleaned.viewBox.isEmpty() ? cleaned.viewBox
                                                  : QSizeF(renderer.defaultSize());
    if (natural.isEmpty())
        return {QImage(), refused(Reason::NoPixels, {kind, QString::number(natural.width()),
                                                     QString::number(natural.height())})};

    // Drawn at the screen's density, no larger than was asked for, or at the longest side
    // asked for; within the limits whatever was asked.
    const qreal w = natural.width(), h = natural.height();
    qreal scale = request.density > 0 ? request.density : 1;
    if (request.longestSide > 0)
        scale = request.longestSide / std::max(w, h);
    else if (request.fitTo.isValid() && !request.fitTo.isEmpty())
        scale = std::min({scale, request.fitTo.width() / w, request.fitTo.height() / h});
    scale = std::min({scale, limits.maxSide / w, limits.maxSide / h,
                      std::sqrt(qreal(limits.maxPixels) / (w * h))});
    const QSize size(std::clamp(int(std::floor(w * scale)), 1, limits.maxSide),
                     std::clamp(int(std::floor(h * scale)), 1, limits.maxSide));

    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return {QImage(), refused(Reason::OutOfMemory)};
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        renderer.setAspectRatioMode(Qt::KeepAspectRatio);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    if (request.longestSide <= 0 && request.density > 0)
        image.setDevicePixelRatio(request.density);
    return {image, {}};
}

} // namespace picture
