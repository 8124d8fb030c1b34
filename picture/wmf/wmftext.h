// Text in metafiles: bytes in the font's character set, faces that may not be installed.
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace wmf {

// Decodes text written in the given character set (the font's). Faces with their own symbol
// encoding (Symbol and its kin) are mapped to the Unicode characters they show.
// byteCounts, when given, receives the number of bytes each character of the result took.
QString decodeText(QByteArrayView bytes, quint8 charSet, const QString &face,
                   QList<int> *byteCounts = nullptr);

// An installed family that looks like `face`: the face itself when installed, else a
// metric-compatible or similar one, else one chosen by character set, family and pitch.
// Empty without a QGuiApplication (fonts need one).
QString familyFor(const QString &face, quint8 charSet, quint8 pitchAndFamily);

// What the platform takes from a face besides its glyphs, in ems of the face.
struct FaceMetrics
{
    // The average character width a font record's width asks the face to have: for the
    // classic faces the platform's own measure, the lower-case letters and the space weighted
    // by how often English uses them; where the face has no such letters, its stored average.
    qreal averageWidth = 0.5;
    qreal underlineTop = 0.1; // below the baseline
    qreal underlineThickness = 0.05;
    qreal strikeOutTop = 0.3; // above the baseline
    qreal strikeOutThickness = 0.05;
    // The face keeps the Symbol face's encoding: its characters are that face's bytes (see
    // toSymbolEncoding), and what it lacks is drawn by the families in `fallbacks`.
    bool symbolEncoded = false;
    QStringList fallbacks;
};

// The metrics of `family` in the style the weight and slant choose, measured once a face and
// style. Defaults without a QGuiApplication.
FaceMetrics faceMetrics(const QString &family, int weight, bool italic);

// Whether `family` has a style of weight 600 or more. Without one, the platform draws the
// family's bold text emboldened.
bool hasBoldStyle(const QString &family);

// Text for a face that keeps the Symbol face's encoding: each character the Symbol face shows
// becomes the byte it shows it at; other characters stay as they are.
QString toSymbolEncoding(const QString &text);

} // namespace wmf
