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
    showTip();
}

void Publisher::publish(const QList<QByteArray>& lines, const QString& clockText,
                        const QList<std::optional<NextUp>>& next)
{
    const QTime now = m_now();
    m_lines = lines;
    m_next.clear();
    for (const std::optional<NextUp>& up : next)
        m_next.append(up ? std::optional(nextRow(*up, now)) : std::nullopt);
    showTip();

    qCInfo(lcPublish).noquote() << (m_mode == Mode::Widget ? "widget" : "balloon");
    const bool secondRows = m_mode == Mode::Widget && m_showsNext;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        qCInfo(lcPublish).noquote() << win1250ToUnicode(lines[i]);
        if (secondRows && i < m_next.size() && m_next[i])
            qCInfo(lcPublish).noquote() << QStringLiteral("  ") + m_next[i]->text;
    }

    if (m_mode == Mode::Widget) {
        m_widget->publish(lines, m_next);
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

void Publisher::showTip()
{
    if (!m_showsNext || m_lines.isEmpty()) {
        if (m_ownTip)
            m_tray->setHint(*std::exchange(m_ownTip, std::nullopt));
        return;
    }
    QStringList rows;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        rows << win1250ToUnicode(m_lines[i]);
        if (i < m_next.size() && m_next[i])
            rows << QStringLiteral("  ") + m_next[i]->text;
    }
    const QString tip = rows.join(u'\n');
    if (!m_ownTip)
        m_ownTip = m_tray->Hint();
    // The icon cuts the tip to what the desktop takes.
    if (tip != m_tray->Hint())
        m_tray->setHint(tip);
}
