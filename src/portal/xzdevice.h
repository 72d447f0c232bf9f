#pragma once

#include "portal/unpackdevice.h"

#include <memory>

// Reads an xz stream from another device as the bytes it holds, unpacking as they are read, so
// a listings file of hundreds of megabytes never sits in memory. Several xz streams one after
// another (what `cat a.xz b.xz` makes), with the padding the format allows between them, read as
// one stream.
//
// A read fails (returns -1, with errorString() saying why) when the data is not xz, is corrupt,
// ends before its last stream does (a file cut off in the middle of a download), needs more
// memory to unpack than kMaxMemory, or unpacks to more than maxBytes.
class XzDevice : public UnpackDevice {
public:
    // The decoder's memory is mostly its dictionary, which the stream chooses: `xz -9` takes
    // 65 MiB to unpack, and the format allows up to 4 GiB. Any preset of xz fits; a stream
    // asking for more is refused rather than let a source take the portal's memory.
    static constexpr quint64 kMaxMemory = 96ULL << 20;

    XzDevice(QIODevice* source, qint64 maxBytes);
    ~XzDevice() override;

    // Whether the first bytes of data are an xz stream's header magic (FD 37 7A 58 5A 00).
    static bool isXz(const QByteArray& firstBytes);

private:
    qint64 unpack(char* data, qint64 maxSize) override;

    struct Stream;
    std::unique_ptr<Stream> m_stream;
};
