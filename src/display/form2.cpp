#include "display/form2.h"

#include "text/shorten.h"
#include "text/win1250.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/gauge.h"
#include "widgets/look.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"

#include <QAbstractButton>
#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>

namespace {

const QString kSegoe = QStringLiteral("Segoe UI");

// Texts of a keyed window are drawn in whole pixels: an antialiased edge pixel is neither the
// key colour nor the text colour and would stay behind as a fringe on the desktop.
QFont keyedFont(int pixelSize, bool bold = false)
{
    QFont font = layoutFont(kSegoe, pixelSize, bold);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

} // namespace

Form2::Form2(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("RadudoVorozu"));
    setFixedSize(kWidth, kHeight);
    setFont(keyedFont(11));
    move(defaultPlace());
    m_placedAt = pos();

    a = named(makeLabel(this, QStringLiteral("ekranik"), 4, 4, keyedFont(11, true), Qt::white),
              "a");
    a->setCursor(Qt::PointingHandCursor);

    pb2 = named(new Gauge(this), "pb2");
    pb2->setGeometry(4, 16, 81, 1);

    hur = named(makeLabel(this, QString(), 210, 4, keyedFont(11), Qt::white), "hur");
    hur->setCursor(Qt::PointingHandCursor);

    b = named(new QListWidget(this), "b");
    b->setFrameShape(QFrame::NoFrame);
    b->setFont(keyedFont(11));
    b->setItemDelegate(new CheckRowDelegate(kRowHeight, b));
    b->setUniformItemSizes(true);
    b->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    b->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    b->setSelectionMode(QAbstractItemView::NoSelection);
    b->setFocusPolicy(Qt::NoFocus);
    b->setTextElideMode(Qt::ElideNone);
    b->setGeometry(8, 22, kWidth - 15, kHeight - 29);
    // A scroll moves the rows under a mask cut where they were; the range comes and goes with
    // the scroll bar, which narrows the rows.
    connect(b->verticalScrollBar(), &QScrollBar::valueChanged, this, &Form2::refreshMask);
    connect(b->verticalScrollBar(), &QScrollBar::rangeChanged, this, &Form2::refreshMask);

    // Only the title and the clock move the widget; the list and the background do not.
    m_dragger = new WindowDragger(this);
    m_dragger->setBackgroundDrags(false);
    m_dragger->addHandle(a);
    m_dragger->addHandle(hur);
    m_dragger->adjust = [this](QPoint topLeft) {
        const QScreen* on = screen() ? screen() : QGuiApplication::primaryScreen();
        return on ? snap(topLeft, frameGeometry().size(), on->availableGeometry()) : topLeft;
    };

    applyScheme(Scheme::LightText);
}

void Form2::publish(const QList<QByteArray>& lines)
{
    b->clear();
    for (const QByteArray& line : lines)
        b->addItem(win1250ToUnicode(line));
    // The list lays its rows out lazily; the mask is taken from the picture right away.
    b->doItemsLayout();
    show();
    raise();
    refreshMask();
}

void Form2::setClock(const QString& clockText)
{
    hur->setText(clockText);
    hur->adjustSize();
    refreshMask();
}

void Form2::showDownloadProgress(const QByteArray& station, int readed, int totalSize)
{
    a->setText(win1250ToUnicode(Shorten25("ekranik - " + station)));
    a->adjustSize();
    // Progress first, then the maximum: the first report of a download is held to the
    // previous download's maximum for a moment.
    pb2->setProgress(readed);
    pb2->setMaxValue(totalSize);
    pb2->resize(a->width(), pb2->height());
    refreshMask();
}

void Form2::showUpdating()
{
    b->clear();
    b->addItem(QStringLiteral("Aktualizacja..."));
    b->doItemsLayout();
    refreshMask();
}

void Form2::applyScheme(Scheme scheme)
{
    m_scheme = scheme;
    const QColor background = scheme == Scheme::LightText ? Qt::black : Qt::white;
    const QColor text = scheme == Scheme::LightText ? Qt::white : Qt::black;
    setBackground(this, background);
    setBackground(b, background);
    setTextColour(b, text);
    setTextColour(a, text);
    setTextColour(hur, text);
    refreshMask();
}

void Form2::setColorKeying(bool on)
{
    m_keying = on;
    refreshMask();
}

void Form2::setKeyColor(const QColor& key)
{
    m_key = key;
    refreshMask();
}

void Form2::repaintFrame()
{
    update();
    refreshMask();
}

void Form2::flipClock()
{
    setClockShown(!clockShown());
}

void Form2::flipProgressLine()
{
    setProgressLineShown(!progressLineShown());
}

void Form2::setClockShown(bool shown)
{
    hur->setHidden(!shown);
    refreshMask();
}

bool Form2::clockShown() const
{
    return !hur->isHidden();
}

