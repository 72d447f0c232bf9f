#pragma once

#include "update/pageprogramme.h"

#include <QByteArray>
#include <QList>
#include <optional>

// The text work on a station's listings page. Everything here is on 8-bit byte strings: the
// page is ISO-8859-2, the program's own texts are Windows-1250, and no text is ever decoded.
//
// Positions in the comments are 1-based, as the rules for reading a page are written that way.

// Removes tags. A counter goes up at every "<" and down after every ">"; a character is kept
// only while the counter is exactly 0 (a "<" is tested after counting it, a ">" before). So a
// balanced tag vanishes with everything nested in it, text outside tags passes unchanged (no
// trimming, no entity decoding), and a stray ">" outside any tag is kept but hides everything
// up to the next "<", which is kept again. Takes any length and any depth.
QByteArray StripTags(const QByteArray& s);

// Moves the Polish letters that differ between ISO-8859-2 and Windows-1250 to their
// Windows-1250 bytes: 0xA6 and "|" become 0x8C (Ś), 0xB6 becomes 0x9C (ś), 0xB1 becomes 0xB9
// (ą), 0xBC becomes 0x9F (ź), 0xA1 becomes 0xA5 (Ą) and 0xAC becomes 0x8F (Ź). No other byte
// changes.
QByteArray fixPageCharset(const QByteArray& s);

// Every line break (CR, LF or CR LF) becomes CR LF. A text that already has CR LF everywhere
// is returned as it is, without a copy.
QByteArray normalizeLineBreaks(const QByteArray& text);

// The "station : time - title" line for what a page shows on air now. pageText has its line
// breaks normalised already (each break counts as two characters); station is the station's
// name in Windows-1250. The time is the 5 characters 73 before the first "trwa.gif" (or the 5
// characters 148 before it, marked "[HIT] ", when those 73 before are the hit mark), and the
// title is the text of the first programme anchor after the marker. The line has the page
// charset fixed and is then shortened to 50 characters. When title is not null it receives the
// title as read from the page: tags stripped, charset not fixed. When next is not null it
// receives nextProgramme(pageText), without reading the page twice. When onAirTime is not null
// it receives the time of the row on air as pageProgrammes() gives it.
// A page without the marker, anchor or time still gives a line; see the .cpp for what it holds.
QByteArray nowPlayingLine(const QByteArray& pageText, const QByteArray& station,
                          QByteArray* title = nullptr, std::optional<PageProgramme>* next = nullptr,
                          QByteArray* onAirTime = nullptr);

// Every programme row of the page, in page order; a page without title anchors has none.
// A row is a title anchor, read through the first "</a>" after it. The row on air is the one
// the now-playing line reads, with the same time, title and hit mark (its time is whatever 5
// characters stand there, "HH:MM" on a well-made page). Any other row's time is the last
// "DD:DD" between the end of the row before and its anchor (empty when there is none), and it
// is a hit when the hit mark stands 75 characters after that time, as on the row on air.
// Titles have tags stripped and the charset fixed, and are not cut. Linear in the page.
QList<PageProgramme> pageProgrammes(const QByteArray& pageText);

// The row after the one on air, as pageProgrammes() gives it; nullopt when the page marks no
// row as on air or nothing follows it. Reads no further than that row.
std::optional<PageProgramme> nextProgramme(const QByteArray& pageText);
