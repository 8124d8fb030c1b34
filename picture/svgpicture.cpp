#include "svgpicture.h"

#include "fitting.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

// GLib names a member "signals", which Qt defines as a word of its own.
#pragma push_macro("signals")
#undef signals
#include <cairo.h>
#include <gio/gio.h>
#include <librsvg/rsvg.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <cmath>
#include <utility>

namespace picture {

namespace {

// Deeper nesting than any drawing needs; a renderer walks it by recursion.
constexpr int MaxDepth = 1000;

// The document as librsvg will draw it, and what its root element says of its size.
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

// An element's reference to one of the document's own elements: "#" and an id, no more. A
// renderer may take anything else for a file (Qt SVG did, relative to the process's folder,
// "#/../x.png" too).
bool isOwnElement(QStringView href)
{
    static const QRegularExpression id(QStringLiteral("^#[A-Za-z_][A-Za-z0-9_.:-]*$"));
    return id.match(href.trimmed().toString()).hasMatch();
}

Cleaned clean(const QByteArray &bytes, int depth);

// Whether text starts with markup: "<" after a byte order mark and white space, in UTF-8 or in
// UTF-16 of either order (which a byte order mark announces).
bool startsWithMarkup(QByteArrayView text)
{
    int step = 1, at = 0; // bytes a character, and where the low byte of each lies
    if (text.startsWith("\xEF\xBB\xBF")) {
        text = text.sliced(3);
    } else if (text.startsWith("\xFF\xFE") || text.startsWith("\xFE\xFF")) {
        step = 2;
        at = text.startsWith("\xFF\xFE") ? 0 : 1;
        text = text.sliced(2);
    }
    for (qsizetype i = 0; i + step <= text.size(); i += step) {
        if (step == 2 && text[i + 1 - at] != '\0')
            return false;
        const char c = text[i + at];
        if (c == '<')
            return true;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return false;
}

// Whether Qt's image readers may take these bytes for an SVG (which its SVG reader would then
// draw as it stands): its markup, or gzip's mark, near the start.
bool mayBeSvg(QByteArrayView bytes)
{
    const QByteArray start = bytes.first(std::min<qsizetype>(bytes.size(), 256)).toByteArray();
    const QByteArray lower = start.toLower();
    return start.startsWith("\x1F\x8B") || lower.contains("<svg") || lower.contains("<?xml") ||
           lower.contains("<!--") || lower.contains("<!doctype");
}

// The picture an <image> holds in itself, as Qt SVG reads it: "data" and, after the last
// "base64,", its bytes. A picture Qt would read as an SVG is cleaned in turn (a compressed one
// cannot be, and goes); anything else goes too. Null for an image that goes.
QString ownImage(QStringView href, int depth)
{
    const QStringView trimmed = href.trimmed();
    const qsizetype base64 = trimmed.lastIndexOf(u"base64,");
    if (!trimmed.startsWith(u"data:") || base64 < 0)
        return {};
    const QByteArray bytes = QByteArray::fromBase64(trimmed.sliced(base64 + 7).toLatin1());
    if (!mayBeSvg(bytes))
        return trimmed.toString();
    if (bytes.startsWith("\x1F\x8B"))
        return {};
    const Cleaned inner = clean(bytes, depth);
    if (inner.verdict != Cleaned::Fine)
        return {};
    return QStringLiteral("data:image/svg+xml;base64,") + QString::fromLatin1(inner.xml.toBase64());
}

// Copies an element's start with its namespaces and its attributes, but for an href that
// leads out of the document; an image's own picture as ownImage() gives it.
void copyStart(const QXmlStreamReader &reader, QXmlStreamWriter &writer, const QString &image)
{
    writer.writeStartElement(reader.qualifiedName().toString());
    for (const QXmlStreamNamespaceDeclaration &n : reader.namespaceDeclarations()) {
        if (n.prefix().isEmpty())
            writer.writeDefaultNamespace(n.namespaceUri().toString());
        else
            writer.writeNamespace(n.namespaceUri().toString(), n.prefix().toString());
    }
    for (const QXmlStreamAttribute &a : reader.attributes()) {
        const bool href = a.name() == u"href";
        if (href && !image.isNull())
            writer.writeAttribute(a.qualifiedName().toString(), image);
        else if (!href || (reader.name() != u"image" && isOwnElement(a.value())))
            writer.writeAttribute(a.qualifiedName().toString(), a.value().toString());
    }
}

// The picture an <image> element holds in itself, cleaned; null when it names another file,
// holds nothing that can be cleaned, or is no <image>.
QString imageHeld(const QXmlStreamReader &reader, int depth)
{
    if (reader.name() != u"image")
        return {};
    for (const QXmlStreamAttribute &a : reader.attributes())
        if (a.name() == u"href")
            return ownImage(a.value(), depth);
    return {};
}

// Copies the document without what would make a renderer read other files: an <image> goes whole
// unless it holds its picture in itself (an SVG held so is cleaned the same way, to any depth
// within MaxDepth), other references to anything but the document's own elements lose their
// href, and processing instructions go (an xml-stylesheet one names a style sheet file).
// Comments and the document type go too; entities the document declares are already expanded
// in what is copied. The copy is UTF-8 with no declaration, whatever encoding the file was in
// (UTF-16 as some programs save it): librsvg reads it as it is. depth: the elements around the
// document, when it is held in another.
Cleaned clean(const QByteArray &bytes, int depth)
{
    Cleaned out;
    QXmlStreamReader reader(bytes);
    QXmlStreamWriter writer(&out.xml);
    int skipped = 0; // depth inside an element left out whole
    bool root = true;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > MaxDepth)
                return {Cleaned::Damaged, {}, {}, {}};
            const QString image = imageHeld(reader, depth);
            if (skipped > 0 || (reader.name() == u"image" && image.isNull())) {
                ++skipped;
                continue;
            }
            if (std::exchange(root, false)) {
                const QXmlStreamAttributes a = reader.attributes();
                out.size = QSizeF(pixels(a.value(QStringLiteral("width"))),
                                  pixels(a.value(QStringLiteral("height"))));
                out.viewBox = viewBoxSize(a.value(QStringLiteral("viewBox")));
            }
            copyStart(reader, writer, image);
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

// A document librsvg has read, given back when it goes out of scope.
struct Document
{
    RsvgHandle *handle = nullptr;
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;
    // No base file: librsvg reads nothing but the document (data: references aside), whatever
    // the cleaning left.
    explicit Document(const QByteArray &xml)
    {
        GInputStream *stream =
            g_memory_input_stream_new_from_data(xml.constData(), gssize(xml.size()), nullptr);
        GError *error = nullptr;
        handle = rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr,
                                                  &error);
        g_object_unref(stream);
        g_clear_error(&error);
        if (handle)
            rsvg_handle_set_dpi(handle, 96);
    }
    ~Document()
    {
        if (handle)
            g_object_unref(handle);
    }
    // Its own width and height in pixels, when it gives them in units that have pixels.
    QSizeF size() const
    {
        double w = 0, h = 0;
        if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &w, &h))
            return {};
        return {w, h};
    }
};

