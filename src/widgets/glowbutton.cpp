#include "widgets/glowbutton.h"

#include "widgets/look.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

namespace {

constexpr qreal kRadius = 3.0;
constexpr int kTextMargin = 6;   // least space between the caption and the side edges
constexpr int kHintPadding = 12; // space on each side of the caption in sizeHint()
constexpr int kArrowWidth = 7;   // down arrow of a button with a menu
constexpr int kArrowHeight = 4;
constexpr int kArrowMargin = 7; // gap between the arrow and the right edge
constexpr int kArrowZone = kArrowMargin + kArrowWidth + 3; // right strip kept free for the arrow

} // namespace

GlowButton::Palette GlowButton::defaultPalette()
{
    Palette p;
    p.normal = {.topStart = {252, 253, 252},
                .topEnd = {236, 240, 237},
                .bottomStart = {214, 221, 216},
                .bottomEnd = {232, 237, 233},
                .border = kAccent,
                .text = {48, 54, 50}};
    // Brighter glow: a whiter top and a lower half that lightens towards the bottom edge.
    p.hover = {.topStart = {255, 255, 255},
               .topEnd = {246, 250, 247},
               .bottomStart = {218, 231, 222},
               .bottomEnd = {244, 251, 246},
               .border = {84, 92, 87},
               .text = {28, 34, 30}};
    p.pressed = {.topStart = {220, 226, 222},
                 .topEnd = {203, 210, 205},
                 .bottomStart = {178, 188, 181},
                 .bottomEnd = {196, 204, 198},
                 .border = {70, 77, 73},
                 .text = {22, 27, 24}};
    p.disabled = {.topStart = {253, 253, 253},
                  .topEnd = {246, 247, 246},
                  .bottomStart = {237, 239, 238},
                  .bottomEnd = {244, 245, 244},
                  .border = {188, 193, 190},
                  .text = {165, 170, 167}};
    p.focus = QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 150);
    return p;
}

GlowButton::GlowButton(QWidget* parent) : GlowButton(QString(), parent) {}

GlowButton::GlowButton(const QString& text, QWidget* parent)
    : QAbstractButton(parent), m_palette(defaultPalette())
{
    // Fixed here rather than taken from the platform style, so Tab and clicks focus it everywhere.
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
    setText(text);
    // Connected first, so the menu is already up when other receivers of clicked() run.
    connect(this, &QAbstractButton::clicked, this, &GlowButton::showMenu);
}

GlowButton::~GlowButton()
{
    if (m_menu) {
        m_menu->removeEventFilter(this);
    }
}

void GlowButton::setGlowPalette(const Palette& palette)
{
    if (palette == m_palette) {
        return;
    }
    m_palette = palette;
    update();
}

QMenu* GlowButton::menu() const
{
    return m_menu;
}

void GlowButton::setMenu(QMenu* menu)
{
    if (menu == m_menu) {
        return;
    }
    if (m_menu) {
        m_menu->removeEventFilter(this);
        disconnect(m_menu, nullptr, this, nullptr);
    }
    m_menu = menu;
    m_menuOpen = false;
    if (m_menu) {
        m_menu->installEventFilter(this);
        connect(m_menu, &QMenu::aboutToHide, this, &GlowButton::menuClosed);
        connect(m_menu, &QObject::destroyed, this, [this] {
            m_menuOpen = false;
            updateGeometry();
            update();
        });
    }
    updateGeometry();
    update();
}

void GlowButton::showMenu()
{
    if (!m_menu) {
        return;
    }
    m_menuOpen = true;
    update();
    m_menu->popup(mapToGlobal(rect().bottomLeft()));
}

void GlowButton::menuClosed()
{
    if (m_menuOpen) {
        m_menuOpen = false;
        update();
    }
}

QSize GlowButton::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    const QSize caption = fm.size(Qt::TextShowMnemonic, text());
    int width = caption.width() + 2 * kHintPadding;
    if (m_menu) {
        width += kArrowZone;
    }
    const int height = std::max(caption.height(), fm.height()) + 10;
    return {std::max(width, 2 * height), height};
}

