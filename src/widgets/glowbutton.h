#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPointer>

class QMenu;

// A push button painted by ekranik itself, so it looks the same on every platform and fits the
// program's borderless white windows. The face is a rounded rectangle split at half height into
// two gradients: a light upper half and a slightly darker lower half, which gives the "glow"
// line across the middle. Normal, hover, pressed and disabled states each have their own colours;
// keyboard focus adds an inner line.
//
// With a menu attached (setMenu) the button shows a small down arrow and, on every click, pops the
// menu up under its bottom-left corner. clicked() is emitted either way.
class GlowButton : public QAbstractButton {
    Q_OBJECT

public:
    // Colours of one visual state.
    struct StateColors {
        QColor topStart;    // upper half, at the top edge
        QColor topEnd;      // upper half, just above the middle
        QColor bottomStart; // lower half, just below the middle
        QColor bottomEnd;   // lower half, at the bottom edge
        QColor border;
        QColor text; // caption and menu arrow

        bool operator==(const StateColors&) const = default;
    };

    struct Palette {
        StateColors normal;
        StateColors hover;
        StateColors pressed;
        StateColors disabled;
        QColor focus; // inner line while the button has keyboard focus

        bool operator==(const Palette&) const = default;
    };

    // The grey-green and white look of ekranik's windows.
    static Palette defaultPalette();

    explicit GlowButton(QWidget* parent = nullptr);
    explicit GlowButton(const QString& text, QWidget* parent = nullptr);
    ~GlowButton() override;

    const Palette& glowPalette() const { return m_palette; }
    void setGlowPalette(const Palette& palette);

    // The button does not take ownership of the menu. Pass nullptr to remove it.
    QMenu* menu() const;
    void setMenu(QMenu* menu);

    QSize sizeHint() const override;
    // Where the caption is drawn, centred: inside the side margins, left of a menu's arrow.
    QRect captionRect() const;

public slots:
    void showMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const StateColors& currentColors() const;
    void setHovered(bool hovered);
    void menuClosed();

    Palette m_palette;
    QPointer<QMenu> m_menu;
    bool m_hovered = false;
    bool m_menuOpen = false; // our menu is showing, popped up by this button
};
