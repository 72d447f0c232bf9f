#pragma once

#include "portal/listings.h"

#include <QString>
#include <optional>

class QIODevice;

// Reads XMLTV listings: the channels (id and display names) and the programmes (start, stop,
// channel, title, star rating). Titles and names are kept in the bytes the page writes (see
// programText()). Of several titles the first in the language `lang` is taken, else the first;
// a channel's shown name likewise among its display names. Languages are matched
// case-insensitively and by the language alone: "pl" takes "pl-PL" and "pl_PL" too. A
// programme is a hit when one of its star ratings is 4/5 or better (at least 80 % of the
// scale, "8/10" too). Elements XMLTV has besides are passed over.
//
// On failure returns nullopt and sets error to a sentence naming the source and the line, e.g.
// "Cannot read listings file "demo.xmltv", line 12: ...". Input that is not well-formed XML
// or cannot be read to its end, has another root element than <tv>, or has a programme
// without start, channel or title, with a time that is not an XMLTV time, or ending before it
// starts, fails.
//
// fault, when given, is set to what kind of fault it was, its line and the message without the
// source and the line.
struct XmltvFault {
    enum class Kind {
        None,
        NotXml,     // not well-formed, or past a limit of the scanner (reading failures too)
        NotXmltv,   // another root element than <tv>
        BrokenXmltv // an element XMLTV needs is missing or wrong
    };
    Kind kind = Kind::None;
    qint64 line = 0;
    QString what;
};
std::optional<Listings> readXmltv(QIODevice* device, const QString& sourceName, const QString& lang,
                                  QString* error, XmltvFault* fault = nullptr);

// The listings file of that name, titles in Polish.
std::optional<Listings> readXmltv(const QString& fileName, QString* error);
