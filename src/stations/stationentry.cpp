#include "stations/stationentry.h"

#include "stations/stationfiles.h"

#include <QCoreApplication>
#include <algorithm>

QByteArray EntryName(const QByteArray& entry)
{
    const qsizetype bar = entry.indexOf('|');
    return bar < 0 ? QByteArray() : entry.left(bar);
}

QByteArray EntryURL(const QByteArray& entry)
{
    const qsizetype bar = entry.indexOf('|');
    return bar < 0 ? entry : entry.mid(bar + 1);
}

StationNameProblem checkStationName(const QByteArray& name)
{
    if (name.isEmpty())
        return StationNameProblem::Empty;
    if (name == "." || name == "..")
        return StationNameProblem::DotName;
    if (name.contains('/') || name.contains('\\'))
        return StationNameProblem::Separator;
    if (name.startsWith(':'))
        return StationNameProblem::Resource;
    if (name == kStationListFile || name == kCheckedStatesFile)
        return StationNameProblem::StationFile;
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return StationNameProblem::ControlChar;
    return StationNameProblem::None;
}

QString stationNameProblemText(StationNameProblem problem)
{
    switch (problem) {
    case StationNameProblem::None:
        return QString();
    case StationNameProblem::Empty:
        return QCoreApplication::translate("StationEntry",
                                           "Nazwa stacji (tekst przed „|”) nie może być pusta.");
    case StationNameProblem::DotName:
        return QCoreApplication::translate(
            "StationEntry", "Nazwa stacji nie może być samą kropką „.” ani dwiema kropkami „..”.");
    case StationNameProblem::Separator:
        return QCoreApplication::translate("StationEntry",
                                           "Nazwa stacji nie może zawierać ukośnika „/” ani „\\”.");
    case StationNameProblem::Resource:
        return QCoreApplication::translate("StationEntry",
                                           "Nazwa stacji nie może zaczynać się od dwukropka „:”.");
    case StationNameProblem::StationFile:
        return QCoreApplication::translate(
            "StationEntry", "Nazwa stacji nie może być taka sama jak nazwa pliku listy stacji "
                            "„programy.tv” ani pliku zaznaczeń „programy_stan.tv”.");
    case StationNameProblem::ControlChar:
        return QCoreApplication::translate(
            "StationEntry", "Nazwa stacji nie może zawierać znaków sterujących, takich jak "
                            "tabulator czy znak końca wiersza.");
    }
    return QString();
}
