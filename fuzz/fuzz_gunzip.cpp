// Any bytes as a compressed listings file, read through GunzipDevice and through XzDevice in
// pieces of fuzz-chosen sizes: a read either gives bytes or fails with a reason, never more than
// the limit in all. And the input, compressed whole in either format, reads back as exactly
// itself, while the same data cut short anywhere fails: a download cut off never passes for a
// whole file.

#include "fuzzsupport.h"
#include "portal/gunzipdevice.h"
#include "portal/xzdevice.h"
#include "support/gzipped.h"
#include "support/xzipped.h"

#include <QBuffer>
#include <cstdint>

namespace {

constexpr qint64 kLimit = 1 << 20;

// Everything the device gives, in reads of the given size; nullopt when a read fails.
template <typename Unpacking>
std::optional<QByteArray> readAll(const QByteArray& packed, qint64 piece)
{
    QBuffer source;
    source.setData(packed);
    source.open(QIODevice::ReadOnly);
    Unpacking device(&source, kLimit);
    QByteArray all;
    QByteArray buffer(piece, '\0');
    for (;;) {
        const qint64 got = device.read(buffer.data(), piece);
        if (got < 0) {
            FUZZ_CHECK(!device.errorString().isEmpty() && device.failed());
            FUZZ_CHECK(device.tooLarge() == device.errorString().contains("once unpacked"));
            return std::nullopt;
        }
        FUZZ_CHECK(got <= piece);
        if (got == 0)
            return all;
        all.append(buffer.constData(), got);
        FUZZ_CHECK(all.size() <= kLimit);
    }
}

template <typename Unpacking>
void checkRoundTrip(const QByteArray& bytes, const QByteArray& packed, qint64 piece)
{
    const std::optional<QByteArray> back = readAll<Unpacking>(packed, piece);
    FUZZ_CHECK(back && *back == bytes);
    const qsizetype cut = qsizetype(piece % packed.size());
    if (cut > 0)
        FUZZ_CHECK(!readAll<Unpacking>(packed.left(cut), piece));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const qint64 piece = 1 + data[0] * 61;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    readAll<GunzipDevice>(bytes, piece);
    readAll<XzDevice>(bytes, piece);

    checkRoundTrip<GunzipDevice>(bytes, gzipped(bytes), piece);
    checkRoundTrip<XzDevice>(bytes, xzipped(bytes), piece);
    return 0;
}
