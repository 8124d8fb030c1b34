// Our own walks over a picture file's structure, one for each kind Qt's readers decode, made
// before those readers see the file. Qt's readers believe headers: they fill rows a file lacks
// with grey or black, and report the size a header claims, not what they will decode.
#pragma once

#include "bytes.h"
#include "decoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace picture {

// What a walk found.
struct Survey
{
    enum Verdict { Fine, Damaged, Incomplete, TooLarge, NoPixels, Unsupported };
    Verdict verdict = Fine;
    QSize size;          // as the file gives it, when known
    bool ranOut = false; // the data ends before its end marker: a failed decode is incomplete
    QString variant;     // Unsupported: the form of the kind we do not read
    QByteArray endAdded; // a PNG whose chunks are whole but lack the end chunk, with one added
};

// A walk's verdict, with the size when it is known.
inline Survey verdict(Survey::Verdict v, QSize size = {})
{
    Survey s;
    s.verdict = v;
    s.size = size;
    return s;
}

// Each walks the bytes there are: given only a file's first bytes, the verdicts its headers
// decide (too large, no pixels, a form we do not read) stand, the others do not.
Survey surveyBmp(const Bytes &f, const Limits &limits);
Survey surveyJpeg(const Bytes &f, const Limits &limits);
Survey surveyPng(const Bytes &f, const Limits &limits);
Survey surveyGif(const Bytes &f, const Limits &limits);
Survey surveyIco(const Bytes &f, const Limits &limits);
Survey surveyWebp(const Bytes &f, const Limits &limits);
Survey surveyTiff(const Bytes &f, const Limits &limits);
// HEIF and AVIF: the primary item's size, turned by its rotation, or a sequence's tracks'; JPEG
// XL: its size header, in the codestream bare or in boxes, turned by its orientation.
Survey surveyHeic(const Bytes &f, const Limits &limits);
Survey surveyAvif(const Bytes &f, const Limits &limits);
Survey surveyJxl(const Bytes &f, const Limits &limits);

// The kinds told by more than their first bytes: the brands of a HEIF file (HEVC's and HEIF's
// own, AVIF's apart), JPEG XL's codestream or container.
bool isHeic(QByteArrayView head);
bool isAvif(QByteArrayView head);
bool isJxl(QByteArrayView head);

} // namespace picture
