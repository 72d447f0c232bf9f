#pragma once

#include "update/pageprogramme.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Reads the listings page a station's download left in the working directory and keeps what
// the last successful read found.
class ListingsParser {
public:
    // Reads the page saved under fileName (the station's name; a path relative to the working
    // directory) and returns its "station : time - title" line (see nowPlayingLine()), with the
    // station written as the Windows-1250 bytes of fileName. On success the page text, the
    // title and the station are kept, the last two with the page charset fixed.
    // nullopt when the file cannot be opened or read, or when fileName has a character that
    // Windows-1250 lacks; errorString() then says why and everything kept stays as it was.
    std::optional<QByteArray> ParseListingsPage(const QString& fileName);
    // The same for a station whose download failed: its line is read from the page kept from
    // its last good download or, where none was ever saved, from an empty page
    // ("station :  - "), so the station keeps its place on the display. The last title and
    // station stay as they were: that page is old news, and the reminder search must not
    // take a programme that has ended for one on air.
    std::optional<QByteArray> parseKeptPage(const QString& fileName);

    // The last page text read, with every line break made CR LF; empty before the first read.
    const QByteArray& pageText() const { return m_pageText; }
    // The title and station of the last line ParseListingsPage returned, from a page just
    // downloaded; empty before the first.
    const QByteArray& lastTitle() const { return m_lastTitle; }
    const QByteArray& lastStation() const { return m_lastStation; }

    // The programme after the one on air, on the page of the last line returned, whichever of
    // the two reads returned it; nullopt when that page has none.
    const std::optional<PageProgramme>& lastNext() const { return m_lastNext; }
    // The same, with the time the programme on air began.
    std::optional<NextUp> lastNextUp() const;

    // Why the last read returned nullopt, for the debug log: a sentence naming the file.
    // Empty after a success.
    const QString& errorString() const { return m_errorString; }

private:
    std::optional<QByteArray> parse(const QString& fileName, bool keptPage);

    QByteArray m_pageText;
    QByteArray m_lastTitle;
    QByteArray m_lastStation;
    std::optional<PageProgramme> m_lastNext;
    QByteArray m_lastOnAirTime;
    QString m_errorString;
};
