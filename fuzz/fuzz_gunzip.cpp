// Any bytes as a gzip-compressed listings file, read through GunzipDevice in pieces of
// fuzz-chosen sizes: a read either gives bytes or fails with a reason, never more than the
// limit in all. And the input, compressed whole, reads back as exactly itself, while the same
// data cut short anywhere fails: a download cut off never passes for a whole file.

#include "fuzzsupport.h"
#include "portal/gunzipdevice.h"
#include "support/gzipped.h"

#include <QBuffer>
#include <cstdint>

namespace {

constexpr qint64 kLimit = 1 << 20;

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
