#pragma once

#include <QString>
#include <QtGlobal>

enum class FrontLanguage; // portal/frontpage.h

// Why a listings source could not be read the last time it was, for the user who gave it (the
// portal's /channels.json shows it): the kind of failure, from which reason() makes one Polish
// sentence (or an English one), and the technical detail the log has, which follows it in
// parentheses.
struct SourceProblem {
    enum class Kind {
        Missing,       // no such file
        Unopenable,    // it exists but cannot be opened (permissions, a folder...)
        Unreadable,    // reading it failed
        CannotConnect, // the download reached no server
        HttpStatus,    // the server answered with an error status
        DownloadFailed,
        TooLarge,      // past the cap, read or unpacked
        BrokenPacking, // damaged or cut-off gzip or xz data
        BrokenXml,     // not well-formed XML, at a line
        NotXmltv,      // XML, but not XMLTV listings
        BrokenXmltv,   // XMLTV with an element it cannot use, at a line
        NoChannels,
        KeptChanging, // rewritten all the time it was read
        Other,
    };

    Kind kind = Kind::Other;
    // The source as messages name it (a password shown as "***").
    QString source;
    // The line of the fault, for BrokenXml and BrokenXmltv; 0 otherwise.
    qint64 line = 0;
    // The HTTP status, for HttpStatus; the cap in bytes, for TooLarge.
    qint64 number = 0;
    // What the log says of it, in English, without the source's name: "HTTP status 404",
    // "the xz data ends early (is the file cut off?)".
    QString detail;

    // One Polish sentence for the user, the detail in parentheses: "Plik nie jest poprawnym
    // XML-em: błąd w wierszu 12 (a malformed character reference)."
    QString reason() const;
    // The same in `language`: "The file is not well-formed XML: error at line 12 (...)."
    QString reason(FrontLanguage language) const;

    bool operator==(const SourceProblem&) const = default;
};
