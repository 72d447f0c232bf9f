#include "portal/channelsjson.h"

#include "portal/frontpage.h"
#include "portal/programtext.h"

#include <utility>

namespace {

// A JSON string of the text, UTF-8.
QByteArray jsonString(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static const char kHex[] = "0123456789abcdef";
                out += "\\u00";
                out += kHex[(c >> 4) & 0xf];
                out += kHex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

QByteArray jsonString(const QByteArray& latin1)
{
    return jsonString(QString::fromLatin1(latin1));
}

// "2026-12-09T20:00:00+01:00": local time with its offset from UTC.
QByteArray isoTime(qint64 instant)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(instant);
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return '"' + local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() +
           (offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'))
               .toLatin1() +
           '"';
}

const char* stateOf(const Catalogue* catalogue, bool firstReadingFailed)
{
    if (catalogue)
        return "ready";
    return firstReadingFailed ? "failed" : "reading";
}

void appendChannel(HostedText& json, const Channel& channel, const Catalogue::Station& station,
                   qint64 instant)
{
    json += "{\"id\":" + jsonString(channel.id) + ",\"names\":[";
    for (qsizetype i = 0; i < channel.displayNames.size(); ++i)
        json += (i > 0 ? "," : "") + jsonString(channel.displayNames[i]);
    // The station line as the front page writes it: the address goes in as it is answered.
    json += "],\"station\":" + jsonString(station.name + "|http://").chopped(1);
    json.addHost();
    json += jsonString(station.path).sliced(1) + ",\"now\":";
    if (const Programme* onAir = onAirAt(channel, instant))
        json += "{\"start\":" + isoTime(onAir->start) +
                ",\"title\":" + jsonString(shownText(onAir->title)) + '}';
    else
        json += "null";
    json += ",\"until\":";
    if (channel.programmes.isEmpty()) {
        json += "null";
    } else {
        const Programme& last = channel.programmes.last();
        json += isoTime(last.stop.value_or(last.start));
    }
    json += "}";
}

} // namespace

HostedText channelsJson(const Catalogue* catalogue, bool firstReadingFailed,
                        const QList<SourceProblem>& problems, const QDateTime& now,
                        FrontLanguage language)
{
    HostedText json;
    json += "{\"state\":\"";
    json += stateOf(catalogue, firstReadingFailed);
    json += "\",\"problems\":[";
    for (qsizetype i = 0; i < problems.size(); ++i) {
        const SourceProblem& problem = problems[i];
        json += (i > 0 ? ",{\"source\":" : "{\"source\":") + jsonString(problem.source);
        if (problem.line > 0)
            json += ",\"line\":" + QByteArray::number(problem.line);
        json += ",\"reason\":" + jsonString(problem.reason(language)) + '}';
    }
    json += "],\"channels\":[";
    if (catalogue) {
        const qint64 instant = now.toMSecsSinceEpoch();
        bool first = true;
        for (const Catalogue::Station& station : catalogue->stations()) {
            // A channel a line, for whoever reads it with curl.
            json += std::exchange(first, false) ? "\n" : ",\n";
            appendChannel(json, *catalogue->listings().channel(station.channelId), station,
                          instant);
        }
    }
    json += catalogue && !catalogue->stations().isEmpty() ? "\n]}\n" : "]}\n";
    return json;
}
