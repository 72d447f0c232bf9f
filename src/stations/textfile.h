#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Line-based text files as the station files use them: raw Windows-1250 bytes, lines written
// with CR LF.

// No station entry comes near this length; a longer line is not a station file's.
inline constexpr qsizetype kLongestLine = 65536;

// Splits text into lines. A line ends at CR, LF or CR LF; a final line break adds no empty
// line; zero bytes are dropped, so the lines after one are kept and saved again.
QList<QByteArray> splitTextLines(const QByteArray& text);

// Every line followed by CR LF, the last one included.
QByteArray joinTextLines(const QList<QByteArray>& lines);

// Reads and splits a whole file. Throws ErrorReport when the file cannot be opened or read, or
// when a line is longer than kLongestLine (the report names the line); a missing file is such
// an error, so callers check for it first.
QList<QByteArray> readTextFile(const QString& path);

// Replaces the file with the given lines. The text goes to a temporary file in the same
// folder that is renamed over the old file only when everything was written, so a failure
// leaves the old file as it was. Throws ErrorReport on any failure.
void writeTextFile(const QString& path, const QList<QByteArray>& lines);
