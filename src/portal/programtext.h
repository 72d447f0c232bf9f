#pragma once

#include <QByteArray>
#include <QString>

// The bytes the portal writes into a page for a text from the listings (a title, a channel
// name), chosen so that ekranik shows the text right: ekranik reads the page bytes, moves the
// ISO-8859-2 bytes of Ś, ś, ą, ź, Ą and Ź (and "|") to Windows-1250 and shows the result as
// Windows-1250.
//
// - Whitespace runs become one space, leading and trailing whitespace goes, the text is
//   composed (NFC) first.
// - Characters of ISO-8859-2 are written as their ISO-8859-2 byte when ekranik shows that byte
//   as the same character: all ASCII and almost all of ISO-8859-2, the Polish letters included.
//   Š, Ť, Ž, š, ť, ž and ľ would show as other characters, so they are written as their
//   Windows-1250 bytes, which ekranik shows right (a browser that trusts the page's ISO-8859-2
//   label shows these few wrong); so are Ą and Ź, which ekranik releases before it converted
//   their ISO-8859-2 bytes show right too. Ľ and the caron ˇ have no byte ekranik shows as
//   them: Ľ becomes "L", and ˇ is left out.
// - "<" and ">" become "(" and ")" (ekranik removes everything between them as a tag); "|"
//   becomes "/" (ekranik shows it as Ś). Nothing is written as an HTML entity: ekranik shows
//   entities as they are written.
// - Other characters are transliterated: typographic quotes to '"' or "'", dashes to "-",
//   "…" to "...", "€" to "EUR" and a few more; letters with accents ISO-8859-2 lacks lose
//   them (è to e, ñ to n); control and format characters go; anything else becomes "?".
// - The on-air marker text "trwa.gif" never appears: it becomes "trwa gif".
QByteArray programText(const QString& text);

// The characters ekranik shows for bytes programText() wrote, for pages meant for a browser.
QString shownText(const QByteArray& bytes);
