#include "portal/xzdevice.h"

#include <lzma.h>

#include <algorithm>

namespace {

constexpr qint64 kInputChunk = 64 * 1024;

QString decoderFault(lzma_ret status)
{
    switch (status) {
    case LZMA_MEMLIMIT_ERROR:
        return QStringLiteral("the xz data needs more than %1 MiB of memory to unpack")
            .arg(XzDevice::kMaxMemory >> 20);
    case LZMA_MEM_ERROR:
        return QStringLiteral("out of memory unpacking xz data");
    case LZMA_FORMAT_ERROR:
        return QStringLiteral("broken xz data: not in the xz format");
    case LZMA_OPTIONS_ERROR:
        return QStringLiteral("broken xz data: unsupported options");
    case LZMA_DATA_ERROR:
        return QStringLiteral("broken xz data: the data is corrupt");
    default:
        return QStringLiteral("broken xz data: error %1").arg(int(status));
    }
}

} // namespace

struct XzDevice::Stream {
    lzma_stream z = LZMA_STREAM_INIT;
    QByteArray input;
    lzma_ret started = LZMA_PROG_ERROR;
    // The source has ended: the decoder is told so, and must end too.
    bool finishing = false;
};

XzDevice::XzDevice(QIODevice* source, qint64 maxBytes)
    : UnpackDevice(source, maxBytes), m_stream(std::make_unique<Stream>())
{
    m_stream->input.resize(kInputChunk);
    m_stream->started = lzma_stream_decoder(&m_stream->z, kMaxMemory, LZMA_CONCATENATED);
}

XzDevice::~XzDevice()
{
    lzma_end(&m_stream->z);
}

bool XzDevice::isXz(const QByteArray& firstBytes)
{
    return firstBytes.startsWith(QByteArrayView("\xFD"
                                                "7zXZ\0",
                                                6));
}

qint64 XzDevice::unpack(char* data, qint64 maxSize)
{
    if (m_stream->started != LZMA_OK)
        return fail(decoderFault(m_stream->started));
    lzma_stream& z = m_stream->z;
    z.next_out = reinterpret_cast<uint8_t*>(data);
    z.avail_out = size_t(maxSize);
    while (z.avail_out > 0) {
        if (z.avail_in == 0 && !m_stream->finishing) {
            const qint64 got = source()->read(m_stream->input.data(), m_stream->input.size());
            if (got < 0)
                return fail(source()->errorString());
            m_stream->finishing = got == 0;
            z.next_in = reinterpret_cast<const uint8_t*>(m_stream->input.constData());
            z.avail_in = size_t(got);
        }
        const lzma_ret status = lzma_code(&z, m_stream->finishing ? LZMA_FINISH : LZMA_RUN);
        if (status == LZMA_STREAM_END) {
            finish();
            break;
        }
        // Finishing without progress: the input ended inside a stream.
        if (status == LZMA_BUF_ERROR)
            return fail(QStringLiteral("the xz data ends early (is the file cut off?)"));
        if (status != LZMA_OK)
            return fail(decoderFault(status));
    }
    return qint64(reinterpret_cast<char*>(z.next_out) - data);
}
