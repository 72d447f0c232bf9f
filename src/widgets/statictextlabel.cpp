#include "widgets/statictextlabel.h"

#include <QPainter>
#include <QTextDocument>

#include <algorithm>

bool StaticTextLabel::drawsItself() const
{
    const QString shown = text();
    const bool rich = textFormat() == Qt::RichText ||
                      (textFormat() == Qt::AutoText && Qt::mightBeRichText(shown));
    // A line break, a tab or any other control character is laid out by QLabel's own rules.
    const bool oneLine = std::none_of(shown.begin(), shown.end(), [](QChar c) {
        return c.unicode() < 0x20 || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
    return !shown.isEmpty() && !rich && oneLine && !shown.isRightToLeft() && isEnabled() &&
           alignment() == (Qt::AlignLeft | Qt::AlignVCenter) && margin() == 0 && indent() <= 0 &&
           frameWidth() == 0 &&
           !(textInteractionFlags() & (Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard));
}

void StaticTextLabel::paintEvent(QPaintEvent* event)
{
    if (drawsItself()) {
        QPainter painter(this);
        // On a screen of a higher pixel ratio QLabel places the glyphs otherwise.
        if (painter.deviceTransform().type() <= QTransform::TxTranslate) {
            // Laid out in the painter's font, the label's own bound to the screen.
            if (m_laidOut.text() != text() || m_laidOutFont != painter.font()) {
                m_laidOut.setTextFormat(Qt::PlainText);
                m_laidOut.setText(text());
                m_laidOutFont = painter.font();
                m_laidOut.prepare(QTransform(), m_laidOutFont);
            }
            // The pen and place of QStyle::drawItemText for a left-aligned line.
            painter.setPen(QPen(palette().brush(foregroundRole()), painter.pen().widthF()));
            const QRect area = contentsRect();
            painter.drawStaticText(
                QPointF(area.x(), area.y() + (area.height() - m_laidOut.size().height()) / 2),
                m_laidOut);
            return;
        }
    }
    QLabel::paintEvent(event);
}
