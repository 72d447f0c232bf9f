#include "display/form2.h"

#include "display/nextrow.h"
#include "display/nownextdelegate.h"
#include "display/shaperows.h"
#include "text/logging.h"
#include "text/shorten.h"
#include "text/win1250.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/compositorwatch.h"
#include "widgets/gauge.h"
#include "widgets/look.h"
#include "widgets/statictextlabel.h"
#include "widgets/taskbar.h"
#include "widgets/windowdragger.h"
#include "widgets/windowshape.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

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

// Qt paints a masked window only inside its mask: whatever changed outside it since is still
// the old picture in the window's buffer, and would show once the mask lets it through. Every
// widget paints those pixels again, the children too: the window's own update leaves the pixels
// of its opaque children (the list) as they are.
void paintAgain(QWidget* window, const QRegion& pixels)
{
    if (pixels.isEmpty())
        return;
    window->update(pixels);
    for (QWidget* child : window->findChildren<QWidget*>())
        child->update(pixels.translated(-child->mapTo(window, QPoint())));
}

} // namespace

Form2::Form2(const WidgetLook& look, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("RadudoVorozu"));
    // A window that may be translucent needs a picture format with alpha from its creation on;
    // without a compositor every pixel is painted opaque, and the mask does the keying.
    setAttribute(Qt::WA_TranslucentBackground);
    // It shows and comes to the top at every publication, and takes no keys: the keyboard
    // stays where the user has it, in a dialog of the program's or in another program.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    m_compositor = new CompositorWatch(this);
    m_composited = m_compositor->isActive();
    connect(m_compositor, &CompositorWatch::activeChanged, this, &Form2::setComposited);
    setFixedSize(kWidth, kHeight);
    move(defaultPlace());
    m_placedAt = pos();

    // The title is painted again at every step of the progress line, which shares a row of
    // pixels with it; its text changes once a download, the clock's once a minute.
    const auto label = [this](const QString& text, int x, bool bold) {
        auto* label = new StaticTextLabel(text, this);
        label->setFont(widgetFont(11, bold, false));
        setTextColour(label, Qt::white);
        label->move(x, 4);
        label->adjustSize();
        return label;
    };
    a = named(label(QStringLiteral("ekranik"), 4, true), "a");
    a->setCursor(Qt::PointingHandCursor);

    pb2 = named(new Gauge(this), "pb2");
    pb2->setGeometry(4, 16, 81, 1);
    // Its steps are painted with the title's change, once for all of a report.
    pb2->setPaintsAtOnce(false);

    hur = named(label(QString(), 210, false), "hur");
    hur->setCursor(Qt::PointingHandCursor);

    b = named(new QListWidget(this), "b");
    b->setFrameShape(QFrame::NoFrame);
    m_rows = new NowNextDelegate(kRowHeight, b);
    b->setItemDelegate(m_rows);
    b->setUniformItemSizes(true);
    b->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    b->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    b->setSelectionMode(QAbstractItemView::NoSelection);
    b->setFocusPolicy(Qt::NoFocus);
    b->setTextElideMode(Qt::ElideNone);
    b->setGeometry(8, 22, kWidth - 15, kHeight - 29);
    // A scroll moves the rows under a mask cut where they were; the range comes and goes with
    // the scroll bar, which narrows the rows.
    const auto listMoved = [this] { refreshMask(b->geometry()); };
    connect(b->verticalScrollBar(), &QScrollBar::valueChanged, this, listMoved);
    connect(b->verticalScrollBar(), &QScrollBar::rangeChanged, this, listMoved);
    // The list also paints changes of its own, a row under the pointer, a pressed scroll bar.
    b->installEventFilter(this);
    for (QWidget* part : b->findChildren<QWidget*>())
        part->installEventFilter(this);

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

