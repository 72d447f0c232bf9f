#include "portal/gunzipdevice.h"

#include <zlib.h>

#include <climits>

namespace {

constexpr qint64 kInputChunk = 64 * 1024;

} // namespace

struct GunzipDevice::Stream {
    z_stream z{};
    QByteArray input;
    bool initialised = false;
    // Inside a member: its end has not been seen yet.
    bool inMember = false;
};

GunzipDevice::GunzipDevice(QIODevice* source, qint64 maxBytes)
    : UnpackDevice(source, maxBytes), m_stream(std::make_unique<Stream>())
{
    m_stream->input.resize(kInputChunk);
    // 16 + MAX_WBITS: a gzip header and trailer, checked.
    m_stream->initialised = inflateInit2(&m_stream->z, 16 + MAX_WBITS) == Z_OK;
}

GunzipDevice::~GunzipDevice()
{
    if (m_stream->initialised)
        inflateEnd(&m_stream->z);
}

bool GunzipDevice::isGzip(const QByteArray& firstBytes)
{
    return firstBytes.size() >= 2 && static_cast<unsigned char>(firstBytes[0]) == 0x1f &&
           static_cast<unsigned char>(firstBytes[1]) == 0x8b;
}

qint64 GunzipDevice::unpack(char* data, qint64 maxSize)
{
    if (!m_stream->initialised)
        return fail(QStringLiteral("cannot start inflating gzip data"));
    z_stream& z = m_stream->z;
    z.next_out = reinterpret_cast<Bytef*>(data);
    z.avail_out = static_cast<uInt>(std::min<qint64>(maxSize, UINT_MAX));
    while (z.avail_out > 0) {
        if (z.avail_in == 0) {
            const qint64 got = source()->read(m_stream->input.data(), m_stream->input.size());
            if (got < 0)
                return fail(source()->errorString());
            if (got == 0) {
                if (m_stream->inMember)
                    return fail(QStringLiteral("the gzip data ends early (is the file cut off?)"));
                finish();
                break;
            }
            z.next_in = reinterpret_cast<Bytef*>(m_stream->input.data());
            z.avail_in = static_cast<uInt>(got);
        }
        if (!m_stream->inMember) {
            // Zero bytes after a member pad some archives; anything else starts the next one.
            while (z.avail_in > 0 && *z.next_in == 0) {
                ++z.next_in;
                --z.avail_in;
            }
            if (z.avail_in == 0)
                continue;
            m_stream->inMember = true;
        }
        const int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            m_stream->inMember = false;
            inflateReset(&z);
        } else if (status == Z_BUF_ERROR) {
            // No progress possible with this input: the loop reads more.
            if (z.avail_in > 0)
                return fail(QStringLiteral("broken gzip data"));
        } else if (status != Z_OK) {
            return fail(QStringLiteral("broken gzip data: %1")
                            .arg(QString::fromLatin1(z.msg ? z.msg : "unknown fault")));
        }
    }
    return qint64(reinterpret_cast<char*>(z.next_out) - data);
}
