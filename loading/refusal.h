// Why a picture could not be shown, as a code with its details: the decoders and the decoding
// process say what went wrong, picture/refusaltext.h says it to the player.
#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

namespace picture {

// The details each reason carries are listed beside it, in order. A kind is a format's name
// as the player knows it ("JPEG"); numbers are written in decimal.
enum class Reason : quint8 {
    None,
    // Opening and reading the file.
    NotFound,
    NoPermission,
    LinkLoop,
    CannotOpen, // the system's error number (errno)
    NotRegularFile,
    Folder,
    FileTooLarge,
    CannotRead, // the system's error number (errno)
    // What the bytes hold.
    NotAPicture,
    Damaged,     // kind
    Incomplete,  // kind
    TooLarge,    // width, height
    NoPixels,    // kind, width, height: a picture of no area
    Unsupported, // kind, variant (12-bit, lossless ...): a form of the kind we do not read
    // Metafiles.
    MetafileHeaderCut,
    MetafileHeaderWrong,
    MetafileRecordLength,   // record number
    MetafileRecordPastEnd,  // record number
    MetafileRecordCut,      // record number
    MetafileTooManyRecords, // the limit
    MetafileTooDeep,        // the limit of saved states
    MetafileTooManyObjects, // the limit
    MetafilePatternsTooLarge,
    MetafileRegionTooComplex,  // the limit of rectangles
    MetafilePolygonTooComplex, // the limit of points
    MetafileBitmapTooLarge,    // megapixels in one bitmap, megapixels in all
    MetafileNoSize,
    MetafileNothingDrawn,
    MetafileBadSize,
    OutOfMemory,
    // The decoding process.
    TooSlow,           // seconds of CPU time it had
    DecoderCrashed,    // how it ended
    DecoderMissing,    // the program looked for
    TookTooLong,       // seconds it had
    DriveNotAnswering, // seconds it waited
    Last = DriveNotAnswering
};

struct Refusal
{
    Reason reason = Reason::None;
    QStringList details;

    bool isRefused() const { return reason != Reason::None; }
    friend bool operator==(const Refusal &, const Refusal &) = default;
};

inline Refusal refused(Reason reason, QStringList details = {})
{
    return {reason, std::move(details)};
}

} // namespace picture

Q_DECLARE_METATYPE(picture::Refusal)
