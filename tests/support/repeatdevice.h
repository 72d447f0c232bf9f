#pragma once

#include <QByteArray>
#include <QIODevice>
#include <algorithm>
#include <cstring>

// Gives head, then count times middle, then tail, made as they are read: an input of gigabytes
// that the test never holds. At most piece bytes a read, as a pipe gives them; 0: all asked for.
class RepeatDevice : public QIODevice {
public:
    RepeatDevice(const QByteArray& head, const QByteArray& middle, qint64 count,
                 const QByteArray& tail, qint64 piece = 0)
        : m_head(head), m_middle(middle), m_tail(tail), m_piece(piece),
          m_middleEnd(head.size() + (middle.isEmpty() ? 0 : middle.size() * count))
    {
        // About 64 KiB of middles, so that a read copies long runs.
        if (!middle.isEmpty())
            m_block = middle.repeated(std::max<qsizetype>(1, 65536 / middle.size()));
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (m_piece > 0)
            maxSize = std::min(maxSize, m_piece);
        qint64 done = 0;
        while (done < maxSize) {
            const char* from = nullptr;
            qint64 available = 0;
            if (m_at < m_head.size()) {
                from = m_head.constData() + m_at;
                available = m_head.size() - m_at;
            } else if (m_at < m_middleEnd) {
                const qint64 offset = (m_at - m_head.size()) % m_middle.size();
                from = m_block.constData() + offset;
                available = std::min(m_block.size() - offset, m_middleEnd - m_at);
            } else if (m_at < m_middleEnd + m_tail.size()) {
                from = m_tail.constData() + (m_at - m_middleEnd);
                available = m_middleEnd + m_tail.size() - m_at;
            } else {
                break;
            }
            const qint64 n = std::min(available, maxSize - done);
            std::memcpy(data + done, from, size_t(n));
            done += n;
            m_at += n;
        }
        return done;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_head;
    QByteArray m_middle;
    QByteArray m_tail;
    QByteArray m_block;
    qint64 m_piece;
    qint64 m_middleEnd;
    qint64 m_at = 0;
};
