#pragma once
// Stored texts are UTF-8. Files written on a Windows code page hold bytes that are not
// valid UTF-8; those are read as Windows-1252 so that old files stay readable.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

QString DecodeStoredText(QByteArrayView bytes);

// The UTF-8 form of `text`, cut to at most `capacity` bytes without splitting a character.
QByteArray EncodeStoredText(const QString& text, qsizetype capacity);
