#include "display/form2.h"

#include "text/logging.h"
#include "text/shorten.h"
#include "text/win1250.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/compositorwatch.h"
#include "widgets/gauge.h"
#include "widgets/look.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"
#include "widgets/windowshape.h"

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
#include <cmath>

namespace {

const QString kSegoe = QStringLiteral("Segoe UI");

// Texts of a window keyed by its mask are drawn in whole pixels: an antialiased edge pixel is
// neither the key colour nor the text colour and would stay behind as a fringe on the desktop.
// Over a translucent window the edges blend with whatever lies beneath.
QFont widgetFont(int pixelSize, bool bold, bool smooth)
{
    QFont font = layoutFont(kSegoe, pixelSize, bold);
    font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
    return font;
}

// The pixels of the window that show something in `picture`, a picture of the window at the
// screen's pixel ratio: a window pixel shows when any of the screen pixels it covers does, so
// that on a high-density screen no part of a text is cut off.
template <typename Shows> QRegion shownRegion(const QImage& picture, QSize window, Shows shows)
{
    const qreal ratio = picture.devicePixelRatio();
    QImage keep(window, QImage::Format_RGB32);
    keep.fill(Qt::black);
    for (int y = 0; y < picture.height(); ++y) {
        const int wy = std::min(static_cast<int>(y / ratio), window.height() - 1);
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        auto* kept = reinterpret_cast<QRgb*>(keep.scanLine(wy));
        for (int x = 0; x < picture.width(); ++x) {
            if (shows(line[x]))
                kept[std::min(static_cast<int>(x / ratio), window.width() - 1)] =
                    qRgb(255, 255, 255);
        }
    }
    // A bitmap's region is its color1 pixels, and MaskInColor marks the black ones color0.
    return QRegion(QBitmap::fromImage(keep.createMaskFromColor(qRgb(0, 0, 0), Qt::MaskInColor)));
}

} // namespace

Form2::Form2(const WidgetLook& look, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("RadudoVorozu"));
    // A window that may be translucent needs a picture format with alpha from its creation on;
    // without a compositor every pixel is painted opaque, and the mask does the keying.
    setAttribute(Qt::WA_TranslucentBackground);
    m_compositor = new CompositorWatch(this);
    m_composited = m_compositor->isActive();
    connect(m_compositor, &CompositorWatch::activeChanged, this, &Form2::setComposited);
    setFixedSize(kWidth, kHeight);
    move(defaultPlace());
    m_placedAt = pos();

    a = named(
        makeLabel(this, QStringLiteral("ekranik"), 4, 4, widgetFont(11, true, false), Qt::white),
        "a");
    a->setCursor(Qt::PointingHandCursor);

    pb2 = named(new Gauge(this), "pb2");
    pb2->setGeometry(4, 16, 81, 1);

    hur = named(makeLabel(this, QString(), 210, 4, widgetFont(11, false, false), Qt::white), "hur");
    hur->setCursor(Qt::PointingHandCursor);

    b = named(new QListWidget(this), "b");
    b->setFrameShape(QFrame::NoFrame);
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

    setLook(look);
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

void Form2::setLook(const WidgetLook& look)
{
    m_scheme = look.scheme;
    m_keying = look.keying;
    m_key = look.keyColor;
    m_frame = look.frame;
    hur->setHidden(!look.clock);
    pb2->setHidden(!look.progressLine);
    // Compact is the height at start already; a tall widget comes back to four whole rows.
    if (!look.compact)
        setFixedSize(width(), kTallHeight);
    else if (height() == kTallHeight)
        setFixedSize(width(), kCompactHeight);
    if (look.place != m_lookPlace) {
        m_lookPlace = look.place;
        if (look.place && *look.place != pos() && !restorePlace(*look.place))
            qCInfo(lcLog).noquote()
                << QStringLiteral(".mrowka: RadudoVorozu (%1, %2) poza ekranami, wraca na miejsce")
                       .arg(look.place->x())
                       .arg(look.place->y());
    }
    applyLook();
    update(); // the frame
    refreshMask();
}

