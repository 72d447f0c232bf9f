#include "portal/unpackdevice.h"

UnpackDevice::UnpackDevice(QIODevice* source, qint64 maxBytes)
    : m_source(source), m_maxBytes(maxBytes)
{
    setOpenMode(QIODevice::ReadOnly);
}

qint64 UnpackDevice::fail(const QString& reason)
{
    setErrorString(reason);
    m_ended = true;
    m_failed = true;
    return -1;
}

qint64 UnpackDevice::readData(char* data, qint64 maxSize)
{
    if (m_ended)
        return m_failed ? -1 : 0;
    const qint64 produced = unpack(data, maxSize);
    if (produced < 0)
        return -1;
    m_total += produced;
    if (m_total > m_maxBytes) {
        m_tooLarge = true;
        return fail(
            QStringLiteral("more than %1 MiB of XMLTV once unpacked").arg(m_maxBytes >> 20));
    }
    return produced;
}

qint64 UnpackDevice::writeData(const char*, qint64)
{
    return -1;
}
