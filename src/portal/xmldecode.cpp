// Names, texts and values decoded when asked for: references resolved, entities expanded within
// the document's budget, line ends and NULs as XML has them.

#include "portal/xmlscanner.h"

#include "portal/xmlbytes.h"

#include <cstring>

using namespace xmlbytes;

namespace {

QChar predefinedEntity(QByteArrayView name)
{
    if (name == "lt")
        return u'<';
    if (name == "gt")
        return u'>';
    if (name == "amp")
        return u'&';
    if (name == "apos")
        return u'\'';
    if (name == "quot")
        return u'"';
    return QChar();
}

void appendCharacter(QString* out, char32_t code)
{
    if (QChar::requiresSurrogates(code)) {
        out->append(QChar::highSurrogate(code));
        out->append(QChar::lowSurrogate(code));
    } else {
        out->append(QChar(char16_t(code)));
    }
}

} // namespace

QString XmlScanner::decode(QByteArrayView raw, Decode how, bool hasReference,
                           const QHash<QByteArray, QString>& entities, qsizetype room) const
{
    QString out;
    if (!hasReference || how == Decode::Cdata || how == Decode::Name) {
        appendDecoded(&out, raw, how);
        return out;
    }
    const auto* d = reinterpret_cast<const uchar*>(raw.data());
    qsizetype segment = 0;
    for (qsizetype i = 0; i < raw.size();) {
        const void* amp = std::memchr(raw.data() + i, '&', size_t(raw.size() - i));
        if (!amp)
            break;
        const qsizetype at = static_cast<const char*>(amp) - raw.data();
        const Reference r = parseReference(d + at, d + raw.size(), true);
        i = at + 1;
        if (r.kind != Reference::Character && r.kind != Reference::Named)
            continue;
        const QByteArrayView name = raw.sliced(at + 1, r.length - 2);
        QString replacement;
        const QChar predefined = r.kind == Reference::Named ? predefinedEntity(name) : QChar();
        if (r.kind == Reference::Named && predefined.isNull()) {
            const auto it = entities.constFind(name.toByteArray());
            // Nobody declared it: it stays as written.
            if (it == entities.cend())
                continue;
            replacement = *it;
        }
        appendDecoded(&out, raw.sliced(segment, at - segment), how);
        if (out.size() >= room)
            return out;
        const qsizetype offset = raw.data() - m_buffer.constData() + at;
        if (r.kind == Reference::Named && predefined.isNull() &&
            !mayExpand(replacement.size(), offset, offset + r.length))
            return out;
        if (r.kind == Reference::Character)
            appendCharacter(&out, r.code);
        else if (!predefined.isNull())
            out.append(predefined);
        else
            out.append(replacement);
        segment = i = at + r.length;
    }
    appendDecoded(&out, raw.sliced(segment), how);
    return out;
}

bool XmlScanner::mayExpand(qsizetype length, qsizetype at, qsizetype end) const
{
    if (!m_error.isEmpty())
        return false;
    qint64 bytes = m_dropped + end;
    if (m_transcoder)
        bytes /= 3;
    if (m_expanded + length <= kEntityAmplification * bytes + kEntityAllowance) {
        m_expanded += length;
        return true;
    }
    failLater(at, QStringLiteral("the entity text expanded in this document passes %1 times its "
                                 "size plus %2.")
                      .arg(kEntityAmplification)
                      .arg(sizeText(kEntityAllowance)));
    return false;
}

void XmlScanner::appendDecoded(QString* out, QByteArrayView raw, Decode how) const
{
    if (raw.isEmpty())
        return;
    const qsizetype from = out->size();
    if (m_utf8) {
        // QString::fromUtf8() drops a byte order mark at the start; in a value it is text.
        while (raw.startsWith("\xEF\xBB\xBF")) {
            out->append(QChar(0xFEFF));
            raw = raw.sliced(3);
        }
        out->append(QString::fromUtf8(raw));
    } else {
        out->append(QString(m_decoder(raw)));
    }
    if (how == Decode::Name)
        return;
    const auto has = [raw](char c) { return std::memchr(raw.data(), c, size_t(raw.size())); };
    // Line ends are "\n", as XML has them; in an attribute value every line end and tab is a
    // space.
    if (has('\r')) {
        QChar* const begin = out->data();
        qsizetype w = from;
        for (qsizetype r = from; r < out->size(); ++r) {
            if (begin[r] == u'\r' && r + 1 < out->size() && begin[r + 1] == u'\n')
                continue;
            begin[w++] = begin[r] == u'\r' ? QChar(u'\n') : begin[r];
        }
        out->truncate(w);
    }
    if (how == Decode::Attribute && (has('\t') || has('\n') || has('\r'))) {
        for (qsizetype i = from; i < out->size(); ++i) {
            if (out->at(i) == u'\t' || out->at(i) == u'\n')
                (*out)[i] = u' ';
        }
    }
    // A NUL has no place in XML, and none in a title: it is dropped, once the line ends are
    // known, so that a line end is the same whichever reads split the text.
    if (has('\0')) {
        QChar* const begin = out->data();
        qsizetype w = from;
        for (qsizetype r = from; r < out->size(); ++r) {
            if (!begin[r].isNull())
                begin[w++] = begin[r];
        }
        out->truncate(w);
    }
}
