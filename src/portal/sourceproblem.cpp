#include "portal/sourceproblem.h"

#include "portal/frontpage.h"

namespace {

// "512 MiB", "1 KiB", "900 bajtów": a cap as a user reads it.
QString sizeText(qint64 bytes)
{
    if (bytes >= (1 << 20) && bytes % (1 << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes >> 10);
    return QStringLiteral("%1 B").arg(bytes);
}

} // namespace

QString SourceProblem::reason() const
{
    return reason(FrontLanguage::Polish);
}

QString SourceProblem::reason(FrontLanguage language) const
{
    const bool english = language == FrontLanguage::English;
    const auto say = [english](const char16_t* polish, const char16_t* inEnglish) {
        return QString::fromUtf16(english ? inEnglish : polish);
    };
    QString sentence;
    switch (kind) {
    case Kind::Missing:
        sentence = say(u"Nie ma takiego pliku", u"There is no such file");
        break;
    case Kind::Unopenable:
        sentence = say(u"Nie można otworzyć pliku", u"The file cannot be opened");
        break;
    case Kind::Unreadable:
        sentence = say(u"Nie można odczytać pliku", u"The file cannot be read");
        break;
    case Kind::CannotConnect:
        sentence = say(u"Nie można połączyć się z serwerem", u"Cannot connect to the server");
        break;
    case Kind::HttpStatus:
        // The status says it all.
        return say(u"Serwer odpowiedział błędem HTTP %1.",
                   u"The server answered with HTTP error %1.")
            .arg(number);
    case Kind::DownloadFailed:
        sentence = say(u"Pobieranie się nie udało", u"The download failed");
        break;
    case Kind::TooLarge:
        sentence = say(u"Źródło jest za duże: portal czyta najwyżej %1 programu",
                       u"The source is too large: the portal reads at most %1 of listings")
                       .arg(sizeText(number));
        break;
    case Kind::BrokenPacking:
        sentence = say(u"Spakowane dane są uszkodzone albo urwane",
                       u"The packed data is damaged or cut off");
        break;
    case Kind::BrokenXml:
        sentence = say(u"Plik nie jest poprawnym XML-em: błąd w wierszu %1",
                       u"The file is not well-formed XML: error at line %1")
                       .arg(line);
        break;
    case Kind::NotXmltv:
        sentence = say(u"To nie jest program telewizyjny w formacie XMLTV",
                       u"These are not TV listings in the XMLTV format");
        break;
    case Kind::BrokenXmltv:
        sentence = say(u"Program XMLTV jest błędny w wierszu %1",
                       u"The XMLTV listings are broken at line %1")
                       .arg(line);
        break;
    case Kind::NoChannels:
        sentence = say(u"W programie nie ma żadnego kanału", u"The listings have no channels");
        break;
    case Kind::KeptChanging:
        sentence = say(u"Plik zmieniał się przez cały czas czytania",
                       u"The file kept changing all the time it was read");
        break;
    case Kind::Other:
        sentence = say(u"Nie można wczytać źródła", u"The source cannot be read");
        break;
    }
    QString shown = detail.trimmed();
    while (shown.endsWith(u'.'))
        shown.chop(1);
    return shown.isEmpty() ? sentence + u'.' : QStringLiteral("%1 (%2).").arg(sentence, shown);
}
