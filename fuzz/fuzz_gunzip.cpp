// Any bytes as a gzip-compressed listings file, read through GunzipDevice in pieces of
// fuzz-chosen sizes: a read either gives bytes or fails with a reason, never more than the
// limit in all. And the input, compressed whole, reads back as exactly itself, while the same
// data cut short anywhere fails: a download cut off never passes for a whole file.

#include "fuzzsupport.h"
#include "portal/gunzipdevice.h"

#include <QBuffer>
#include <cstdint>
#include <zlib.h>

namespace {

constexpr qint64 kLimit = 1 << 20;

QByteArray gzipped(const QByteArray& data)
{
    z_stream z{};
    deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// Everything the device gives, in reads of the given size; nullopt when a read fails.
std::optional<QByteArray> readAll(const QByteArray& packed, qint64 piece)
{
    QBuffer source;
    source.setData(packed);
    source.open(QIODevice::ReadOnly);
    GunzipDevice device(&source, kLimit);
    QByteArray all;
    QByteArray buffer(piece, '\0');
    for (;;) {
        const qint64 got = device.read(buffer.data(), piece);
        if (got < 0) {
            FUZZ_CHECK(!device.errorString().isEmpty());
            return std::nullopt;
        }
        FUZZ_CHECK(got <= piece);
        if (got == 0)
            return all;
        all.append(buffer.constData(), got);
        FUZZ_CHECK(all.size() <= kLimit);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qint64 piece = 1 + data[0] * 61;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    readAll(bytes, piece);

    const QByteArray packed = gzipped(bytes);
    const std::optional<QByteArray> back = readAll(packed, piece);
    FUZZ_CHECK(back && *back == bytes);
    const qsizetype cut = qsizetype(piece % packed.size());
    if (cut > 0)
        FUZZ_CHECK(!readAll(packed.left(cut), piece));
    return 0;
}
