#pragma once

// What the harnesses share: a failed check that names itself before it aborts, a fixed time
// zone so that local times come out the same on every machine, and a scratch file for the
// readers that only take a file name.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryFile>
#include <cstdio>
#include <cstdlib>
#include <ctime>

// Aborts with the failed condition and its line, which libFuzzer reports as a crash and saves
// the input for.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailed(#condition, __FILE__, __LINE__);                                            \
    } while (false)

[[noreturn]] inline void fuzzFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// Warsaw time, with its summer-time changes, as the portal's pages are read in Poland.
inline void useWarsawTime()
{
    setenv("TZ", "Europe/Warsaw", 1);
    tzset();
}

// One file in the temporary folder that every input is written to in turn; removed at exit.
class ScratchFile {
public:
    ScratchFile() : m_file(QDir::tempPath() + QStringLiteral("/ekranik-fuzz-XXXXXX"))
    {
        if (!m_file.open())
            fuzzFailed("the scratch file can be created", __FILE__, __LINE__);
        m_path = m_file.fileName();
        m_file.close();
    }

    // Replaces the file's contents with the bytes; returns its path.
    const QString& write(const QByteArray& bytes)
    {
        QFile file(m_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(bytes) != bytes.size() || !file.flush())
            fuzzFailed("the scratch file can be written", __FILE__, __LINE__);
        return m_path;
    }

    const QString& path() const { return m_path; }

private:
    QTemporaryFile m_file;
    QString m_path;
};

// Does text contain the bytes ekranik would misread in a page it downloads: a tag bracket
// (everything between "<" and ">" is removed as a tag), a line break or a zero byte (the page
// is read line by line), or the on-air marker's name (it would mark another row as on air)?
inline bool breaksPageReading(const QByteArray& text)
{
    return text.contains('<') || text.contains('>') || text.contains('\r') || text.contains('\n') ||
           text.contains('\0') || text.contains("trwa.gif");
}

// Every line break CR LF, and no CR or LF on its own.
inline bool hasOnlyCrLfBreaks(const QByteArray& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}
