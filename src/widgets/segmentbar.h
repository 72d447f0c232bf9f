#pragma once

#include <QColor>
#include <QWidget>

// The main window's download progress bar: a white field with a grey outline and, from left to
// right, 7-pixel blocks with 2-pixel gaps. Each block is shaded from its middle row towards the
// top and bottom edges in bands. The block colour tells how far along the download is: below
// Level1Perc per cent it is level 0, below Level2Perc level 1, below 100 level 2, and level 3 at
// 100 per cent and above.
//
// Only the horizontal bar with blocks is drawn; there is no text. The default values are those of
// the main window's bar (182 x 18). No setter clamps or checks its value against the others.
class SegmentBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int min READ min WRITE setMin)
    Q_PROPERTY(int max READ max WRITE setMax)
    Q_PROPERTY(int position READ position WRITE setPosition)
    Q_PROPERTY(QColor level0Color READ level0Color WRITE setLevel0Color)
    Q_PROPERTY(QColor level0ColorTo READ level0ColorTo WRITE setLevel0ColorTo)
    Q_PROPERTY(QColor level1Color READ level1Color WRITE setLevel1Color)
    Q_PROPERTY(QColor level1ColorTo READ level1ColorTo WRITE setLevel1ColorTo)
    Q_PROPERTY(QColor level2Color READ level2Color WRITE setLevel2Color)
    Q_PROPERTY(QColor level2ColorTo READ level2ColorTo WRITE setLevel2ColorTo)
    Q_PROPERTY(QColor level3Color READ level3Color WRITE setLevel3Color)
    Q_PROPERTY(QColor level3ColorTo READ level3ColorTo WRITE setLevel3ColorTo)
    Q_PROPERTY(int level1Perc READ level1Perc WRITE setLevel1Perc)
    Q_PROPERTY(int level2Perc READ level2Perc WRITE setLevel2Perc)
    Q_PROPERTY(int steps READ steps WRITE setSteps)
    Q_PROPERTY(bool showGradient READ showGradient WRITE setShowGradient)
    Q_PROPERTY(bool showBorder READ showBorder WRITE setShowBorder)
    Q_PROPERTY(QColor borderColor READ borderColor WRITE setBorderColor)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)

public:
    explicit SegmentBar(QWidget* parent = nullptr);

    int min() const { return m_min; }
    void setMin(int value);
    int max() const { return m_max; }
    void setMax(int value); // repaints later
    int position() const { return m_position; }
    void setPosition(int value); // repaints at once

    // Each level shades its blocks from Color (the middle row) to ColorTo (the top and bottom).
    QColor level0Color() const { return m_level0Color; }
    void setLevel0Color(const QColor& colour);
    QColor level0ColorTo() const { return m_level0ColorTo; }
    void setLevel0ColorTo(const QColor& colour);
    QColor level1Color() const { return m_level1Color; }
    void setLevel1Color(const QColor& colour);
    QColor level1ColorTo() const { return m_level1ColorTo; }
    void setLevel1ColorTo(const QColor& colour);
    QColor level2Color() const { return m_level2Color; }
    void setLevel2Color(const QColor& colour);
    QColor level2ColorTo() const { return m_level2ColorTo; }
    void setLevel2ColorTo(const QColor& colour);
    QColor level3Color() const { return m_level3Color; }
    void setLevel3Color(const QColor& colour);
    QColor level3ColorTo() const { return m_level3ColorTo; }
    void setLevel3ColorTo(const QColor& colour);

    // The percentages where level 1 and level 2 begin.
    int level1Perc() const { return m_level1Perc; }
    void setLevel1Perc(int percent);
    int level2Perc() const { return m_level2Perc; }
    void setLevel2Perc(int percent);

    // Number of colour bands in each half of a block; 0 or less counts as 1.
    int steps() const { return m_steps; }
    void setSteps(int steps);
    // Without the gradient the blocks are plain level colour.
    bool showGradient() const { return m_showGradient; }
    void setShowGradient(bool on);
    bool showBorder() const { return m_showBorder; }
    void setShowBorder(bool on);
    QColor borderColor() const { return m_borderColor; }
    void setBorderColor(const QColor& colour);
    QColor backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const QColor& colour);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The whole picture at the widget's size.
    QImage picture() const;

    int m_min = 0;
    int m_max = 100;
    int m_position = 0;
    QColor m_level0Color{192, 192, 192};
    QColor m_level0ColorTo{255, 255, 255};
    QColor m_level1Color{128, 128, 128};
    QColor m_level1ColorTo{255, 255, 255};
    // The Windows "3-D dark shadow" colour, which is RGB(64, 64, 64) in the classic scheme.
    QColor m_level2Color{64, 64, 64};
    QColor m_level2ColorTo{255, 255, 255};
    QColor m_level3Color{0, 0, 0};
    QColor m_level3ColorTo{255, 255, 255};
    int m_level1Perc = 30;
    int m_level2Perc = 60;
    int m_steps = 20;
    bool m_showGradient = true;
    bool m_showBorder = true;
    QColor m_borderColor{128, 128, 128};
    QColor m_backgroundColor{255, 255, 255};
};