// The document drawn on white over the whole of an image of size, kept in proportion and
// centred as its preserveAspectRatio says; null when librsvg cannot draw it.
QImage drawn(const Document &document, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied); // cairo's ARGB32, either endian
    if (image.isNull())
        return image;
    image.fill(Qt::white);
    cairo_surface_t *surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, size.width(), size.height(), int(image.bytesPerLine()));
    cairo_t *cairo = cairo_create(surface);
    const RsvgRectangle viewport{0, 0, double(size.width()), double(size.height())};
    GError *error = nullptr;
    const bool done = rsvg_handle_render_document(document.handle, cairo, &viewport, &error);
    g_clear_error(&error);
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
    if (!done)
        return {};
    image.reinterpretAsFormat(QImage::Format_RGB32); // opaque throughout
    return image;
}

} // namespace

bool looksLikeSvg(QByteArrayView head)
{
    const QByteArrayView text = head.first(std::min(head.size(), SvgPrologLimit));
    if (!startsWithMarkup(text))
        return false;
    // The document's first element tells, after whatever comes before it (a declaration,
    // comments, a document type with its entities), in whichever encoding the document says.
    // An <svg> inside another document, or in a comment, is no SVG document.
    QXmlStreamReader reader(text.toByteArray());
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            return reader.name() == u"svg";
        case QXmlStreamReader::Invalid:
            return false; // not XML, or the prolog runs past the head
        default:
            break;
        }
    }
    return false;
}

Picture renderSvg(QByteArrayView bytes, const Request &request, const Limits &limits)
{
    const Cleaned cleaned = clean(bytes.toByteArray(), 0);
    const QString kind = QStringLiteral("SVG");
    if (cleaned.verdict != Cleaned::Fine)
        return {QImage(), refused(cleaned.verdict == Cleaned::Incomplete ? Reason::Incomplete
                                                                         : Reason::Damaged,
                                  {kind})};
    const Document document(cleaned.xml);
    if (!document.handle)
        return {QImage(), refused(Reason::Damaged, {kind})};
    QSizeF natural = !cleaned.size.isEmpty()      ? cleaned.size
                     : !cleaned.viewBox.isEmpty() ? cleaned.viewBox
                                                  : document.size();
    if (natural.isEmpty())
        return {QImage(), refused(Reason::NoPixels, {kind, QString::number(natural.width()),
                                                     QString::number(natural.height())})};

    // Drawn at the screen's density, no larger than was asked for, or at the longest side
    // asked for; within the limits whatever was asked.
    const QSize size =
        fittingSize(natural, request, limits, request.density > 0 ? request.density : 1);

    QImage image = drawn(document, size);
    if (image.isNull())
        return {QImage(), refused(Reason::Damaged, {kind})};
    if (request.longestSide <= 0 && request.density > 0)
        image.setDevicePixelRatio(request.density);
    return {image, {}};
}

} // namespace picture
