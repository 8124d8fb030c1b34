#include "piececount.h"

#include "rounding.h"

#include <cmath>

namespace puzzle {

PieceCount readPieceCount(const QString &entry, QSize picture)
{
    using V = PieceCountVerdict;
    if (entry.isEmpty())
        return {V::Empty};

    // NFKC folds full-width digits and signs, which a Chinese input method may type.
    bool isNumber = false;
    const double count =
        entry.normalized(QString::NormalizationForm_KC).trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(count))
        return {V::NotANumber};
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
