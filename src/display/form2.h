#pragma once

#include "display/nextrow.h"
#include "display/widgetlook.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QRegion>
#include <QWidget>

#include <utility>
#include <vector>

class CompositorWatch;
class Gauge;
class NowNextDelegate;
class QLabel;
class QListWidget;
class WindowDragger;

// RadudoVorozu, the desktop widget: the now-playing lines standing on the desktop. Its
// background colour is keyed out, so only the texts (and, if chosen, a thin frame) are seen
// over whatever lies beneath, and the pointer passes through the keyed pixels.
//
// Without a compositing manager, colour keying is a window mask rebuilt from the widget's own
// picture whenever its content changes: the texts are then drawn without antialiasing, so that
// no half-keyed fringe is left around them. Where a compositing manager runs, the window is
// translucent instead: whatever would be painted in the key colour is left transparent, the
// texts are antialiased onto that, and the mask only lets the pointer through where nothing is
// painted. The widget follows a compositing manager that starts or stops while it runs.
class Form2 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 297;
    static constexpr int kHeight = 81;
    static constexpr int kLeft = 622;
    static constexpr int kRowHeight = 13;
    static constexpr int kSnapDistance = 10;

    // The list's heights: four whole rows that scroll, or 43 rows. A first start has the
    // compact look at kHeight already.
    static constexpr int kCompactHeight = 83;
    static constexpr int kTallHeight = 600;
    // Compact with the next programme shown: four lines, each with its progress line and its
    // second row.
    static constexpr int kNextCompactHeight = 4 * (2 * kRowHeight + 1) + 29;

    using Scheme = WidgetLook::Scheme;

    explicit Form2(const WidgetLook& look = WidgetLook(), QWidget* parent = nullptr);

    // The dim colour of the second rows: the accent, a lighter one under light texts, which
    // stand on dark desktops.
    static QColor dimColour(Scheme scheme);

    // --- what the rest of the program does with the widget -------------------------------------
    // Fills the list with the lines, each with what follows it (in the same order; a line
    // beyond `next` has nothing), then shows the widget and raises it. What follows shows while
    // the look has the next programme.
    void publish(const QList<QByteArray>& lines, const QList<std::optional<NextRow>>& next = {});
    // The clock label shows the clock text.
    void setClock(const QString& clockText);
    // The title names the station being fetched; the progress line under it shows how far.
    void showDownloadProgress(const QByteArray& station, int readed, int totalSize);
    // The list shows only "Aktualizacja...".
    void showUpdating();
    // One line in place of the list, until the next publication.
    void showNote(const QString& text);

    // --- look -----------------------------------------------------------------------------------
    // Takes on the whole look at once. A place it was not given before is taken if the widget's
    // title lies on a screen that exists now (a monitor may have been unplugged since), and is
    // otherwise said in the log; the place it was dragged to, it stands at already.
    void setLook(const WidgetLook& look);
    // The look the widget shows.
    WidgetLook look() const;
    // Per-pixel translucency (a compositing manager runs) or the key-colour mask.
    void setComposited(bool composited);
    bool composited() const { return m_composited; }

    // --- place ----------------------------------------------------------------------------------
    // Where the widget stands until moved: its top edge 100 pixels above the bottom of the
    // primary screen.
    static QPoint defaultPlace();

    // Where a move to `topLeft` ends once the edges have snapped to `workArea`: each edge that
    // comes closer than 10 pixels to the matching edge is moved onto it, checked in the order
    // left, top, right, bottom, a later check overriding an earlier one.
    static QPoint snap(QPoint topLeft, QSize size, const QRect& workArea);

signals:
    // The user has dragged the widget to a new place.
    void placed(QPoint topLeft);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* a;      // title: "ekranik", or the station being fetched
    Gauge* pb2;     // the one-pixel progress line under the title
    QLabel* hur;    // clock
    QListWidget* b; // the now-playing lines
    NowNextDelegate* m_rows;

    // The colours and fonts of the scheme, as the key and the way of keying leave them.
    void applyLook();
    // Moves the widget to a place it stood before, if its title lies on a screen.
    bool restorePlace(QPoint topLeft);
    // A widget grown past the bottom of its screen's work area moves up to stand on it.
    void keepBottomOnScreen();
    // The rows of the list changed height: they are laid out anew and painted.
    void relayRows();
    // The mask follows the picture: called after every change of what the widget shows, scrolls
    // of the list included, with the part of the window whose pixels changed (all of it when not
    // given). What a wider mask brings to light is painted afresh.
    void refreshMask();
    void refreshMask(const QRegion& changed);
    // Cuts the shape anew inside `changed`, or all of it where the rest is not known to be
    // as last cut; true when all of it was cut.
    bool cutMask(const QRect& changed);
    // Paints of the list that no change of ours asked for (a row under the pointer, a pressed
    // scroll bar) have their part of the shape cut again once they are done.
    bool eventFilter(QObject* watched, QEvent* event) override;

    WindowDragger* m_dragger;
    QPoint m_placedAt;
    std::optional<QPoint> m_lookPlace; // the place of the look last taken
    bool m_frame = false;
    Scheme m_scheme = Scheme::LightText;
    bool m_keying = true;
    bool m_composited = false;
    QRegion m_screenShape; // the shape in screen pixels, on a high-density X11 screen
    CompositorWatch* m_compositor;
    bool m_refreshingMask = false;
    QColor m_key = Qt::black;
    // The shape as last cut, in window pixels: the runs [left, right) of shown pixels on each
    // row, of a window of m_shapeSize. Invalid unless the picture outside what changed since is
    // still the one it was cut from.
    std::vector<std::vector<std::pair<int, int>>> m_shapeRows;
    QSize m_shapeSize;
    // Changed since the last cut, while a cut is under way.
    QRegion m_maskDirty;
    // Painted by the list on its own, to be cut once the paint is done.
    QRegion m_paintedByList;
};