WidgetLook Form2::look() const
{
    return {.clock = !hur->isHidden(),
            .progressLine = !pb2->isHidden(),
            .compact = height() != kTallHeight,
            .frame = m_frame,
            .keying = m_keying,
            .scheme = m_scheme,
            .keyColor = m_key,
            .place = m_lookPlace};
}

void Form2::setComposited(bool composited)
{
    if (composited == m_composited)
        return;
    m_composited = composited;
    qCInfo(lcLog).noquote() << (composited
                                    ? QStringLiteral(".mrowka: Kompozytor: widzet przezroczysty")
                                    : QStringLiteral(".mrowka: Bez kompozytora: widzet z maska"));
    applyLook();
    update();
    refreshMask();
}

void Form2::applyLook()
{
    const QColor background = m_scheme == Scheme::LightText ? Qt::black : Qt::white;
    const QColor text = m_scheme == Scheme::LightText ? Qt::white : Qt::black;
    // Over a translucent window the key colour is never painted: what it would cover is left
    // transparent. (A text in the key colour, after a change of scheme, is then not drawn at
    // all, where the mask would cut it out of the background.)
    const auto painted = [this](const QColor& colour) {
        return m_composited && m_keying && colour.rgb() == m_key.rgb() ? QColor(Qt::transparent)
                                                                       : colour;
    };
    setBackground(this, painted(background));
    setAutoFillBackground(false); // painted by paintEvent
    setBackground(b, painted(background));
    setTextColour(b, painted(text));
    setTextColour(a, painted(text));
    setTextColour(hur, painted(text));
    pb2->setForeColor(painted(Qt::white));
    pb2->setBackColor(painted(Qt::black));

    const bool smooth = m_composited;
    setFont(widgetFont(11, false, smooth));
    b->setFont(widgetFont(11, false, smooth));
    a->setFont(widgetFont(11, true, smooth));
    hur->setFont(widgetFont(11, false, smooth));
    a->adjustSize();
    hur->adjustSize();
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
    // The background is painted here rather than by Qt: a window that may be translucent gets
    // none of its own in a picture taken with render(), from which the mask is cut. Transparent
    // replaces what the buffer held.
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), palette().window());
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!m_frame)
        return;
    // A cream line just inside a grey-green one, around the whole window.
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
    if (!windowsPlaceThemselves() || pos() == m_placedAt)
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
        // The picture as it is now, at the screen's pixel ratio and without the old mask. Keyed
        // by the mask, every pixel of the key colour is cut out; translucent, the pointer goes
        // through where nothing at all is painted.
        const qreal ratio = devicePixelRatioF();
        QImage picture(std::ceil(width() * ratio), std::ceil(height() * ratio),
                       m_composited ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        picture.setDevicePixelRatio(ratio);
        render(&picture, QPoint(), QRegion(), DrawWindowBackground | DrawChildren | IgnoreMask);
        const QRgb key = m_key.rgb();
        if (!m_composited && ratio != 1.0 && hasScreenPixelShapes()) {
            // The mask in window pixels would leave key-colour screen pixels around every letter:
            // the window is shaped in screen pixels instead, and Qt then paints all of it.
            QImage keep = picture.createMaskFromColor(key, Qt::MaskInColor);
            keep.setDevicePixelRatio(1);
            QRegion fine(QBitmap::fromImage(keep));
            if (fine.isEmpty())
                fine = QRegion(0, 0, 1, 1);
            const bool hadMask = !mask().isEmpty();
            if (hadMask)
                clearMask(); // which takes the window's shape away too
            if (testAttribute(Qt::WA_WState_Created) && (hadMask || fine != m_screenShape)) {
                setScreenPixelShape(this, fine);
                m_screenShape = fine;
            }
            return;
        }
        shape = m_composited
                    ? shownRegion(picture, size(), [](QRgb pixel) { return qAlpha(pixel) != 0; })
                    : shownRegion(picture, size(), [key](QRgb pixel) { return pixel != key; });
        // A window with nothing left to show would lose its shape altogether; keep one pixel.
        if (shape.isEmpty())
            shape = QRegion(0, 0, 1, 1);
    }
    if (!m_screenShape.isEmpty()) {
        setScreenPixelShape(this, QRegion());
        m_screenShape = QRegion();
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
