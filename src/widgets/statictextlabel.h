#pragma once

#include <QFont>
#include <QLabel>
#include <QStaticText>

// A label of one line of plain text that lays its text out when the text changes rather than
// at every paint: the desktop widget's title is painted again at every step of the progress
// line under it, whose pixels it shares. It draws exactly what QLabel draws; whatever it could
// not draw the same way (rich text, several lines, a frame or margin, another alignment, a
// disabled label, a scaled painter) QLabel draws itself.
class StaticTextLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Whether the text is drawn as a QStaticText would lay it out.
    bool drawsItself() const;

    QStaticText m_laidOut;
    QFont m_laidOutFont;
};
