#pragma once
// Stored texts are UTF-8. Files written on a Windows code page hold bytes that are not
// valid UTF-8; those are read as Windows-1252 so that old files stay readable.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString DecodeStoredText(QByteArrayView bytes);

// A text read from a field of `capacity` bytes. A field filled to its capacity may end
// in a character cut in half by a writer that counted bytes: the half is left out when
// the rest is UTF-8.
QString DecodeStoredField(QByteArrayView bytes, qsizetype capacity);

// The UTF-8 form of `text`, cut to at most `capacity` bytes without splitting a
// character: neither a code point nor what the user sees as one (a letter with its
// accents, a flag).
QByteArray EncodeStoredText(const QString& text, qsizetype capacity);
