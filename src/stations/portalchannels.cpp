#include "stations/portalchannels.h"

#include "stations/stationentry.h"
#include "text/win1250.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

// A field that is not what the format says: where it is, or the whole message.
struct BadField {
    QString path;
    QString message = {};
};

QString fieldPath(const QString& array, qsizetype index, const char* field)
{
    return QStringLiteral("%1[%2].%3").arg(array).arg(index).arg(QLatin1String(field));
}

QString requiredString(const QJsonObject& object, const char* field, const QString& path)
{
    const QJsonValue value = object.value(QLatin1String(field));
    if (!value.isString())
        throw BadField{path};
    return value.toString();
}

QDateTime isoTime(const QJsonValue& value, const QString& path)
{
    const QDateTime time =
        value.isString() ? QDateTime::fromString(value.toString(), Qt::ISODate) : QDateTime();
    if (!time.isValid())
        throw BadField{path};
    return time;
}

PortalProblem readProblem(const QJsonValue& value, qsizetype index)
{
    const QString array = QStringLiteral("problems");
    if (!value.isObject())
        throw BadField{QStringLiteral("problems[%1]").arg(index)};
    const QJsonObject object = value.toObject();
    PortalProblem problem;
    problem.source = requiredString(object, "source", fieldPath(array, index, "source"));
    problem.reason = requiredString(object, "reason", fieldPath(array, index, "reason"));
    const QJsonValue line = object.value(QLatin1String("line"));
    if (!line.isUndefined() && !line.isNull()) {
        const double number = line.toDouble(-1);
        // A line is a whole number from 1 on; the bound keeps the conversion defined.
        if (!line.isDouble() || number < 1 || number > 2147483647.0 || number != int(number))
            throw BadField{fieldPath(array, index, "line")};
        problem.line = int(number);
    }
    return problem;
}

// The channel, or nullopt when its station line has no Windows-1250 form.
std::optional<PortalChannel> readChannel(const QJsonValue& value, qsizetype index)
{
    const QString array = QStringLiteral("channels");
    if (!value.isObject())
        throw BadField{QStringLiteral("channels[%1]").arg(index)};
    const QJsonObject object = value.toObject();
    PortalChannel channel;
    channel.id = requiredString(object, "id", fieldPath(array, index, "id"));

    const QJsonValue names = object.value(QLatin1String("names"));
    if (!names.isArray() || names.toArray().isEmpty())
        throw BadField{fieldPath(array, index, "names")};
    for (const QJsonValue& name : names.toArray()) {
        if (!name.isString())
            throw BadField{fieldPath(array, index, "names")};
        channel.names << name.toString();
    }

    const QString station = requiredString(object, "station", fieldPath(array, index, "station"));
    const std::optional<QByteArray> bytes = unicodeToWin1250(station);
    if (bytes &&
        (!bytes->contains('|') || checkStationName(EntryName(*bytes)) != StationNameProblem::None ||
         EntryURL(*bytes).isEmpty()))
        throw BadField{fieldPath(array, index, "station")};

    const QJsonValue now = object.value(QLatin1String("now"));
    if (now.isObject()) {
        const QJsonObject programme = now.toObject();
        channel.nowStart =
            isoTime(programme.value(QLatin1String("start")), fieldPath(array, index, "now.start"));
        channel.nowTitle = requiredString(programme, "title", fieldPath(array, index, "now.title"));
    } else if (!now.isNull()) {
        throw BadField{fieldPath(array, index, "now")};
    }

    const QJsonValue until = object.value(QLatin1String("until"));
    if (!until.isNull())
        channel.until = isoTime(until, fieldPath(array, index, "until"));

    if (!bytes)
        return std::nullopt;
    channel.station = *bytes;
    return channel;
}

PortalChannels readAnswer(const QJsonObject& root, int& leftOut)
{
    PortalChannels answer;
    const QString state = requiredString(root, "state", QStringLiteral("state"));
    if (state == QLatin1String("reading"))
        answer.state = PortalChannels::State::Reading;
    else if (state == QLatin1String("ready"))
        answer.state = PortalChannels::State::Ready;
    else if (state == QLatin1String("failed"))
        answer.state = PortalChannels::State::Failed;
    else
        throw BadField{QStringLiteral("state")};

    const QJsonValue problems = root.value(QLatin1String("problems"));
    if (!problems.isArray())
        throw BadField{QStringLiteral("problems")};
    const QJsonArray problemList = problems.toArray();
    for (qsizetype i = 0; i < problemList.size(); ++i)
        answer.problems << readProblem(problemList.at(i), i);

    const QJsonValue channels = root.value(QLatin1String("channels"));
    if (!channels.isArray())
        throw BadField{QStringLiteral("channels")};
    const QJsonArray channelList = channels.toArray();
    if (channelList.size() > kMaxPortalChannels)
        throw BadField{QStringLiteral("channels"),
                       QCoreApplication::translate("PortalChannels",
                                                   "Portal podał więcej kanałów, niż można wybrać "
                                                   "(kMaxPortalChannels = %1).")
                           .arg(kMaxPortalChannels)};
    for (qsizetype i = 0; i < channelList.size(); ++i) {
        if (std::optional<PortalChannel> channel = readChannel(channelList.at(i), i))
            answer.channels << *channel;
        else
            ++leftOut;
    }
    return answer;
}

} // namespace

std::optional<PortalChannels> parsePortalChannels(const QByteArray& json, QString* error,
                                                  int* leftOut)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    const auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (parseError.error != QJsonParseError::NoError)
        return fail(QCoreApplication::translate(
                        "PortalChannels", "Odpowiedź portalu nie jest poprawnym dokumentem JSON "
                                          "(błąd w bajcie %1).")
                        .arg(parseError.offset + 1));
    if (!document.isObject())
        return fail(QCoreApplication::translate("PortalChannels",
                                                "Odpowiedź portalu nie jest obiektem JSON."));
    int skipped = 0;
    try {
        PortalChannels answer = readAnswer(document.object(), skipped);
        if (leftOut)
            *leftOut = skipped;
        return answer;
    } catch (const BadField& bad) {
        if (!bad.message.isEmpty())
            return fail(bad.message);
        return fail(
            QCoreApplication::translate("PortalChannels", "Odpowiedź portalu ma błędne pole „%1”.")
                .arg(bad.path));
    }
}
