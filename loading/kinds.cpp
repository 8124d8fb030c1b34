#include "kinds.h"

#include <QStringList>

#include <algorithm>

namespace picture {

namespace {

struct Names
{
    const char16_t *name;
    const char *patterns;  // ";" between them; none for a kind the chooser does not offer
    const char *mimeTypes; // the same
    // Of the forms a clipboard offers one picture in, the lowest rank is taken; 0 for none.
    int pasteRank;
};

Names namesOf(Kind kind)
{
    switch (kind) {
    case Kind::Bmp:
        return {u"BMP", "*.bmp", "image/bmp", 3};
    case Kind::Jpeg:
        return {u"JPEG", "*.jpg;*.jpeg;*.jpe", "image/jpeg", 12};
    case Kind::Png:
        return {u"PNG", "*.png", "image/png", 1};
    case Kind::Gif:
        return {u"GIF", "*.gif", "image/gif", 5};
    case Kind::Ico:
        return {u"ICO", "", "", 0};
    case Kind::Webp:
        return {u"WebP", "*.webp", "image/webp", 4};
    case Kind::Tiff:
        return {u"TIFF", "*.tif;*.tiff", "image/tiff", 2};
    case Kind::Wmf:
        return {u"WMF", "*.wmf", "image/wmf;image/x-wmf", 7};
    case Kind::Svg:
        return {u"SVG", "*.svg", "image/svg+xml", 6};
    case Kind::Heic: // what phones call their HEIF pictures, HEVC inside
        return {u"HEIC", "*.heic;*.heif", "image/heic;image/heif", 10};
    case Kind::Avif:
        return {u"AVIF", "*.avif", "image/avif", 9};
    case Kind::Jxl:
        return {u"JPEG XL", "*.jxl", "image/jxl", 8};
    }
    return {u"?", "", "", 0};
}

template <typename F> void forEachKind(F &&f)
{
    for (int k = 0; k <= int(Kind::Last); ++k)
        f(namesOf(Kind(k)));
}

QStringList split(const char *list)
{
    return QString::fromLatin1(list).split(u';', Qt::SkipEmptyParts);
}

} // namespace

QString kindName(Kind kind) { return QString::fromUtf16(namesOf(kind).name); }

QString filePattern()
{
    QStringList patterns;
    forEachKind([&](const Names &n) {
        if (*n.patterns)
            patterns.append(QString::fromLatin1(n.patterns));
    });
    return patterns.join(u';');
}

QString filePattern(Kind kind) { return QString::fromLatin1(namesOf(kind).patterns); }

QString kindNames()
{
    QStringList kinds;
    forEachKind([&](const Names &n) {
        if (*n.patterns)
            kinds.append(QString::fromUtf16(n.name));
    });
    return kinds.join(u'、');
}

QStringList mimeTypes(Kind kind) { return split(namesOf(kind).mimeTypes); }

QStringList mimeTypes()
{
    QStringList types;
    forEachKind([&](const Names &n) { types += split(n.mimeTypes); });
    return types;
}

QStringList pasteMimeTypes()
{
    QList<Names> ranked;
    forEachKind([&](const Names &n) {
        if (n.pasteRank > 0)
            ranked.append(n);
    });
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const Names &a, const Names &b) { return a.pasteRank < b.pasteRank; });
    QStringList types;
    for (const Names &n : ranked)
        types += split(n.mimeTypes);
    return types;
}

} // namespace picture
