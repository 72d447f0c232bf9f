// The scanner's start and end tags: names, attributes and the open elements.

#include "portal/xmlscanner.h"

#include "portal/xmlbytes.h"

#include <QSet>
#include <algorithm>

using namespace xmlbytes;

namespace {

// Up to this many attributes a tag's names are compared one by one; more get a hash set, so
// that a tag of thousands stays linear.
constexpr qsizetype kAttributesComparedInTurn = 8;

} // namespace

XmlScanner::Step XmlScanner::scanStartTag()
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = m_pos + 1;
    if (!is(d[p], kNameStart))
        return fail(p, QStringLiteral("\"<\" is not followed by a name."));
    const qsizetype nameBegin = p;
    if (const Step s = scanName(&p, "a tag"); s != Step::Token)
        return s;
    const QByteArrayView name = view(nameBegin, p - nameBegin);
    const auto tagName = [&] { return decode(name, Decode::Name, false, {}); };
    if (m_openStarts.empty() && m_rootSeen)
        return fail(m_pos, QStringLiteral("a second root element <%1>.").arg(tagName()));
    if (m_openStarts.size() >= size_t(kMaxDepth))
        return fail(m_pos, QStringLiteral("elements nested more than %1 deep.").arg(kMaxDepth));

    m_attributes.clear();
    // The names of the attributes so far, once there are many; QHash's seed is random, so
    // that no source can make their hashes collide.
    QSet<QByteArrayView> names;
    bool empty = false;
    const quint8 stop = m_utf8 ? kValueStopUtf8 : kValueStop;
    for (;;) {
        const qsizetype spaceBegin = p;
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore("a tag");
        if (d[p] == '>') {
            ++p;
            break;
        }
        if (d[p] == '/') {
            if (p + 1 == m_end)
                return needMore("a tag");
            if (d[p + 1] != '>')
                return fail(p,
                            QStringLiteral("\"/\" not followed by \">\" in <%1>.").arg(tagName()));
            p += 2;
            empty = true;
            break;
        }
        if (p == spaceBegin || !is(d[p], kNameStart))
            return fail(p, QStringLiteral("unexpected \"%1\" in <%2>.")
                               .arg(QChar::fromLatin1(char(d[p])), tagName()));
        Attribute a{};
        a.nameBegin = p;
        if (const Step s = scanName(&p, "a tag"); s != Step::Token)
            return s;
        a.nameLength = p - a.nameBegin;
        const auto attributeName = [&] {
            return decode(view(a.nameBegin, a.nameLength), Decode::Name, false, {});
        };
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore("a tag");
        if (d[p] != '=')
            return fail(p, QStringLiteral("attribute \"%1\" has no value.").arg(attributeName()));
        ++p;
        while (is(d[p], kSpace))
            ++p;
        if (p == m_end)
            return needMore("a tag");
        const uchar quote = d[p];
        if (quote != '"' && quote != '\'')
            return fail(p, QStringLiteral("the value of attribute \"%1\" is not in quotes.")
                               .arg(attributeName()));
        a.valueBegin = ++p;
        for (;;) {
            while (!is(d[p], stop))
                ++p;
            if (p == m_end)
                return needMore("a tag");
            const uchar c = d[p];
            if (c == quote)
                break;
            if (c == '"' || c == '\'') {
                ++p;
            } else if (c == '<') {
                return fail(
                    p,
                    QStringLiteral("\"<\" in the value of attribute \"%1\".").arg(attributeName()));
            } else if (c == '&') {
                const Reference r = parseReference(d + p, d + m_end, m_eof);
                if (r.kind == Reference::Incomplete)
                    return needMore("a tag");
                if (r.kind == Reference::Malformed || r.kind == Reference::Forbidden)
                    return fail(p, QStringLiteral("a bad character reference in attribute \"%1\".")
                                       .arg(attributeName()));
                a.hasReference = a.hasReference || r.kind != Reference::None;
                p += r.kind == Reference::Character ? r.length : 1;
            } else {
                const int length = utf8Length(d + p, d + m_end);
                if (length < 0 && !m_eof)
                    return needMore("a tag");
                if (length <= 0)
                    return fail(p, QString::fromLatin1(kNotUtf8));
                p += length;
            }
        }
        a.valueLength = p - a.valueBegin;
        ++p;
        const QByteArrayView attributeBytes = view(a.nameBegin, a.nameLength);
        bool twice = false;
        if (qsizetype(m_attributes.size()) < kAttributesComparedInTurn) {
            for (const Attribute& other : std::as_const(m_attributes))
                twice = twice || view(other.nameBegin, other.nameLength) == attributeBytes;
        } else {
            if (names.isEmpty()) {
                for (const Attribute& other : std::as_const(m_attributes))
                    names.insert(view(other.nameBegin, other.nameLength));
            }
            const qsizetype before = names.size();
            names.insert(attributeBytes);
            twice = names.size() == before;
        }
        if (twice)
            return fail(a.nameBegin, QStringLiteral("attribute \"%1\" is given twice in <%2>.")
                                         .arg(attributeName(), tagName()));
        m_attributes.push_back(a);
    }

    m_declarationAllowed = false;
    m_rootSeen = true;
    m_nameBegin = nameBegin;
    m_nameLength = name.size();
    if (!empty) {
        m_openStarts.push_back(qsizetype(m_openNames.size()));
        m_openNames.append(name.data(), size_t(name.size()));
    }
    m_pendingEnd = empty;
    m_pos = p;
    m_token = Token::StartElement;
    return Step::Token;
}

XmlScanner::Step XmlScanner::scanEndTag()
{
    const auto* d = reinterpret_cast<const uchar*>(m_buffer.constData());
    qsizetype p = m_pos + 2;
    if (p == m_end)
        return needMore("a tag");
    if (!is(d[p], kNameStart))
        return fail(p, QStringLiteral("\"</\" is not followed by a name."));
    const qsizetype nameBegin = p;
    if (const Step s = scanName(&p, "a tag"); s != Step::Token)
        return s;
    const QByteArrayView name = view(nameBegin, p - nameBegin);
    while (is(d[p], kSpace))
        ++p;
    if (p == m_end)
        return needMore("a tag");
    if (d[p] != '>')
        return fail(p,
                    QStringLiteral("unexpected \"%1\" in </%2>.")
                        .arg(QChar::fromLatin1(char(d[p])), decode(name, Decode::Name, false, {})));
    ++p;
    if (m_openStarts.empty())
        return fail(m_pos, QStringLiteral("the end tag </%1> has no start tag.")
                               .arg(decode(name, Decode::Name, false, {})));
    const QByteArrayView open = openName();
    if (open != name)
        return fail(m_pos, QStringLiteral("the end tag </%1> does not match <%2>.")
                               .arg(decode(name, Decode::Name, false, {}),
                                    decode(open, Decode::Name, false, {})));
    m_openNames.resize(size_t(m_openStarts.back()));
    m_openStarts.pop_back();
    m_declarationAllowed = false;
    m_nameBegin = nameBegin;
    m_nameLength = name.size();
    m_pos = p;
    m_token = Token::EndElement;
    return Step::Token;
}
