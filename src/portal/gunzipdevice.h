#pragma once

#include <QIODevice>
#include <memory>

// Reads a gzip stream from another device as the bytes it holds, inflating as they are read, so
// a listings file of hundreds of megabytes never sits in memory. Several gzip members one after
// another (what `cat a.gz b.gz` makes) read as one stream.
//
// A read fails (returns -1, with errorString() saying why) when the data is not gzip, is
// corrupt, ends before its last member does (a file cut off in the middle of a download), or
// inflates to more than maxBytes.
class GunzipDevice : public QIODevice {
public:
    GunzipDevice(QIODevice* source, qint64 maxBytes);
    ~GunzipDevice() override;

    bool isSequential() const override { return true; }

    // Whether the first bytes of data are a gzip header.
    static bool isGzip(const QByteArray& firstBytes);

    // Whether a read failed, and whether it failed by inflating to more than maxBytes.
    bool failed() const { return m_failed; }
    bool tooLarge() const { return m_tooLarge; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    qint64 fail(const QString& reason);

    struct Stream;
    QIODevice* m_source;
    qint64 m_maxBytes;
    qint64 m_total = 0;
    std::unique_ptr<Stream> m_stream;
    bool m_ended = false;
    bool m_failed = false;
    bool m_tooLarge = false;
};