void Form2::setProgressLineShown(bool shown)
{
    pb2->setHidden(!shown);
    refreshMask();
}

bool Form2::progressLineShown() const
{
    return !pb2->isHidden();
}

QPoint Form2::defaultPlace()
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return {kLeft, primary ? primary->geometry().height() - 100 : 0};
}

// A widget whose title is off every screen (a monitor unplugged since) could never be dragged
// back.
bool Form2::restorePlace(QPoint topLeft)
{
    const QPoint title = topLeft + a->geometry().topLeft() + QPoint(2, 2);
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (std::none_of(screens.begin(), screens.end(),
                     [title](const QScreen* s) { return s->geometry().contains(title); }))
        return false;
    move(topLeft);
    m_placedAt = topLeft;
    return true;
}

void Form2::setHeight(int height)
{
    setFixedSize(width(), height);
}

QPoint Form2::snap(QPoint topLeft, QSize size, const QRect& workArea)
{
    QPoint snapped = topLeft;
    if (std::abs(snapped.x() - workArea.left()) < kSnapDistance)
        snapped.setX(workArea.left());
    if (std::abs(snapped.y() - workArea.top()) < kSnapDistance)
        snapped.setY(workArea.top());
    const int right = workArea.left() + workArea.width();
    const int bottom = workArea.top() + workArea.height();
    if (std::abs(snapped.x() + size.width() - right) < kSnapDistance)
        snapped.setX(right - size.width());
    if (std::abs(snapped.y() + size.height() - bottom) < kSnapDistance)
        snapped.setY(bottom - size.height());
    return snapped;
}

// Each time the widget goes from hidden to visible it is kept off the taskbar.
void Form2::showEvent(QShowEvent* event)
{
    keepOffTaskbar(this);
    QWidget::showEvent(event);
    refreshMask();
}

// The list keeps its margins of 8, 22, 7 and 7 pixels to the window's edges.
void Form2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    {
        // The list's scroll bar reports its new range from inside the list's resize, while Qt
        // still counts the list's old area as covered by it: a picture taken then leaves the
        // strip a shorter list gives up unpainted, and the mask would be cut from whatever the
        // memory held. The mask is cut once the list has its new place.
        const QScopedValueRollback<bool> guard(m_refreshingMask, true);
        b->setGeometry(8, 22, width() - 15, height() - 29);
    }
    refreshMask();
}

void Form2::paintEvent(QPaintEvent*)
{
    if (!m_ramka || !m_ramka->isChecked())
        return;
    // A cream line just inside a grey-green one, around the whole window.
    QPainter painter(this);
    painter.setPen(kCream);
    painter.drawRect(QRect(1, 1, width() - 2, height() - 2).adjusted(0, 0, -1, -1));
    painter.setPen(kAccent);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// A drag ends when the button is let go; the release comes here from the title or the clock,
// which take no clicks of their own.
void Form2::mouseReleaseEvent(QMouseEvent* event)
{
    QWidget::mouseReleaseEvent(event);
    if (pos() == m_placedAt)
        return;
    m_placedAt = pos();
    emit placed(m_placedAt);
}

void Form2::refreshMask()
{
    // Rendering delivers pending resize events, which come back here.
    if (m_refreshingMask)
        return;
    const QScopedValueRollback<bool> guard(m_refreshingMask, true);
    // Without keying the whole window shows; an empty region clears the mask.
    QRegion shape;
    if (m_keying) {
        // The picture as it is now, without the old mask, and every pixel of the key colour cut
        // out. (A bitmap's region is its color1 pixels, and MaskInColor marks the key ones color0.)
        QImage picture(size(), QImage::Format_RGB32);
        render(&picture, QPoint(), QRegion(), DrawWindowBackground | DrawChildren | IgnoreMask);
        const QImage keep = picture.createMaskFromColor(m_key.rgb(), Qt::MaskInColor);
        shape = QRegion(QBitmap::fromImage(keep));
        // A window with nothing left to show would lose its shape altogether; keep one pixel.
        if (shape.isEmpty())
            shape = QRegion(0, 0, 1, 1);
    }
    if (shape == mask())
        return;
    const QRegion shownBefore = mask().isEmpty() ? QRegion(rect()) : mask();
    const QRegion revealed = (shape.isEmpty() ? QRegion(rect()) : shape) - shownBefore;
    setMask(shape);
    // Qt paints a masked window only inside its mask: whatever changed outside it since is still
    // the old picture in the window's buffer, and would show now. Every widget paints the pixels
    // that come to light again, the children too: the window's own update leaves the pixels of
    // its opaque children (the list) as they are.
    if (revealed.isEmpty())
        return;
    update(revealed);
    for (QWidget* child : findChildren<QWidget*>())
        child->update(revealed.translated(-child->mapTo(this, QPoint())));
}
