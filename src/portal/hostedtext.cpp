#include "portal/hostedtext.h"

QByteArray HostedText::with(QByteArrayView host) const
{
    qsizetype size = host.size() * (m_parts.size() - 1);
    for (const QByteArray& part : m_parts)
        size += part.size();
    QByteArray text;
    text.reserve(size);
    for (qsizetype i = 0; i < m_parts.size(); ++i) {
        if (i > 0)
            text.append(host);
        text.append(m_parts[i]);
    }
    return text;
}
