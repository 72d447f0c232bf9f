#include "portal/requesthead.h"

#include <QDateTime>
#include <algorithm>
#include <strings.h>

namespace {

bool isMethod(std::string_view method)
{
    for (const std::string_view known :
         {"GET", "HEAD", "POST", "PUT", "DELETE", "CONNECT", "OPTIONS", "TRACE", "PATCH"}) {
        if (method == known)
            return true;
    }
    return false;
}

bool isTokenChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isControlByte(char c)
{
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f;
}

QByteArray orDash(std::string_view text)
{
    return text.empty() ? QByteArray("-") : QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

RequestLine requestLine(std::string_view head)
{
    std::string_view line = head.substr(0, head.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos)
        return {};
    if (first == last)
        return {line.substr(0, first), line.substr(first + 1), {}};
    return {line.substr(0, first), line.substr(first + 1, last - first - 1), line.substr(last + 1)};
}

std::size_t headEnd(std::string_view bytes)
{
    for (std::size_t newline = bytes.find('\n'); newline != std::string_view::npos;
         newline = bytes.find('\n', newline + 1)) {
        if (newline + 1 < bytes.size() && bytes[newline + 1] == '\n')
            return newline + 2;
        if (newline + 2 < bytes.size() && bytes[newline + 1] == '\r' && bytes[newline + 2] == '\n')
            return newline + 3;
    }
    return std::string_view::npos;
}

int headRefusal(std::string_view head)
{
    if (std::any_of(head.begin(), head.end(),
                    [](char c) { return c != '\r' && c != '\n' && isControlByte(c); }))
        return 400;
    const RequestLine line = requestLine(head);
    if (!isToken(line.method) || line.target.empty() ||
        line.target.find(' ') != std::string_view::npos ||
        (line.version != "HTTP/1.0" && line.version != "HTTP/1.1"))
        return 400;
    // Every header line is "Name: value".
    std::size_t start = head.find('\n') + 1;
    for (std::size_t end; (end = head.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        std::string_view field = head.substr(start, end - start);
        if (!field.empty() && field.back() == '\r')
            field.remove_suffix(1);
        if (field.empty())
            break;
        const std::size_t colon = field.find(':');
        if (colon == std::string_view::npos || !isToken(field.substr(0, colon)))
            return 400;
    }
    if (line.target.size() > kMaxRequestTarget)
        return 414;
    if (head.size() > kMaxRequestHead)
        return 431;
    if (line.method == "GET" || line.method == "HEAD")
        return 0;
    return isMethod(line.method) ? 405 : 400;
}

int partsRefusal(std::string_view method, std::string_view target, std::string_view version,
                 std::size_t headLength, bool controlBytes)
{
    // As at the door: nothing a client sends reaches the log as a control byte.
    if (controlBytes || hasControlByte(target) || hasControlByte(method) ||
        hasControlByte(version) || !isMethod(method))
        return 400;
    if (method != "GET" && method != "HEAD")
        return 405;
    if (target.size() > kMaxRequestTarget)
        return 414;
    return headLength > kMaxRequestHead ? 431 : 0;
}

bool hasControlByte(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), isControlByte);
}

bool isToken(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

bool listsToken(std::string_view value, std::string_view token)
{
    std::string_view rest = value;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item.size() == token.size() &&
            strncasecmp(item.data(), token.data(), token.size()) == 0)
            return true;
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return false;
}

QByteArray headerValue(std::string_view head, std::string_view name)
{
    std::size_t start = head.find('\n') + 1;
    for (std::size_t end; start > 0 && (end = head.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        std::string_view field = head.substr(start, end - start);
        if (field.size() > name.size() && field[name.size()] == ':' &&
            strncasecmp(field.data(), name.data(), name.size()) == 0) {
            field.remove_prefix(name.size() + 1);
            while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
                field.remove_prefix(1);
            while (!field.empty() && (field.back() == '\r' || field.back() == ' '))
                field.remove_suffix(1);
            if (!field.empty())
                return QByteArray(field.data(), qsizetype(field.size()));
        }
    }
    return "-";
}

QByteArray requestLogLine(const QByteArray& client, const RequestLine& line, int status,
                          qint64 bodyLength, std::string_view agent)
{
    const QByteArray time =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    return time + ' ' + client + " \"" + orDash(line.method) + ' ' + orDash(line.target) + ' ' +
           orDash(line.version) + "\" " + QByteArray::number(status) + ' ' +
           QByteArray::number(bodyLength) + " \"" + orDash(agent) + '"';
}
