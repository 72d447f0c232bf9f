#pragma once

#include <QByteArray>
#include <cstddef>
#include <string_view>

// Reading an HTTP request head as it arrives, before anything of it is trusted: whether it is
// all in, whether the portal serves it, and what of it goes to the log.

// The longest request head served; a longer one gets a 431.
constexpr std::size_t kMaxRequestHead = 8192;
// The longest request target; a longer one gets a 414.
constexpr std::size_t kMaxRequestTarget = 8192;

// The parts of a request line, "METHOD TARGET VERSION", as far as it has them.
struct RequestLine {
    std::string_view method;
    std::string_view target;
    std::string_view version;
};
RequestLine requestLine(std::string_view head);

// Where a request head ends (after its empty line), or npos while it is not all in.
std::size_t headEnd(std::string_view bytes);

// The status a whole request head (ending with its empty line) is refused with, or 0 when it
// asks for a page: 400 for what is not HTTP/1.x or has a control byte, 414 for a long target,
// 431 for a long head, 405 for a method other than GET and HEAD.
int headRefusal(std::string_view head);
// The same for the parts of a head the HTTP library has read.
int partsRefusal(std::string_view method, std::string_view target, std::string_view version,
                 std::size_t headLength, bool controlBytes);

// A control byte other than a tab: never in a request line or a header field.
bool hasControlByte(std::string_view text);
// An HTTP token: a method, a header's name.
bool isToken(std::string_view text);
// Whether a comma-separated header value lists token, in any case.
bool listsToken(std::string_view value, std::string_view token);
// The value of a header in a head, or "-".
QByteArray headerValue(std::string_view head, std::string_view name);

// A line of the request log: time, client address, request line, status, body length and
// user agent, as the client sent them (the log's writer makes them safe to print).
QByteArray requestLogLine(const QByteArray& client, const RequestLine& line, int status,
                          qint64 bodyLength, std::string_view agent);
