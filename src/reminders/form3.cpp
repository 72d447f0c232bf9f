#include "reminders/form3.h"

#include "text/shorten.h"
#include "text/win1250.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/roundedframe.h"
#include "widgets/taskbar.h"

#include <QLabel>
#include <QPainter>

namespace {
const QString kSegoe = QStringLiteral("Segoe UI");
}

Form3::Form3(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(tr("ekranik - Przypomnienie"));
    setFixedSize(kWidth, kHeight);
    setMask(roundedWindowShape(size()));
    setFont(layoutFont(kSegoe, 11));
    setBackground(this, Qt::white);
    centreOnDesktop(this);

    Label4 = named(
        makeLabel(this, tr("ekranik - przypomnienie"), 93, 2, layoutFont(kSegoe, 16), kAccent),
        "Label4");
    Label1 = named(makeLabel(this, tr("Ustawiono przypomnienie:"), 103, 29,
                             layoutFont(kSegoe, 11, true), kAccent),
                   "Label1");
    // a and c keep their laid-out size and clip longer texts; b grows with its text, down to a
    // second line above c when a title in wide letters would run past the window's edge.
    a = named(makeLabel(this, tr("znaleziono słowo:"), 8, 48, layoutFont(kSegoe, 11), kAccent),
              "a");
    a->setFixedSize(199, 13);
    b = named(makeLabel(this, tr("w programie:"), 8, 67, layoutFont(kSegoe, 13), QColor(128, 0, 0)),
              "b");
    b->setWordWrap(true);
    b->setFixedWidth(kWidth - 2 * b->x());
    c = named(makeLabel(this, tr("w stacji:"), 8, 98, layoutFont(kSegoe, 11), QColor(0, 128, 0)),
              "c");
    c->setFixedSize(138, 13);

    GlowButton1 = named(new GlowButton(tr("Schowaj"), this), "GlowButton1");
    GlowButton1->setGeometry(56, 136, 236, 31);
    connect(GlowButton1, &GlowButton::clicked, this, &Form3::GlowButton1Click);
}

void Form3::showReminder(const QByteArray& keyword, const QByteArray& title,
                         const QByteArray& station)
{
    show();
    raise();
    activateWindow();
    a->setText(tr("szukane słowo: %1").arg(win1250ToUnicode(keyword)));
    b->setText(tr("znalezione w programie: %1").arg(win1250ToUnicode(Shorten25(title))));
    b->adjustSize();
    c->setText(tr("w stacji: %1").arg(win1250ToUnicode(station)));
}

void Form3::showBroadcast(const Broadcast& broadcast)
{
    showReminder({}, broadcast.title, broadcast.station);
    a->setText(tr("o godzinie: %1").arg(broadcast.start.toString(u"HH:mm")));
}

void Form3::GlowButton1Click()
{
    hide();
}

void Form3::showEvent(QShowEvent* event)
{
    keepOffTaskbar(this);
    QWidget::showEvent(event);
}

void Form3::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paintRoundedFrame(painter, size());
}
