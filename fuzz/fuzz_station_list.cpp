// Any bytes as the station list file, programy.tv. Its lines hold no line break and no zero
// byte, and saved and read again they are the same entries, in memory and through a file.
// Without zero bytes the saved text is the text with every break CR LF and one after the last
// line; with one, at least the lines before it are kept (the line it stands in at least up to
// it). Each entry splits at its first "|" into a name and an address with nothing lost; a name
// checkStationName accepts is a plain file in the working folder, neither of the two station
// files, and it survives being saved. Decoded as Windows-1250 and encoded again, every entry
// comes back byte for byte.

#include "fuzzsupport.h"
#include "stations/stationentry.h"
#include "stations/stationfiles.h"
#include "stations/textfile.h"
#include "support/linebreaks.h"
#include "text/errorreport.h"
#include "text/win1250.h"

#include <QFileInfo>
#include <cstdint>

namespace {

ScratchFile& scratch()
{
    static ScratchFile file;
    return file;
}

ScratchFile& saved()
{
    static ScratchFile file;
    return file;
}

// The text as saved again: every break CR LF, and one after the last line.
QByteArray savedForm(const QByteArray& text)
{
    QByteArray result = slowNormalizeLineBreaks(text);
    if (!result.isEmpty() && !result.endsWith("\r\n"))
        result += "\r\n";
    return result;
}

void checkEntry(const QByteArray& entry)
{
    FUZZ_CHECK(unicodeToWin1250(win1250ToUnicode(entry)) == entry);

    const QByteArray name = EntryName(entry);
    const QByteArray url = EntryURL(entry);
    if (entry.contains('|')) {
        FUZZ_CHECK(!name.contains('|'));
        FUZZ_CHECK(name + '|' + url == entry);
    } else {
        FUZZ_CHECK(name.isEmpty() && url == entry);
    }

    const StationNameProblem problem = checkStationName(name);
    FUZZ_CHECK(stationNameProblemText(problem).isEmpty() == (problem == StationNameProblem::None));
    if (problem != StationNameProblem::None)
        return;
    // The station's page is saved and read under its name, a path relative to the working
    // folder, which must name a file right in that folder.
    const QString fileName = win1250ToUnicode(name);
    const QFileInfo info(fileName);
    FUZZ_CHECK(info.isRelative());
    FUZZ_CHECK(info.path() == QLatin1String(".") && info.fileName() == fileName);
    FUZZ_CHECK(QDir::cleanPath(fileName) == fileName);
    FUZZ_CHECK(fileName != QLatin1String(kStationListFile) &&
               fileName != QLatin1String(kCheckedStatesFile));
    // An entry with that name, saved alone and read back, is one entry with the same name.
    const QList<QByteArray> again = splitTextLines(joinTextLines({name + '|' + url}));
    FUZZ_CHECK(again.size() == 1 && EntryName(again[0]) == name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> lines = splitTextLines(bytes);
    for (const QByteArray& line : lines) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n') && !line.contains('\0'));
        checkEntry(line);
    }
    FUZZ_CHECK(splitTextLines(joinTextLines(lines)) == lines);

    const qsizetype zero = bytes.indexOf('\0');
    if (zero < 0) {
        FUZZ_CHECK(joinTextLines(lines) == savedForm(bytes));
    } else {
        const QList<QByteArray> before = splitTextLines(bytes.left(zero));
        FUZZ_CHECK(lines.size() >= before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            if (i + 1 < before.size())
                FUZZ_CHECK(lines[i] == before[i]);
            else
                FUZZ_CHECK(lines[i].startsWith(before[i]));
        }
    }

    // Through files as the program reads and saves the list. Reading may refuse the file, but
    // only with a report for the user; a list it read is saved and read again unchanged.
    QList<QByteArray> read;
    try {
        read = readTextFile(scratch().write(bytes));
    } catch (const ErrorReport&) {
        return 0;
    }
    FUZZ_CHECK(read == lines);
    writeTextFile(saved().path(), read);
    FUZZ_CHECK(readTextFile(saved().path()) == lines);
    return 0;
}
