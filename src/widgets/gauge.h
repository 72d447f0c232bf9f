#pragma once

#include <QColor>
#include <QWidget>

// The desktop widget's progress line: a horizontal bar with no border and no text, filled from
// the left in ForeColor by the whole per cent done, the rest in BackColor. The defaults are those
// of the desktop widget's line (81 x 1, white on black, 0 to 100).
//
// MinValue <= Progress <= MaxValue always holds: Progress is clamped into the range, and a
// minimum above the maximum or a maximum below the minimum is refused, the reason shown in the
// program's error box.
class Gauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minValue READ minValue WRITE setMinValue)
    Q_PROPERTY(int maxValue READ maxValue WRITE setMaxValue)
    Q_PROPERTY(int progress READ progress WRITE setProgress)
    Q_PROPERTY(QColor foreColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)

public:
    explicit Gauge(QWidget* parent = nullptr);

    int minValue() const { return m_minValue; }
    // Refused, the old minimum kept, when `value` is above the maximum. Raises Progress to the
    // new minimum.
    void setMinValue(int value);
    int maxValue() const { return m_maxValue; }
    // Refused, the old maximum kept, when `value` is below the minimum. Lowers Progress to the
    // new maximum.
    void setMaxValue(int value);
    int progress() const { return m_progress; }
    // Clamped into [MinValue, MaxValue]; repaints only when the per cent done changes.
    void setProgress(int value);
    QColor foreColor() const { return m_foreColor; }
    void setForeColor(const QColor& colour);
    QColor backColor() const { return m_backColor; }
    void setBackColor(const QColor& colour);

    // Whole per cent of the range done, rounded down: 0..100.
    int percentDone() const;

    // A change of the picture is painted at once unless turned off: then it is painted with the
    // next paint of its window, together with whatever else changed there. (In a window with a
    // mask, every paint is clipped to the mask, which costs as much as the rest of it.)
    void setPaintsAtOnce(bool atOnce) { m_paintsAtOnce = atOnce; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintChange();

    bool m_paintsAtOnce = true;
    int m_minValue = 0;
    int m_maxValue = 100;
    int m_progress = 0;
    QColor m_foreColor{255, 255, 255};
    QColor m_backColor{0, 0, 0};
};
