#include "text/shorten.h"

namespace {

QByteArray ShortenTo(const QByteArray& s, qsizetype limit)
{
    if (s.size() < limit)
        return s;
    return s.left(limit + 1) + "...";
}

} // namespace

QByteArray Shorten25(const QByteArray& s)
{
    return ShortenTo(s, 25);
}

QByteArray Shorten50(const QByteArray& s)
{
    return ShortenTo(s, 50);
}
