#include "text/shorten.h"

namespace {

QByteArray shortenTo(const QByteArray& s, qsizetype limit)
{
    if (s.size() < limit)
        return s;
    return s.left(limit + 1) + "...";
}

} // namespace

QByteArray Shorten25(const QByteArray& s)
{
    return shortenTo(s, 25);
}

QByteArray Shorten50(const QByteArray& s)
{
    return shortenTo(s, 50);
}
