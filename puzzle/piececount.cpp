#include "piececount.h"

#include "rounding.h"

#include <QRegularExpression>

#include <cmath>

namespace puzzle {

PieceCount readPieceCount(const QString &entry, QSize picture)
{
    using V = PieceCountVerdict;
    if (entry.isEmpty())
        return {V::Empty};

    // NFKC folds full-width digits and signs, which a Chinese input method may type.
    const QString text = entry.normalized(QString::NormalizationForm_KC).trimmed();
    bool isNumber = false;
    const double count = text.toDouble(&isNumber);
    if (!isNumber || !std::isfinite(count)) {
        // Written as a decimal number, yet beyond what a double holds: far too large, or too
        // close to 0 to be a count.
        static const QRegularExpression decimal(
            QStringLiteral("^([+-]?)(\\d+\\.?\\d*|\\.\\d+)([eE]([+-]?)\\d+)?$"));
        const QRegularExpressionMatch match = decimal.match(text);
        if (!match.hasMatch())
            return {V::NotANumber};
        if (match.captured(1) == u"-")
            return {V::NotPositive};
        return {match.captured(4) == u"-" ? V::NotSquare : V::TooMany};
    }
    if (count <= 0)
        return {V::NotPositive};

    const double root = std::sqrt(count);
    const double side = roundHalfEven(root);
    if (root != side)
        return {V::NotSquare};
    if (count > MaxPieces)
        return {V::TooMany};

    const int gridSide = int(side);
    if (double(picture.width()) / gridSide < 1.0 || double(picture.height()) / gridSide < 1.0)
        return {V::TilesTooSmall};
    return {V::Accepted, int(count), qint16(gridSide)};
}

} // namespace puzzle