// A tick publishes the same lines again and again: the list then only goes back to its top, as
// a list filled anew would, and nothing is laid out, painted or cut. Only a progress line that
// has grown by a pixel is painted again.
void Form2::publish(const QList<QByteArray>& lines, const QList<std::optional<NextRow>>& next)
{
    const auto rowOf = [&next](qsizetype i) {
        return i < next.size() && next[i] ? *next[i] : NextRow();
    };
    const auto done = [](const NextRow& row) {
        return row.done ? QVariant(*row.done) : QVariant();
    };
    bool same = b->count() == lines.size();
    for (int i = 0; same && i < lines.size(); ++i) {
        same = b->item(i)->text() == win1250ToUnicode(lines[i]) &&
               b->item(i)->data(NowNextDelegate::NextRole).toString() == rowOf(i).text;
    }
    if (same) {
        b->scrollToTop();
        const int rowWidth = b->viewport()->width();
        for (int i = 0; i < lines.size(); ++i) {
            QListWidgetItem* item = b->item(i);
            const QVariant was = item->data(NowNextDelegate::DoneRole);
            const std::optional<double> now = rowOf(i).done;
            const auto pixels = [&](std::optional<double> value) {
                return m_rows->donePixels(value, rowWidth);
            };
            // The list paints a changed row on its own, and the shape follows that paint.
            if (pixels(was.isValid() ? std::optional(was.toDouble()) : std::nullopt) != pixels(now))
                item->setData(NowNextDelegate::DoneRole, done(rowOf(i)));
        }
    } else {
        b->clear();
        for (int i = 0; i < lines.size(); ++i) {
            auto* item = new QListWidgetItem(win1250ToUnicode(lines[i]));
            item->setData(NowNextDelegate::NextRole, rowOf(i).text);
            item->setData(NowNextDelegate::DoneRole, done(rowOf(i)));
            b->addItem(item);
        }
        // The list lays its rows out lazily; the mask is taken from the picture right away.
        b->doItemsLayout();
    }
    show();
    raise();
    if (!same)
        refreshMask(b->geometry());
}

// The clock text of a tick changes once a minute.
void Form2::setClock(const QString& clockText)
{
    if (clockText == hur->text())
        return;
    const QRect before = hur->geometry();
    hur->setText(clockText);
    hur->adjustSize();
    refreshMask(QRegion(before) | hur->geometry());
}

// Reports come many times a download; the title changes once, the line with each whole per cent.
void Form2::showDownloadProgress(const QByteArray& station, int readed, int totalSize)
{
    const QString title = win1250ToUnicode(Shorten25("ekranik - " + station));
    QRegion changed;
    if (title != a->text()) {
        changed = a->geometry();
        a->setText(title);
        a->adjustSize();
        changed |= a->geometry();
    }
    const QRect lineBefore = pb2->geometry();
    const int percentBefore = pb2->percentDone();
    // Progress first, then the maximum: the first report of a download is held to the
    // previous download's maximum for a moment.
    pb2->setProgress(readed);
    pb2->setMaxValue(totalSize);
    pb2->resize(a->width(), pb2->height());
    if (pb2->percentDone() != percentBefore || pb2->geometry() != lineBefore)
        changed |= QRegion(lineBefore) | pb2->geometry();
    if (!changed.isEmpty())
        refreshMask(changed);
}

void Form2::showUpdating()
{
    showNote(tr("Aktualizacja..."));
}

void Form2::showNote(const QString& text)
{
    b->clear();
    b->addItem(text);
    b->doItemsLayout();
    refreshMask(b->geometry());
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
    // Compact with the next programme, four lines with their second rows fit.
    const int heightBefore = height();
    if (!look.compact)
        setFixedSize(width(), kTallHeight);
    else if (look.next)
        setFixedSize(width(), kNextCompactHeight);
    else if (height() == kTallHeight || height() == kNextCompactHeight)
        setFixedSize(width(), kCompactHeight);
    if (look.next != m_rows->showsNext()) {
        m_rows->setShowsNext(look.next);
        relayRows();
    }
    if (look.place != m_lookPlace) {
        m_lookPlace = look.place;
        if (look.place && *look.place != pos() && !restorePlace(*look.place))
            qCInfo(lcLog).noquote()
                << QStringLiteral(".mrowka: RadudoVorozu (%1, %2) poza ekranami, wraca na miejsce")
                       .arg(look.place->x())
                       .arg(look.place->y());
    }
    if (look.next && height() > heightBefore)
        keepBottomOnScreen();
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
            .place = m_lookPlace,
            .next = m_rows->showsNext()};
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
    m_rows->setDimColour(painted(dimColour(m_scheme)));
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

QColor Form2::dimColour(Scheme scheme)
{
    return scheme == Scheme::LightText ? QColor(kAccent.lighter(160).rgb()) : kAccent;
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

void Form2::keepBottomOnScreen()
{
    const QScreen* on = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!on)
        return;
    const QRect work = on->availableGeometry();
    const int overhang = frameGeometry().bottom() - work.bottom();
    if (overhang <= 0)
        return;
    move(x(), std::max(work.top(), y() - overhang));
    m_placedAt = pos();
}

