#include "display/publisher.h"

#include "display/form2.h"
#include "text/win1250.h"
#include "tray/trayicon.h"

#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcPublish, "ekranik.publish", QtWarningMsg)
}

Publisher::Publisher(Form2* widget, TrayIcon* tray, QObject* parent)
    : QObject(parent), m_widget(widget), m_tray(tray)
{
}

void Publisher::publish(const QList<QByteArray>& lines, const QString& clockText)
{
    qCInfo(lcPublish).noquote() << (m_mode == Mode::Widget ? "widget" : "balloon");
    for (const QByteArray& line : lines)
        qCInfo(lcPublish).noquote() << win1250ToUnicode(line);

    if (m_mode == Mode::Widget) {
        m_widget->publish(lines);
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
