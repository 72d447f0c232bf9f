#pragma once

#include <QStringView>
#include <QtGlobal>
#include <optional>

// An XMLTV date and time as an instant in milliseconds since the epoch.
//
// The form is "YYYYMMDDhhmmss" or one of its initial parts down to "YYYYMMDD" (missing fields
// are 0), optionally followed by a time zone: a numeric offset "+hhmm" or "-hhmm", or one of
// the names UTC, GMT, Z, BST (+0100), CET (+0100) and CEST (+0200), with or without a space
// before it. Without a zone the time is UTC. nullopt for anything else.
std::optional<qint64> parseXmltvTime(QStringView text);
