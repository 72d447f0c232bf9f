#pragma once

#include <QIODevice>

// A compressed stream read from another device as the bytes it holds, unpacked as they are
// read, so a listings file of hundreds of megabytes never sits in memory. What the formats
// share: a read fails (returns -1, with errorString() saying why) once the unpacking fails or
// unpacks to more than maxBytes, and every read after that fails too.
class UnpackDevice : public QIODevice {
public:
    bool isSequential() const override { return true; }

    // Whether a read failed, and whether it failed by unpacking to more than maxBytes.
    bool failed() const { return m_failed; }
    bool tooLarge() const { return m_tooLarge; }

protected:
    UnpackDevice(QIODevice* source, qint64 maxBytes);

    // Unpacks up to maxSize bytes into data from source(): the bytes unpacked, or -1 after
    // fail(). finish() once the data has ended well.
    virtual qint64 unpack(char* data, qint64 maxSize) = 0;
    QIODevice* source() const { return m_source; }
    qint64 fail(const QString& reason);
    void finish() { m_ended = true; }

private:
    qint64 readData(char* data, qint64 maxSize) final;
    qint64 writeData(const char* data, qint64 maxSize) final;

    QIODevice* m_source;
    qint64 m_maxBytes;
    qint64 m_total = 0;
    bool m_ended = false;
    bool m_failed = false;
    bool m_tooLarge = false;
};
