#pragma once

#include <QPlainTextEdit>
#include <QStringList>

// The debug log of the main window's hidden area: read-only lines, emptied whenever it
// reaches 250 of them, so it never grows without end.
class DebugLog : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kLimit = 250;

    explicit DebugLog(QWidget* parent = nullptr);

    // The same end state as appending the lines one by one, the log emptied each time it
    // reaches its limit, but with a single change of the text.
    void appendLines(const QStringList& lines);
    // Lines the way a memo counts them: a trailing line break opens no new line.
    int lineCount() const;
};
