#include "portal/sourceproblem.h"

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
    QString sentence;
    switch (kind) {
    case Kind::Missing:
        sentence = QStringLiteral("Nie ma takiego pliku");
        break;
    case Kind::Unopenable:
        sentence = QStringLiteral("Nie można otworzyć pliku");
        break;
    case Kind::Unreadable:
        sentence = QStringLiteral("Nie można odczytać pliku");
        break;
    case Kind::CannotConnect:
        sentence = QStringLiteral("Nie można połączyć się z serwerem");
        break;
    case Kind::HttpStatus:
        // The status says it all.
        return QStringLiteral("Serwer odpowiedział błędem HTTP %1.").arg(number);
    case Kind::DownloadFailed:
        sentence = QStringLiteral("Pobieranie się nie udało");
        break;
    case Kind::TooLarge:
        sentence = QStringLiteral("Źródło jest za duże: portal czyta najwyżej %1 programu")
                       .arg(sizeText(number));
        break;
    case Kind::BrokenPacking:
        sentence = QStringLiteral("Spakowane dane są uszkodzone albo urwane");
        break;
    case Kind::BrokenXml:
        sentence = QStringLiteral("Plik nie jest poprawnym XML-em: błąd w wierszu %1").arg(line);
        break;
    case Kind::NotXmltv:
        sentence = QStringLiteral("To nie jest program telewizyjny w formacie XMLTV");
        break;
    case Kind::BrokenXmltv:
        sentence = QStringLiteral("Program XMLTV jest błędny w wierszu %1").arg(line);
        break;
    case Kind::NoChannels:
        sentence = QStringLiteral("W programie nie ma żadnego kanału");
        break;
    case Kind::KeptChanging:
        sentence = QStringLiteral("Plik zmieniał się przez cały czas czytania");
        break;
    case Kind::Other:
        sentence = QStringLiteral("Nie można wczytać źródła");
        break;
    }
    QString shown = detail.trimmed();
    while (shown.endsWith(u'.'))
        shown.chop(1);
    return shown.isEmpty() ? sentence + u'.' : QStringLiteral("%1 (%2).").arg(sentence, shown);
}
