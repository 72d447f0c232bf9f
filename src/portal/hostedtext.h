#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// A text that names the portal's address in places, as the station lines do: everything but
// the address is built once, and the address a request names goes in when it is answered.
class HostedText {
public:
    HostedText& operator+=(QByteArrayView text)
    {
        m_parts.last().append(text);
        return *this;
    }
    // The address goes here.
    void addHost() { m_parts.append(QByteArray()); }

    // The text with host in every place kept for it.
    QByteArray with(QByteArrayView host) const;

private:
    // The address goes between each two.
    QList<QByteArray> m_parts{QByteArray()};
};
