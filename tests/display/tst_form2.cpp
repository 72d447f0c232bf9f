// The desktop widget: its list's scroll bar at each height, the title during a download, the
// colour keying mask, the schemes, the frame, and moving it with edge snapping.

#include "display/form2.h"
#include "support/controls.h"
#include "widgets/gauge.h"
#include "widgets/look.h"

#include <QApplication>
#include <QBitmap>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <functional>

namespace {

QList<QByteArray> widgetRows(int n)
{
    QList<QByteArray> rows;
    for (int i = 0; i < n; ++i)
        rows << "stacja" + QByteArray::number(i) +
                    ".tv : 20:00 - Wiadomo\x9c"
                    "ci";
    return rows;
}

// What follows each of `n` rows, `done` of the way through; the last row has nothing after it.
QList<std::optional<NextRow>> nextRows(int n, double done)
{
    QList<std::optional<NextRow>> next;
    for (int i = 0; i + 1 < n; ++i)
        next << NextRow{QStringLiteral("następnie 21:00 Sport %1").arg(i), done};
    return next;
}

// A fresh picture of the widget, all of it, whatever its mask.
QImage pictureOf(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    widget->render(&image, QPoint(), QRegion(),
                   QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
    return image;
}

// A point of `child` where its window shows a pixel: presses on keyed pixels go through the
// widget to whatever lies beneath.
QPoint opaquePoint(QWidget* child)
{
    const QRegion shape = child->window()->mask();
    for (int y = 0; y < child->height(); ++y) {
        for (int x = 0; x < child->width(); ++x) {
            if (shape.contains(child->mapTo(child->window(), QPoint(x, y))))
                return {x, y};
        }
    }
    return {0, 0};
}

void pressAndDrag(QWidget* widget, Qt::MouseButton button, QPoint delta)
{
    const QPoint local = opaquePoint(widget);
    const QPoint global = widget->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(local), QPointF(global), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(local + delta), QPointF(global + delta),
                     Qt::NoButton, button, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(local + delta), QPointF(global + delta),
                        button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// Neither the widget's colours nor the key: marks the pixels where the desktop shows through.
constexpr QRgb kHole = qRgb(1, 2, 3);

// The widget with one change of its look.
void changeLook(Form2& widget, const std::function<void(WidgetLook&)>& change)
{
    WidgetLook look = widget.look();
    change(look);
    widget.setLook(look);
}

// What the widget should show: a fresh picture of it, holes at the key colour while keying is on.
QImage expectedPicture(Form2& widget)
{
    QImage picture = pictureOf(&widget);
    for (int y = 0; widget.look().keying && y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (QColor(line[x]) == widget.look().keyColor)
                line[x] = kHole;
        }
    }
    return picture;
}

// What the window does show: the pixels of its buffer where its mask lets them through.
QImage actualPicture(Form2& widget)
{
    const QImage buffer = widget.screen()->grabWindow(widget.winId()).toImage();
    QImage shown(widget.size(), QImage::Format_RGB32);
    shown.fill(kHole);
    QPainter painter(&shown);
    if (!widget.mask().isEmpty())
        painter.setClipRegion(widget.mask());
    painter.drawImage(0, 0, buffer);
    return shown;
}

// Lets deferred work run: the list's delayed layout, its scroll bar shown or hidden, repaints.
void settle()
{
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
}

void wheel(QWidget* widget, int notches)
{
    const QPointF at(widget->width() / 2, widget->height() / 2);
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

using Step = std::function<void(Form2&)>;
using Steps = QList<Step>;

// Counts the paints of the widgets it watches, on the screen and into pictures alike.
class PaintCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Steps)

class TestForm2 : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { installFontFallbacks(); }

    // The list scrolls exactly when its rows are taller than it: 13 pixels a row against a
    // height of the window's minus 29. The widget starts at 81 pixels, is 600 tall, and 83 when
    // compact again.
    void scrollBarRule_data()
    {
        QTest::addColumn<QList<bool>>("compact");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("scrolls");
        const QList<bool> start;
        const QList<bool> tall{false};
        const QList<bool> compactAgain{false, true};
        QTest::newRow("start height, 4 rows") << start << 81 << 4 << false;
        QTest::newRow("start height, 5 rows") << start << 81 << 5 << true;
        QTest::newRow("compact, 4 rows") << compactAgain << 83 << 4 << false;
        QTest::newRow("compact, 5 rows") << compactAgain << 83 << 5 << true;
        QTest::newRow("tall, 43 rows") << tall << 600 << 43 << false;
        QTest::newRow("tall, 44 rows") << tall << 600 << 44 << true;
    }

    void scrollBarRule()
    {
        QFETCH(QList<bool>, compact);
        QFETCH(int, height);
        QFETCH(int, rows);
        QFETCH(bool, scrolls);
        Form2 widget;
        const QPoint top = widget.pos();
        for (bool step : compact)
            changeLook(widget, [step](WidgetLook& look) { look.compact = step; });
        QCOMPARE(widget.height(), height);
        widget.publish(widgetRows(rows));
        QCOMPARE(widget.pos(), top);
        QCOMPARE(control<QListWidget>(&widget, "b")->geometry(), QRect(8, 22, 282, height - 29));
        QCOMPARE(control<QListWidget>(&widget, "b")->verticalScrollBar()->isVisible(), scrolls);
    }

    void titleDuringDownload_data()
    {
        QTest::addColumn<QByteArray>("station");
        QTest::addColumn<QString>("title");
        QTest::newRow("short") << QByteArray("tvn.tv") << "ekranik - tvn.tv";
        QTest::newRow("24 in all") << QByteArray("abcdefghijklmn") << "ekranik - abcdefghijklmn";
        QTest::newRow("25 in all: kept whole, dots added")
            << QByteArray("abcdefghijklmno") << "ekranik - abcdefghijklmno...";
        QTest::newRow("30 in all")
            << QByteArray("twenty.characters.tv") << "ekranik - twenty.character...";
        QTest::newRow("polish") << QByteArray("\xb3\xf3"
                                              "d\x9f.tv")
                                << "ekranik - łódź.tv";
    }

    void titleDuringDownload()
    {
        QFETCH(QByteArray, station);
        QFETCH(QString, title);
        Form2 widget;
        widget.showDownloadProgress(station, 10, 20);
        QCOMPARE(control<QLabel>(&widget, "a")->text(), title);
        QCOMPARE(control<Gauge>(&widget, "pb2")->width(), control<QLabel>(&widget, "a")->width());
    }

    // The first report of a download is held to the previous maximum, the next one shows the
    // true count; a report without a length leaves the line empty.
    void progressLine()
    {
        Form2 widget;
        widget.showDownloadProgress("a.tv", 500, 2000);
        QCOMPARE(control<Gauge>(&widget, "pb2")->progress(),
                 100); // held to the start maximum of 100 ...
        QCOMPARE(control<Gauge>(&widget, "pb2")->maxValue(), 2000);
        widget.showDownloadProgress("a.tv", 1000, 2000);
        QCOMPARE(control<Gauge>(&widget, "pb2")->progress(), 1000);
        widget.showDownloadProgress("a.tv", 0, 0);
        QCOMPARE(control<Gauge>(&widget, "pb2")->maxValue(), 0);
        QCOMPARE(control<Gauge>(&widget, "pb2")->progress(), 0);
        const QImage line = pictureOf(control<Gauge>(&widget, "pb2"));
        for (int x = 0; x < line.width(); ++x)
            QCOMPARE(line.pixelColor(x, 0), QColor(Qt::black));
    }

    // Keying starts on with a black key, and a scheme leaves the key alone: under dark texts it
    // is the texts that are cut out and the white background that stays.
    void colourKeying()
    {
        Form2 widget;
        widget.publish(widgetRows(2));
        QVERIFY(widget.look().keying);
        QCOMPARE(widget.look().keyColor, QColor(Qt::black));
        QVERIFY(!widget.mask().contains(QPoint(150, 70)));           // empty black background
        QVERIFY(!(widget.mask() & QRect(8, 22, 282, 26)).isEmpty()); // the rows, at once
        changeLook(widget, [](WidgetLook& look) { look.scheme = WidgetLook::Scheme::DarkText; });
        QCOMPARE(widget.look().keyColor, QColor(Qt::black));
        QVERIFY(widget.mask().contains(QPoint(150, 70)));
    }

    // Whatever moves pixels, once pending work has run the window shows exactly the pixels of a
    // fresh picture that are not the key colour: the mask is cut anew and nothing stale shows.
    void maskFollowsThePicture_data()
    {
        QTest::addColumn<Steps>("steps");
        const auto rows = [](int n) { return Step([n](Form2& w) { w.publish(widgetRows(n)); }); };
        const auto look = [](const std::function<void(WidgetLook&)>& change) {
            return Step([change](Form2& w) { changeLook(w, change); });
        };
        const Step tall = look([](WidgetLook& l) { l.compact = false; });
        const Step compact = look([](WidgetLook& l) { l.compact = true; });
        const auto scrollTo = [](int value) {
            return Step([value](Form2& w) {
                control<QListWidget>(&w, "b")->verticalScrollBar()->setValue(
                    std::min(value, control<QListWidget>(&w, "b")->verticalScrollBar()->maximum()));
            });
        };
        const Step dark = look([](WidgetLook& l) { l.scheme = WidgetLook::Scheme::DarkText; });
        const Step light = look([](WidgetLook& l) { l.scheme = WidgetLook::Scheme::LightText; });
        // What "Przeźroczystość" does: keying flips, the key follows the scheme of the moment.
        const Step transp = look([](WidgetLook& l) {
            l.keying = !l.keying;
            l.keyColor = l.scheme == WidgetLook::Scheme::DarkText ? Qt::white : Qt::black;
        });
        const auto clock = [](const char* text) {
            return Step([text](Form2& w) { w.setClock(QString::fromUtf8(text)); });
        };
        const auto progress = [](int readed) {
            return Step([readed](Form2& w) { w.showDownloadProgress("tvn.tv", readed, 100); });
        };
        const Step flipClock = look([](WidgetLook& l) { l.clock = !l.clock; });
        const Step flipLine = look([](WidgetLook& l) { l.progressLine = !l.progressLine; });
        const Step frame = look([](WidgetLook& l) { l.frame = true; });
        const Step nextOn = look([](WidgetLook& l) { l.next = true; });
        const Step nextOff = look([](WidgetLook& l) { l.next = false; });
        const auto nowNext = [](int n, double done) {
            return Step([n, done](Form2& w) { w.publish(widgetRows(n), nextRows(n, done)); });
        };

        QTest::newRow("scroll bar") << Steps{rows(12), scrollTo(20)};
        QTest::newRow("wheel") << Steps{
            rows(12), [](Form2& w) { wheel(control<QListWidget>(&w, "b")->viewport(), -1); }};
        QTest::newRow("range shrinks under the rows")
            << Steps{rows(30), scrollTo(1000),
                     [](Form2& w) { control<QListWidget>(&w, "b")->model()->removeRows(0, 20); }};
        QTest::newRow("rows: more than fit") << Steps{rows(2), rows(12)};
        QTest::newRow("rows: fewer") << Steps{rows(12), rows(2)};
        QTest::newRow("rows: cleared") << Steps{rows(12), [](Form2& w) { w.showUpdating(); }};
        QTest::newRow("tall") << Steps{rows(12), tall};
        QTest::newRow("tall, scrolled") << Steps{rows(30), scrollTo(1000), tall};
        QTest::newRow("compact again") << Steps{rows(12), tall, compact};
        QTest::newRow("dark texts") << Steps{rows(12), dark};
        QTest::newRow("light texts again") << Steps{rows(12), dark, light};
        QTest::newRow("light texts again, tall") << Steps{rows(12), dark, tall, light};
        QTest::newRow("light texts after transparency off and on")
            << Steps{rows(12), dark, transp, transp, light};
        QTest::newRow("keying off") << Steps{rows(12), dark, transp};
        QTest::newRow("keying on") << Steps{rows(12), transp, dark, transp};
        QTest::newRow("key colour")
            << Steps{rows(12), dark, look([](WidgetLook& l) { l.keyColor = Qt::white; })};
        QTest::newRow("frame") << Steps{rows(12), frame};
        QTest::newRow("clock") << Steps{rows(12), clock("21 : 05 | środa"),
                                        clock("22 : 47 | czwartek")};
        QTest::newRow("clock hidden") << Steps{rows(12), clock("21 : 05 | środa"), flipClock};
        QTest::newRow("clock shown")
            << Steps{rows(12), clock("21 : 05 | środa"), flipClock, flipClock};
        QTest::newRow("progress line") << Steps{rows(12), progress(20), progress(90)};
        QTest::newRow("progress line hidden") << Steps{rows(12), progress(90), flipLine};
        QTest::newRow("progress line shown") << Steps{rows(12), progress(90), flipLine, flipLine};
        const auto fetching = [](const char* station) {
            return Step([station](Form2& w) { w.showDownloadProgress(station, 50, 100); });
        };
        QTest::newRow("title: a shorter station after a longer one")
            << Steps{rows(12), fetching("twenty.characters.tv"), fetching("tvn.tv")};
        QTest::newRow("clock: a shorter text after a longer one")
            << Steps{rows(12), clock("22 : 47 | czwartek"), clock("21 : 05 | środa")};
        QTest::newRow("the same lines again, scrolled") << Steps{rows(12), scrollTo(20), rows(12)};
        QTest::newRow("second rows") << Steps{nowNext(6, 0.3), nextOn};
        QTest::newRow("second rows, then lines alone") << Steps{nextOn, nowNext(6, 0.3), rows(6)};
        QTest::newRow("second rows off") << Steps{nextOn, nowNext(6, 0.3), nextOff};
        QTest::newRow("progress lines grow") << Steps{nextOn, nowNext(6, 0.3), nowNext(6, 0.8)};
        QTest::newRow("second rows, scrolled") << Steps{nextOn, nowNext(12, 0.5), scrollTo(40)};
        QTest::newRow("second rows, tall and dark") << Steps{nextOn, nowNext(12, 0.5), tall, dark};
        // The list paints on its own too, as it does a row under the pointer.
        QTest::newRow("a row painted anew by the list")
            << Steps{rows(12), [](Form2& w) {
                         control<QListWidget>(&w, "b")->item(0)->setForeground(w.look().keyColor);
                     }};
    }

    void maskFollowsThePicture()
    {
        QFETCH(Steps, steps);
        Form2 widget;
        widget.move(0, 0); // all of it on the screen, where it can be read back
        for (const Step& step : steps) {
            step(widget);
            settle();
        }
        if (!widget.look().keying)
            QVERIFY(widget.mask().isEmpty());
        const QImage expected = expectedPicture(widget);
        const QImage actual = actualPicture(widget);
        int wrong = 0;
        QRect where;
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < expected.width(); ++x) {
                if (actual.pixel(x, y) != expected.pixel(x, y)) {
                    ++wrong;
                    where |= QRect(x, y, 1, 1);
                }
            }
        }
        const QString message = QStringLiteral("%1 pixels wrong in ").arg(wrong);
        QVERIFY2(!wrong, qPrintable(message + QDebug::toString(where)));
    }

    // The mask is cut only from a picture that Qt paints in full. The list's scroll bar reports
    // a new range from inside the list's resize, while Qt still counts the list's old area as
    // covered by it: a picture taken then keeps pixels nobody painted, and a mask cut from it
    // would follow whatever the memory held. Whenever a report comes at such a moment, the mask
    // must still be the one it was.
    void maskNeverCutFromAnUnfinishedPicture_data() { maskFollowsThePicture_data(); }

    void maskNeverCutFromAnUnfinishedPicture()
    {
        QFETCH(Steps, steps);
        QStringList cut;
        QRegion before;
        Form2 widget; // after what its reports write to, so it goes first
        widget.move(0, 0);
        const auto report = [&] {
            QImage picture(widget.size(), QImage::Format_RGB32);
            picture.fill(kHole);
            widget.render(&picture, QPoint(), QRegion(),
                          QWidget::DrawWindowBackground | QWidget::DrawChildren |
                              QWidget::IgnoreMask);
            const QRegion unpainted(
                QBitmap::fromImage(picture.createMaskFromColor(kHole, Qt::MaskOutColor)));
            if (!unpainted.isEmpty() && widget.mask() != before)
                cut << QDebug::toString(unpainted.boundingRect());
            before = widget.mask();
        };
        const QScrollBar* bar = control<QListWidget>(&widget, "b")->verticalScrollBar();
        connect(bar, &QScrollBar::rangeChanged, this, report);
        connect(bar, &QScrollBar::valueChanged, this, report);
        for (const Step& step : steps) {
            step(widget);
            settle();
            before = widget.mask();
        }
        QVERIFY2(cut.isEmpty(), qPrintable("cut with unpainted " + cut.join(u' ')));
    }

    // Where a compositing manager runs, the window is translucent: nothing in the key colour is
    // painted, texts are antialiased (their edges half transparent), and the pointer goes through
    // exactly where nothing is painted. Without one, every shown pixel is opaque and the mask cuts
    // out the key colour. On a screen of twice the density (QT_SCALE_FACTOR=2) the shape follows
    // the finer picture: no screen pixel of a text lies outside it.
    void shapeCoversWhatShows_data()
    {
        QTest::addColumn<bool>("composited");
        QTest::addColumn<Form2::Scheme>("scheme");
        QTest::addColumn<bool>("keying");
        QTest::addColumn<QColor>("key");
        QTest::addColumn<bool>("smoothEdges");
        QTest::addColumn<bool>("next");
        const auto light = Form2::Scheme::LightText;
        const auto dark = Form2::Scheme::DarkText;
        for (const bool next : {false, true}) {
            const auto row = [next](const char* name) {
                return &QTest::addRow("%s%s", name, next ? ", second rows" : "");
            };
            *row("compositor, light texts")
                << true << light << true << QColor(Qt::black) << true << next;
            *row("compositor, dark texts")
                << true << dark << true << QColor(Qt::white) << true << next;
            *row("compositor, texts in the key colour")
                << true << dark << true << QColor(Qt::black) << false << next;
            *row("compositor, keying off")
                << true << light << false << QColor(Qt::black) << true << next;
            *row("mask, light texts")
                << false << light << true << QColor(Qt::black) << false << next;
            *row("mask, dark texts") << false << dark << true << QColor(Qt::white) << false << next;
        }
    }

    void shapeCoversWhatShows()
    {
        QFETCH(bool, composited);
        QFETCH(Form2::Scheme, scheme);
        QFETCH(bool, keying);
        QFETCH(QColor, key);
        QFETCH(bool, smoothEdges);
        QFETCH(bool, next);
        Form2 widget;
        widget.setComposited(!composited); // and back: the switch itself is under test
        changeLook(widget, [next](WidgetLook& look) { look.next = next; });
        widget.publish(widgetRows(3), nextRows(3, 0.5));
        widget.setClock(QStringLiteral("pią 20:15"));
        widget.setComposited(composited);
        changeLook(widget, [&](WidgetLook& look) {
            look.scheme = scheme;
            look.keyColor = key;
            look.keying = keying;
        });
        settle();

        const qreal ratio = widget.devicePixelRatioF();
        QImage picture((QSizeF(widget.size()) * ratio).toSize(), QImage::Format_ARGB32);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        widget.render(&picture, QPoint(), QRegion(),
                      QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
        const QRegion shape = widget.mask().isEmpty() ? QRegion(widget.rect()) : widget.mask();
        int outside = 0, keyShown = 0, halfTransparent = 0, opaque = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QColor pixel = picture.pixelColor(x, y);
                const bool shows = pixel.alpha() != 0 && !(keying && pixel.rgb() == key.rgb());
                if (shows && !shape.contains(QPoint(int(x / ratio), int(y / ratio))))
                    ++outside;
                // (A faint edge of a dim text loses its colour to rounding.)
                if (keying && pixel.alpha() >= 32 && pixel.rgb() == key.rgb())
                    ++keyShown;
                halfTransparent += pixel.alpha() != 0 && pixel.alpha() != 255;
                opaque += pixel.alpha() == 255;
            }
        }
        QCOMPARE(outside, 0);
        QVERIFY(opaque > 0);
        QCOMPARE(halfTransparent > 0, smoothEdges && keying);
        if (composited)
            QCOMPARE(keyShown, 0);
        // The pointer goes through the empty background when it is keyed, whichever way.
        const QColor background = scheme == Form2::Scheme::LightText ? Qt::black : Qt::white;
        QCOMPARE(shape.contains(QPoint(280, 74)), !keying || key != background);
    }

    // With the next programme shown, each line with something after it is 27 pixels tall: the
    // line, its progress line (what has run in the text's colour, the rest in the accent), and
    // the second row, indented, in the dim colour alone. The compact widget grows to show
    // four such lines and stands on the screen; without the next programme it is as before.
    void secondRows_data() { titleAndClockLookAsLabels_data(); }

    void secondRows()
    {
        QFETCH(bool, composited);
        QFETCH(Form2::Scheme, scheme);
        Form2 widget;
        widget.setComposited(composited);
        const QColor text = scheme == Form2::Scheme::LightText ? Qt::white : Qt::black;
        changeLook(widget, [scheme](WidgetLook& look) {
            look.scheme = scheme;
            look.keyColor = scheme == Form2::Scheme::LightText ? Qt::black : Qt::white;
            look.next = true;
        });
        QCOMPARE(widget.height(), Form2::kNextCompactHeight);
        const QRect work = widget.screen()->availableGeometry();
        QVERIFY(widget.frameGeometry().bottom() <= work.bottom());
        widget.publish(widgetRows(3), nextRows(3, 0.25));
        settle();
        auto* list = control<QListWidget>(&widget, "b");
        QCOMPARE(list->visualItemRect(list->item(0)).height(), 27);
        QCOMPARE(list->visualItemRect(list->item(2)).height(), 13);
        QVERIFY(list->verticalScrollBar()->maximum() == 0);

        const auto picture = [&widget] {
            QImage image(widget.size(), QImage::Format_ARGB32);
            image.fill(Qt::transparent);
            widget.render(&image, QPoint(), QRegion(),
                          QWidget::DrawWindowBackground | QWidget::DrawChildren |
                              QWidget::IgnoreMask);
            return image;
        };
        const QRect row =
            list->visualItemRect(list->item(0)).translated(list->viewport()->pos() + list->pos());
        const auto progress = [&](const QImage& image) {
            int run = 0, rest = 0;
            for (int x = row.left(); x <= row.right(); ++x) {
                const QColor pixel = image.pixelColor(x, row.top() + 13);
                run += pixel == text;
                rest += pixel == kAccent;
            }
            return std::pair(run, rest);
        };
        const QImage shown = picture();
        const auto [run, rest] = progress(shown);
        QCOMPARE(run, (run + rest) / 4);
        QVERIFY(run + rest > 250);
        // The second row: the accent (smoothed into the background over a compositor), never
        // the text's colour, and only where it is indented.
        const QColor background = shown.pixelColor(row.right(), row.bottom());
        int marked = 0;
        for (int y = row.top() + 14; y <= row.bottom(); ++y) {
            for (int x = row.left(); x <= row.right(); ++x) {
                const QColor pixel = shown.pixelColor(x, y);
                if (pixel == background)
                    continue;
                ++marked;
                QVERIFY(pixel != text);
                QVERIFY(composited || pixel == Form2::dimColour(scheme));
                QVERIFY(x >= row.left() + 10);
            }
        }
        QVERIFY(marked > 40);
        if (!composited) {
            const QRegion shape = widget.mask();
            QVERIFY(shape.contains(QPoint(row.left() + 3, row.top() + 13)));
            QVERIFY(shape.contains(QPoint(row.right() - 3, row.top() + 13)));
        }

        // Later on, the progress line grows; and the second rows go with the next programme.
        widget.publish(widgetRows(3), nextRows(3, 0.75));
        settle();
        QCOMPARE(progress(picture()).first, 3 * (run + rest) / 4);
        changeLook(widget, [](WidgetLook& look) { look.next = false; });
        QCOMPARE(widget.height(), Form2::kCompactHeight);
        QCOMPARE(list->visualItemRect(list->item(0)).height(), 13);
    }

    // Most ticks bring what the widget shows already: the same lines, the same clock, a report
    // of a download at the same per cent. Nothing is painted then, on the screen or for the mask.
    void unchangedTextsPaintNothing_data()
    {
        QTest::addColumn<Step>("step");
        QTest::newRow("the same lines") << Step([](Form2& w) { w.publish(widgetRows(12)); });
        QTest::newRow("the same clock")
            << Step([](Form2& w) { w.setClock(QStringLiteral("21 : 05 | środa")); });
        QTest::newRow("a report at the same per cent")
            << Step([](Form2& w) { w.showDownloadProgress("tvn.tv", 500, 1000); });
        // A second later, on a progress line of some 270 pixels for an hour.
        static double done = 0.5;
        QTest::newRow("the same second rows, a second on") << Step([](Form2& w) {
            if (!w.look().next)
                changeLook(w, [](WidgetLook& look) { look.next = true; });
            w.publish(widgetRows(12), nextRows(12, done += 1.0 / 3600));
        });
    }

    void unchangedTextsPaintNothing()
    {
        QFETCH(Step, step);
        Form2 widget;
        widget.move(0, 0);
        for (int i = 0; i < 2; ++i) { // a download's first report is held to the last maximum
            step(widget);
            settle();
        }
        PaintCounter paints;
        for (QWidget* part : widget.findChildren<QWidget*>())
            part->installEventFilter(&paints);
        widget.installEventFilter(&paints);
        step(widget);
        settle();
        QCOMPARE(paints.count, 0);
    }

    // The same lines published again show the list from its top, as a list filled anew does.
    void sameLinesAgainFromTheTop()
    {
        Form2 widget;
        widget.publish(widgetRows(12));
        QScrollBar* bar = control<QListWidget>(&widget, "b")->verticalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY(bar->value() > 0);
        widget.publish(widgetRows(12));
        QCOMPARE(bar->value(), 0);
    }

    // The title and the clock keep their layout between changes of their texts, and look
    // exactly as labels of the same font and colours: whole pixels without a compositing
    // manager, smooth over one.
    void titleAndClockLookAsLabels_data()
    {
        QTest::addColumn<bool>("composited");
        QTest::addColumn<Form2::Scheme>("scheme");
        QTest::newRow("mask, light texts") << false << Form2::Scheme::LightText;
        QTest::newRow("mask, dark texts") << false << Form2::Scheme::DarkText;
        QTest::newRow("compositor, light texts") << true << Form2::Scheme::LightText;
        QTest::newRow("compositor, dark texts") << true << Form2::Scheme::DarkText;
    }

    void titleAndClockLookAsLabels()
    {
        QFETCH(bool, composited);
        QFETCH(Form2::Scheme, scheme);
        Form2 widget;
        widget.setComposited(composited);
        changeLook(widget, [scheme](WidgetLook& look) { look.scheme = scheme; });
        const QList<std::pair<QByteArray, QString>> texts{
            {"tvn.tv", QStringLiteral("21 : 05 | środa")},
            {"\xb3\xf3"
             "d\x9f.tv",
             QStringLiteral("pią 20:15")},
            {"twenty.characters.tv", QStringLiteral("22 : 47 | czwartek")}};
        for (const auto& [station, clock] : texts) {
            widget.showDownloadProgress(station, 50, 100);
            widget.setClock(clock);
            for (const char* name : {"a", "hur"}) {
                QLabel* shown = control<QLabel>(&widget, name);
                QLabel label(shown->text());
                label.setFont(shown->font());
                label.setPalette(shown->palette());
                label.resize(shown->size());
                // Where the title stands in the widget: its painter is moved as far.
                const auto picture = [shown](QWidget* drawn) {
                    QImage image(shown->size() + QSize(4, 4), QImage::Format_ARGB32_Premultiplied);
                    image.fill(Qt::gray);
                    drawn->render(&image, QPoint(4, 4), QRegion(), QWidget::DrawChildren);
                    return image;
                };
                QVERIFY2(picture(shown) == picture(&label), qPrintable(shown->text()));
            }
        }
    }

    void frameFollowsTheLook()
    {
        Form2 widget;
        QCOMPARE(pictureOf(&widget).pixelColor(0, 40), QColor(Qt::black));
        changeLook(widget, [](WidgetLook& look) { look.frame = true; });
        const QImage framed = pictureOf(&widget);
        const int w = widget.width();
        const int h = widget.height();
        for (QPoint p : {QPoint(0, 40), QPoint(w - 1, 40), QPoint(150, 0), QPoint(150, h - 1)})
            QCOMPARE(framed.pixelColor(p), kAccent);
        for (QPoint p : {QPoint(1, 40), QPoint(w - 2, 40), QPoint(150, 1), QPoint(150, h - 2)})
            QCOMPARE(framed.pixelColor(p), kCream);
        changeLook(widget, [](WidgetLook& look) { look.frame = false; });
        QCOMPARE(pictureOf(&widget).pixelColor(0, 40), QColor(Qt::black));
    }

    void clearShowsUpdating()
    {
        Form2 widget;
        widget.publish(widgetRows(3));
        widget.showUpdating();
        QVERIFY(!(widget.mask() & QRect(8, 22, 282, 13)).isEmpty());
        QCOMPARE(control<QListWidget>(&widget, "b")->count(), 1);
        QCOMPARE(control<QListWidget>(&widget, "b")->item(0)->text(),
                 QStringLiteral("Aktualizacja..."));
    }

    // Edges closer than 10 pixels snap, left, top, right, bottom in turn; a later edge wins.
    void snapping_data()
    {
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("snapped");
        const QSize widget(297, 81);
        QTest::newRow("far from every edge") << QPoint(300, 300) << widget << QPoint(300, 300);
        QTest::newRow("near the left") << QPoint(9, 300) << widget << QPoint(0, 300);
        QTest::newRow("10 away does not snap") << QPoint(10, 300) << widget << QPoint(10, 300);
        QTest::newRow("near the top, left of the screen")
            << QPoint(-7, 4) << widget << QPoint(0, 0);
        QTest::newRow("near the right")
            << QPoint(1280 - 297 - 6, 300) << widget << QPoint(983, 300);
        QTest::newRow("near the bottom") << QPoint(300, 760 - 81 + 8) << widget << QPoint(300, 679);
        QTest::newRow("left and right both near: right wins")
            << QPoint(3, 300) << QSize(1275, 81) << QPoint(5, 300);
        QTest::newRow("top and bottom both near: bottom wins")
            << QPoint(300, 2) << QSize(297, 755) << QPoint(300, 5);
    }

    void snapping()
    {
        QFETCH(QPoint, to);
        QFETCH(QSize, size);
        QFETCH(QPoint, snapped);
        QCOMPARE(Form2::snap(to, size, QRect(0, 0, 1280, 760)), snapped);
    }

    // The title and the clock move the widget with any button; the list does not.
    void dragging()
    {
        Form2 widget;
        widget.setClock(QStringLiteral("21 : 05 | środa"));
        widget.move(400, 300);
        widget.show();
        const QPoint start = widget.pos();
        pressAndDrag(control<QLabel>(&widget, "a"), Qt::RightButton, QPoint(30, -20));
        QCOMPARE(widget.pos(), start + QPoint(30, -20));
        pressAndDrag(control<QLabel>(&widget, "hur"), Qt::LeftButton, QPoint(-30, 20));
        QCOMPARE(widget.pos(), start);
        pressAndDrag(control<QListWidget>(&widget, "b")->viewport(), Qt::LeftButton,
                     QPoint(50, 50));
        QCOMPARE(widget.pos(), start);
    }
};

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
