#pragma once

#include <QByteArray>
#include <QObject>

class Form3;
class ListingsParser;
class QTimer;

// Whether a reminder keyword turns up in a title. Both are Windows-1250 bytes. Only the ASCII
// capitals A to Z are folded to small letters; every other byte, Polish letters included,
// must be identical. The keyword may stand anywhere, also inside a word; an empty keyword
// never matches.
bool reminderMatches(const QByteArray& keyword, const QByteArray& title);

// The reminder: a keyword armed through the input dialog, looked for every 10 s in the title
// the parser read last. The first match shows the reminder window and spends the reminder.
class ReminderSearch : public QObject {
    Q_OBJECT
public:
    static constexpr int kInterval = 10000;

    ReminderSearch(const ListingsParser* parser, Form3* window, QObject* parent = nullptr);

    // From idle the search starts afresh; an armed search keeps its rhythm with the new
    // keyword.
    void armReminder(const QByteArray& keyword);
    // One look at the title parsed last.
    void szukajkaTimer();

    const QTimer& timer() const { return *szukajka; }
    // The keyword looked for; empty when no reminder is armed, or it was spent.
    QByteArray armedKeyword() const;

signals:
    void armed(const QByteArray& keyword);
    void fired();

private:
    const ListingsParser* m_parser;
    Form3* m_window;
    QTimer* szukajka;
    QByteArray m_keyword;
};
