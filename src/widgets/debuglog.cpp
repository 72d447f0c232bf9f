#include "widgets/debuglog.h"

#include <QTextBlock>

DebugLog::DebugLog(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // Whatever changes the text, the limit holds.
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (lineCount() >= kLimit)
            clear();
    });
}

int DebugLog::lineCount() const
{
    const QTextDocument* doc = document();
    int lines = doc->blockCount();
    if (doc->lastBlock().length() <= 1) // only the block's terminator: an empty last line
        --lines;
    return lines;
}

void DebugLog::appendLines(const QStringList& lines)
{
    int count = lineCount();
    qsizetype keepFrom = 0;
    bool emptied = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (++count >= kLimit) {
            count = 0;
            keepFrom = i + 1;
            emptied = true;
        }
    }
    const QString tail = lines.mid(keepFrom).join(QLatin1Char('\n'));
    if (emptied)
        setPlainText(tail);
    else if (!lines.isEmpty())
        appendPlainText(tail);
}
