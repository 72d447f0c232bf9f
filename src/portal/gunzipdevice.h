#pragma once

#include "portal/unpackdevice.h"

#include <memory>

// Reads a gzip stream from another device as the bytes it holds, inflating as they are read, so
// a listings file of hundreds of megabytes never sits in memory. Several gzip members one after
// another (what `cat a.gz b.gz` makes) read as one stream.
//
// A read fails (returns -1, with errorString() saying why) when the data is not gzip, is
// corrupt, ends before its last member does (a file cut off in the middle of a download), or
// inflates to more than maxBytes.
class GunzipDevice : public UnpackDevice {
public:
    GunzipDevice(QIODevice* source, qint64 maxBytes);
    ~GunzipDevice() override;

    // Whether the first bytes of data are a gzip header.
    static bool isGzip(const QByteArray& firstBytes);

private:
    qint64 unpack(char* data, qint64 maxSize) override;

    struct Stream;
    std::unique_ptr<Stream> m_stream;
};