QRect GlowButton::captionRect() const
{
    QRect caption = rect().adjusted(kTextMargin, 0, -kTextMargin, 0);
    if (m_menu)
        caption.setRight(width() - kArrowZone);
    return caption;
}

const GlowButton::StateColors& GlowButton::currentColors() const
{
    if (!isEnabled()) {
        return m_palette.disabled;
    }
    if (isDown() || isChecked() || m_menuOpen) {
        return m_palette.pressed;
    }
    if (m_hovered) {
        return m_palette.hover;
    }
    return m_palette.normal;
}

void GlowButton::paintEvent(QPaintEvent*)
{
    const StateColors& colors = currentColors();
    const bool sunken = isEnabled() && (isDown() || isChecked() || m_menuOpen);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    // Half-pixel inset so the 1-px border falls exactly on the outermost pixels.
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath face;
    face.addRoundedRect(frame, kRadius, kRadius);

    // One gradient with a hard step at the middle row: everything above is the upper pair,
    // everything from the middle row down is the lower pair.
    const int h = std::max(height(), 2);
    const qreal split = qreal(h / 2) / h;
    QLinearGradient gradient(0, 0, 0, h);
    gradient.setColorAt(0.0, colors.topStart);
    gradient.setColorAt(split - 0.001, colors.topEnd);
    gradient.setColorAt(split, colors.bottomStart);
    gradient.setColorAt(1.0, colors.bottomEnd);
    painter.fillPath(face, gradient);

    painter.setPen(QPen(colors.border, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(face);

    if (hasFocus() && isEnabled()) {
        painter.setPen(QPen(m_palette.focus, 1.0));
        painter.drawRoundedRect(frame.adjusted(1.0, 1.0, -1.0, -1.0), kRadius - 1, kRadius - 1);
    }

    const QPoint shift = sunken ? QPoint(1, 1) : QPoint(0, 0);

    if (m_menu) {
        const qreal x = width() - kArrowMargin - kArrowWidth + shift.x();
        const qreal y = (height() - kArrowHeight) / 2.0 + shift.y();
        const QPolygonF arrow{QPointF(x, y), QPointF(x + kArrowWidth, y),
                              QPointF(x + kArrowWidth / 2.0, y + kArrowHeight)};
        painter.setPen(Qt::NoPen);
        painter.setBrush(colors.text);
        painter.drawPolygon(arrow);
    }

    painter.setPen(colors.text);
    painter.setBrush(Qt::NoBrush);
    painter.drawText(captionRect().translated(shift), Qt::AlignCenter | Qt::TextShowMnemonic,
                     text());
}

void GlowButton::setHovered(bool hovered)
{
    if (hovered == m_hovered) {
        return;
    }
    m_hovered = hovered;
    update();
}

void GlowButton::enterEvent(QEnterEvent* event)
{
    setHovered(true);
    QAbstractButton::enterEvent(event);
}

void GlowButton::leaveEvent(QEvent* event)
{
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void GlowButton::hideEvent(QHideEvent* event)
{
    // The pointer may be anywhere by the time the button is shown again; the next enter event
    // sets the hover look back if needed.
    m_hovered = false;
    QAbstractButton::hideEvent(event);
}

void GlowButton::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            click();
        }
        event->accept();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool GlowButton::eventFilter(QObject* watched, QEvent* event)
{
    // A press on this button while our menu is open only closes the menu. On platforms that replay
    // the press that closed a popup (Windows, X11), the button would otherwise get it and its
    // release would open the menu again at once. Presses elsewhere are still replayed.
    // The type is asked first: the menu's QWidget destructor still sends events through this
    // filter, and comparing with m_menu casts the pointer to a QMenu that no longer is one.
    if (event->type() == QEvent::MouseButtonPress && watched == m_menu) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
        m_menu->setAttribute(Qt::WA_NoMouseReplay,
                             isVisible() && onScreen.contains(press->globalPosition().toPoint()));
    }
    return QAbstractButton::eventFilter(watched, event);
}
