#pragma once

#include <QByteArray>
#include <lzma.h>

// Data as one xz stream, the way listings files and downloads come compressed. Needs liblzma.
inline QByteArray xzipped(const QByteArray& data)
{
    QByteArray out(qsizetype(lzma_stream_buffer_bound(size_t(data.size()))), '\0');
    size_t written = 0;
    lzma_easy_buffer_encode(0, LZMA_CHECK_CRC64, nullptr,
                            reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()),
                            reinterpret_cast<uint8_t*>(out.data()), &written, size_t(out.size()));
    out.resize(qsizetype(written));
    return out;
}
