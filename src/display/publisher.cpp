#include "display/publisher.h"

#include "display/form2.h"
#include "text/win1250.h"
#include "tray/trayicon.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcPublish, "ekranik.publish", QtWarningMsg)
}

Publisher::Publisher(Form2* widget, TrayIcon* tray, Clock now, QObject* parent)
    : QObject(parent), m_widget(widget), m_tray(tray), m_now(std::move(now))
{
}

void Publisher::setShowsNext(bool shows)
{
    if (shows == m_showsNext)
        return;
    m_showsNext = shows;
    const QList<std::optional<NextRow>> rows = nextRows(m_now());
    showTip(rows);
    if (m_published && m_mode == Mode::Widget)
        m_widget->publish(m_lines, rows);
}

QList<std::optional<NextRow>> Publisher::nextRows(QTime now) const
{
    QList<std::optional<NextRow>> rows;
    if (!m_showsNext)
        return rows;
    rows.reserve(m_next.size());
    for (const std::optional<NextUp>& up : m_next)
        rows.append(up ? std::optional(nextRow(*up, now)) : std::nullopt);
    return rows;
}

void Publisher::publish(const QList<QByteArray>& lines, const QString& clockText,
                        const QList<std::optional<NextUp>>& next)
{
    m_lines = lines;
    m_next = next;
    m_published = true;
    const QList<std::optional<NextRow>> rows = nextRows(m_now());
    showTip(rows);

    qCInfo(lcPublish).noquote() << (m_mode == Mode::Widget ? "widget" : "balloon");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        qCInfo(lcPublish).noquote() << win1250ToUnicode(lines[i]);
        if (m_mode == Mode::Widget && i < rows.size() && rows[i])
            qCInfo(lcPublish).noquote() << QStringLiteral("  ") + rows[i]->text;
    }

    if (m_mode == Mode::Widget) {
        m_widget->publish(lines, rows);
        return;
    }
    m_widget->hide();
    // Nothing checked, nothing to say: no balloon of a title alone, and any still up goes.
    if (lines.isEmpty()) {
        m_tray->HideBalloonHint();
        return;
    }
    QString text;
    for (const QByteArray& line : lines)
        text += win1250ToUnicode(line) + QStringLiteral("\r\n");
    m_tray->ShowBalloonHint(QStringLiteral("ekranik, ") + clockText, text,
                            TrayIcon::BalloonIcon::Info, kBalloonSeconds);
}

void Publisher::showTip(const QList<std::optional<NextRow>>& rows)
{
    if (!m_showsNext || m_lines.isEmpty()) {
        if (m_ownTip)
            m_tray->setHint(*std::exchange(m_ownTip, std::nullopt));
        return;
    }
    QStringList tip;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        tip << win1250ToUnicode(m_lines[i]);
        if (i < rows.size() && rows[i])
            tip << QStringLiteral("  ") + rows[i]->text;
    }
    if (!m_ownTip)
        m_ownTip = m_tray->Hint();
    // The icon cuts the tip to what the desktop takes.
    if (const QString text = tip.join(u'\n'); text != m_tray->Hint())
        m_tray->setHint(text);
}
