#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <algorithm>
#include <cstring>

// Gives its bytes a few at a time, as a pipe does, so that a reader meets tokens and characters
// cut anywhere; and may fail part way, like a cut-off compressed stream. A piece of 0 varies the
// pieces from 1 to 13 bytes.
class PieceDevice : public QIODevice {
public:
    explicit PieceDevice(const QByteArray& bytes, qint64 piece = 0, qint64 failAt = -1)
        : m_bytes(bytes), m_piece(piece), m_failAt(failAt)
    {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_failAt >= 0 && m_at >= m_failAt) {
            setErrorString(QStringLiteral("the stream is cut off"));
            return -1;
        }
        qint64 piece = m_piece;
        if (piece <= 0) {
            m_turn = (m_turn * 7 + 3) % 13;
            piece = m_turn + 1;
        }
        const qint64 end = m_failAt >= 0 ? m_failAt : m_bytes.size();
        const qint64 n = std::min({maxSize, piece, end - m_at});
        std::memcpy(data, m_bytes.constData() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_piece;
    qint64 m_failAt;
    qint64 m_at = 0;
    qint64 m_turn = 0;
};