// Rows of two heights are laid out one by one; rows of one height all alike, which is cheaper.
void Form2::relayRows()
{
    b->setUniformItemSizes(!m_rows->showsNext());
    b->doItemsLayout();
    b->viewport()->update();
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

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    // Paints of our own cuts are of pictures, not of the screen.
    if (event->type() == QEvent::Paint && !m_refreshingMask && watched->isWidgetType()) {
        const auto* part = static_cast<QWidget*>(watched);
        const bool first = m_paintedByList.isEmpty();
        m_paintedByList |=
            static_cast<QPaintEvent*>(event)->region().translated(part->mapTo(this, QPoint()));
        if (first) {
            QMetaObject::invokeMethod(
                this, [this] { refreshMask(std::exchange(m_paintedByList, QRegion())); },
                Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::refreshMask()
{
    refreshMask(rect());
}

void Form2::refreshMask(const QRegion& changed)
{
    m_maskDirty |= changed;
    // Rendering delivers pending resize events, which come back here: what they change is in
    // the picture being cut when all of it is cut, and is cut in a second round otherwise.
    if (m_refreshingMask || m_maskDirty.isEmpty())
        return;
    const QScopedValueRollback<bool> guard(m_refreshingMask, true);
    const bool whole = cutMask(std::exchange(m_maskDirty, QRegion()).boundingRect());
    if (!whole && !m_maskDirty.isEmpty())
        cutMask(rect());
    m_maskDirty = QRegion();
}

bool Form2::cutMask(const QRect& changed)
{
    // Without keying the whole window shows; an empty region clears the mask.
    QRegion shape;
    QRegion revealed; // what the new shape shows and the old one did not
    bool whole = true;
    if (m_keying) {
        // The picture as it is now, at the screen's pixel ratio and without the old mask. Keyed
        // by the mask, every pixel of the key colour is cut out; translucent, the pointer goes
        // through where nothing at all is painted. Only the part that changed is taken where the
        // rest is known; at a fractional ratio a part would not fall on the same screen pixels.
        const qreal ratio = devicePixelRatioF();
        const QRect area = m_shapeSize == size() && ratio == 1.0 ? changed & rect() : rect();
        whole = area == rect();
        if (area.isEmpty())
            return whole;
        QImage picture(std::ceil(area.width() * ratio), std::ceil(area.height() * ratio),
                       m_composited ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        picture.setDevicePixelRatio(ratio);
        render(&picture, QPoint(), whole ? QRegion() : QRegion(area),
               DrawWindowBackground | DrawChildren | IgnoreMask);
        const QRgb key = m_key.rgb();
        if (!m_composited && ratio != 1.0 && hasScreenPixelShapes()) {
            // The mask in window pixels would leave key-colour screen pixels around every letter:
            // the window is shaped in screen pixels instead, and Qt then paints all of it.
            m_shapeSize = QSize();
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
            return whole;
        }
        std::vector<Runs> cut =
            m_composited ? shownRows(picture, area, [](QRgb pixel) { return qAlpha(pixel) != 0; })
                         : shownRows(picture, area, [key](QRgb pixel) { return pixel != key; });
        if (whole) {
            m_shapeRows = std::move(cut);
        } else {
            // Only the rows of the part are compared and changed, and what they add to the shape
            // painted again; the region is made from the rows, never by operations on a shape of
            // a thousand rectangles and more.
            bool same = true;
            for (int i = 0; i < area.height(); ++i) {
                Runs& row = m_shapeRows[area.y() + i];
                Runs now = spliced(row, area.x(), area.x() + area.width(), cut[i]);
                if (now != row) {
                    cut[i] = newIn(now, row);
                    row.swap(now);
                    same = false;
                } else {
                    cut[i].clear();
                }
            }
            if (same)
                return false;
            revealed = regionOf(cut, area.y());
        }
        m_shapeSize = size();
        shape = regionOf(m_shapeRows);
        // A window with nothing left to show would lose its shape altogether; keep one pixel.
        if (shape.isEmpty())
            shape = QRegion(0, 0, 1, 1);
    } else {
        m_shapeSize = QSize();
    }
    if (!m_screenShape.isEmpty()) {
        setScreenPixelShape(this, QRegion());
        m_screenShape = QRegion();
    }
    if (shape == mask())
        return whole;
    // What a part adds was found row by row; a one-pixel stand-in for an empty shape, though,
    // may lie outside the part.
    const QRegion shownBefore = mask().isEmpty() ? QRegion(rect()) : mask();
    if (whole || shape.rectCount() <= 1 || shownBefore.rectCount() <= 1)
        revealed = (shape.isEmpty() ? QRegion(rect()) : shape) - shownBefore;
    setMask(shape);
    paintAgain(this, revealed);
    return whole;
}
