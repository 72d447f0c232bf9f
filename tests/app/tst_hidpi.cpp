// Every window of the program at the scale the test runs at (CTest runs it at QT_SCALE_FACTOR 1
// and 2): each text a control shows fits where the control draws it, measured with that
// control's own font metrics at this scale, and nothing around the control cuts it off; no two
// texts of a window overlap; and what the program paints itself (window frames, the progress
// bar, the list's check boxes, the glow buttons) is at twice the scale the picture at one with
// every pixel doubled, so one-pixel lines stay sharp and in place. CTest runs it in Polish, the
// program's own language, and in English (EKRANIK_TEST_LANGUAGE=en), where no text the windows
// show may be left in Polish either.

#include "app/assembler.h"
#include "app/languagechoice.h"
#include "display/form2.h"
#include "reminders/form3.h"
#include "reminders/okienko.h"
#include "support/controls.h"
#include "support/scratchfolder.h"
#include "support/whenshown.h"
#include "text/win1250.h"
#include "widgets/checkrowdelegate.h"
#include "widgets/glowbutton.h"
#include "widgets/look.h"
#include "widgets/segmentbar.h"
#include "widgets/stationlistbox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <functional>

namespace {

// A text of a window, or a box a control draws beside its text (a check box's square).
struct Shown {
    QString what;
    QRectF drawn; // where it lies, in the window's coordinates
    QRectF room;  // where it may lie: its control's place for it, cut by everything around
    const QWidget* owner;
    bool widthMayRun; // list lines run on past the list's edge, as they always have
};

QRectF inWindow(const QWidget* widget, const QRectF& rect)
{
    return rect.translated(widget->mapTo(widget->window(), QPoint(0, 0)));
}

// The part of the window the control shows through the controls it lies in.
QRectF visibleArea(const QWidget* widget)
{
    QRectF area = inWindow(widget, widget->rect());
    for (const QWidget* w = widget; !w->isWindow();) {
        w = w->parentWidget();
        area &= inWindow(w, w->rect());
    }
    return area;
}

// Under a filled control stacked above it (the settings panel over the station list), a text
// is not shown at all.
bool covered(const QWidget* widget, const QRectF& area)
{
    for (const QWidget* w = widget; !w->isWindow(); w = w->parentWidget()) {
        const QObjectList& siblings = w->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(w) + 1; i < siblings.size(); ++i) {
            const auto* above = qobject_cast<const QWidget*>(siblings[i]);
            if (above && !above->isWindow() && above->isVisible() && above->autoFillBackground() &&
                inWindow(above, above->rect()).contains(area))
                return true;
        }
    }
    return false;
}

QRectF aligned(const QRectF& area, Qt::Alignment alignment, QSizeF size)
{
    qreal x = area.left();
    if (alignment & Qt::AlignHCenter)
        x = area.center().x() - size.width() / 2;
    else if (alignment & Qt::AlignRight)
        x = area.right() - size.width();
    qreal y = area.top();
    if (alignment & Qt::AlignVCenter)
        y = area.center().y() - size.height() / 2;
    else if (alignment & Qt::AlignBottom)
        y = area.bottom() - size.height();
    return {QPointF(x, y), size};
}

QString nameOf(const QWidget* widget)
{
    const QString name = widget->objectName();
    return QString::fromLatin1(widget->metaObject()->className()) +
           (name.isEmpty() ? QString() : QStringLiteral(" ") + name);
}

// QStyledItemDelegate fills a row's style option in a protected function; this reaches it.
struct RowOption : QStyledItemDelegate {
    static void fill(QStyledItemDelegate* delegate, QStyleOptionViewItem* option,
                     const QModelIndex& index)
    {
        (delegate->*&RowOption::initStyleOption)(option, index);
    }
};

// The texts a control draws, where it draws them (in its own coordinates), and where they
// may go.
void textsOf(const QWidget* w, const std::function<void(const QString&, QRectF, QRectF)>& text)
{
    const QFontMetricsF fm(w->font(), w);
    const QStyle* style = w->style();
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        if (label->text().isEmpty())
            return;
        const qreal m = label->margin();
        const QRectF area = QRectF(label->contentsRect()).adjusted(m, m, -m, -m);
        const QSizeF size = label->wordWrap() ? fm.boundingRect(QRectF(0, 0, area.width(), 1e6),
                                                                Qt::TextWordWrap, label->text())
                                                    .size()
                                              : fm.size(0, label->text());
        text(label->text(), aligned(area, label->alignment(), size), area);
    } else if (const auto* button = qobject_cast<const GlowButton*>(w)) {
        const QRectF area = button->captionRect();
        text(button->text(),
             aligned(area, Qt::AlignCenter, fm.size(Qt::TextShowMnemonic, button->text())), area);
    } else if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
        const auto* button = static_cast<const QAbstractButton*>(w);
        const bool radio = qobject_cast<const QRadioButton*>(w);
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRectF box = style->subElementRect(
            radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, w);
        text(QString(), box, box);
        const QRectF area = style->subElementRect(
            radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, w);
        text(button->text(),
             aligned(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fm.size(Qt::TextShowMnemonic, button->text())),
             area);
    } else if (const auto* button = qobject_cast<const QPushButton*>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRectF area = style->subElementRect(QStyle::SE_PushButtonContents, &option, w);
        text(button->text(),
             aligned(area, Qt::AlignCenter, fm.size(Qt::TextShowMnemonic, button->text())), area);
    } else if (const auto* edit = qobject_cast<const QLineEdit*>(w)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth =
            edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, w) : 0;
        const QRectF area = QRectF(style->subElementRect(QStyle::SE_LineEditContents, &option, w))
                                .marginsRemoved(edit->textMargins());
        text(edit->text(), aligned(area, Qt::AlignLeft | Qt::AlignVCenter, {1, fm.height()}), area);
    }
}

// Every text and box the window shows.
QList<Shown> shownIn(const QWidget* window)
{
    QList<Shown> shown;
    const auto add = [&](const QWidget* w, const QString& what, QRectF drawn, QRectF room,
                         bool widthMayRun = false) {
        drawn = inWindow(w, drawn);
        room = inWindow(w, room) & visibleArea(w);
        if (widthMayRun)
            drawn.setRight(std::min(drawn.right(), room.right()));
        if (!covered(w, drawn))
            shown.append({nameOf(w) + QStringLiteral(" \"") + what + QStringLiteral("\""), drawn,
                          room, w, widthMayRun});
    };
    QList<const QWidget*> controls{window};
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (w->window() == window && w->isVisibleTo(window) && !visibleArea(w).isEmpty())
            controls.append(w);

    for (const QWidget* w : controls) {
        textsOf(w,
                [&](const QString& text, QRectF drawn, QRectF room) { add(w, text, drawn, room); });
        if (const auto* menu = qobject_cast<const QMenu*>(w)) {
            const QFontMetricsF fm(menu->font(), menu);
            for (QAction* action : menu->actions()) {
                if (action->isSeparator() || !action->isVisible())
                    continue;
                const QRectF room = menu->actionGeometry(action);
                const QSizeF size = fm.size(Qt::TextShowMnemonic, action->text());
                add(w, action->text(), aligned(room, Qt::AlignCenter, size), room);
            }
        }
        // The rows of a list: the text and the check box of each row in sight.
        if (const auto* view = qobject_cast<const QAbstractItemView*>(w)) {
            auto* delegate = qobject_cast<QStyledItemDelegate*>(view->itemDelegate());
            const QAbstractItemModel* model = view->model();
            for (int row = 0; delegate && model && row < model->rowCount(view->rootIndex());
                 ++row) {
                const QModelIndex index = model->index(row, 0, view->rootIndex());
                const QRect rowRect = view->visualRect(index);
                // A row cut by the list's edge is scrolled to when wanted.
                if (!view->viewport()->rect().contains(rowRect))
                    continue;
                QStyleOptionViewItem option;
                option.initFrom(view);
                option.widget = view;
                option.font = view->font();
                option.rect = rowRect;
                RowOption::fill(delegate, &option, index);
                const QWidget* port = view->viewport();
                const QRectF area =
                    port->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, view);
                const QSizeF size = QFontMetricsF(option.font, view).size(0, option.text);
                add(port, option.text, aligned(area, option.displayAlignment, size), area, true);
                if (option.features & QStyleOptionViewItem::HasCheckIndicator) {
                    const auto* rows = dynamic_cast<const CheckRowDelegate*>(delegate);
                    const QRectF box =
                        rows ? rows->checkBox(option)
                             : port->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator,
                                                             &option, view);
                    add(port, QStringLiteral("[check]"), box, rowRect);
                }
            }
        }
    }
    return shown;
}

// Every text a user can read in the window, the window's title, tool tips, place holders and
// the choices of closed lists included; what the user typed is theirs.
QStringList wordsIn(const QWidget* window)
{
    QStringList words{window->windowTitle()};
    QList<const QWidget*> controls{window};
    for (const QWidget* w : window->findChildren<QWidget*>())
        if (w->window() == window && w->isVisibleTo(window))
            controls.append(w);
    for (const QWidget* w : controls) {
        words << w->toolTip();
        if (const auto* label = qobject_cast<const QLabel*>(w))
            words << label->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            words << button->text();
        else if (const auto* edit = qobject_cast<const QLineEdit*>(w))
            words << edit->placeholderText();
        else if (const auto* box = qobject_cast<const QComboBox*>(w))
            for (int i = 0; i < box->count(); ++i)
                words << box->itemText(i);
        if (const auto* menu = qobject_cast<const QMenu*>(w)) {
            words << menu->title();
            for (const QAction* action : menu->actions())
                words << action->text() << action->toolTip();
        }
        if (const auto* header = qobject_cast<const QHeaderView*>(w)) {
            for (int i = 0; header->model() && i < header->count(); ++i)
                words << header->model()->headerData(i, header->orientation()).toString();
        } else if (const auto* view = qobject_cast<const QAbstractItemView*>(w)) {
            const QAbstractItemModel* model = view->model();
            for (int row = 0; model && row < model->rowCount(view->rootIndex()); ++row)
                for (int column = 0; column < model->columnCount(view->rootIndex()); ++column)
                    words << model->index(row, column, view->rootIndex()).data().toString();
        }
    }
    words.removeAll(QString());
    words.removeDuplicates();
    return words;
}

// The text of a .ts element, whose characters outside XML's (a CR) are <byte value="xd"/>.
QString tsText(QXmlStreamReader& ts)
{
    QString text;
    for (int depth = 1; depth > 0 && !ts.atEnd();) {
        switch (ts.readNext()) {
        case QXmlStreamReader::Characters:
            text += ts.text();
            break;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (ts.name() == QLatin1String("byte"))
                text +=
                    QChar(ts.attributes().value(QLatin1String("value")).mid(1).toUInt(nullptr, 16));
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    return text;
}

// The Polish source texts, each as a pattern that its arguments (%1) match anything in; a
// prompt's CR shows as a line break. A text the same in both languages is no fault.
QList<QRegularExpression> sourceTexts(const QString& tsFile)
{
    static const QStringList sameInBoth{QStringLiteral("[ok]")};
    QFile file(tsFile);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(tsFile));
    QList<QRegularExpression> sources;
    QXmlStreamReader ts(&file);
    while (!ts.atEnd()) {
        if (ts.readNext() != QXmlStreamReader::StartElement || ts.name() != QLatin1String("source"))
            continue;
        const QString source = tsText(ts).replace(u'\r', u'\n');
        if (sameInBoth.contains(source))
            continue;
        // escape() makes "%1" "\\%1".
        QString pattern = QRegularExpression::escape(source);
        pattern.replace(QRegularExpression(QStringLiteral(R"(\\%\d)")), QStringLiteral(".*"));
        sources << QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                      QRegularExpression::DotMatchesEverythingOption);
    }
    if (ts.hasError() || sources.isEmpty())
        qFatal("%s: %s", qPrintable(tsFile), qPrintable(ts.errorString()));
    return sources;
}

QString testLanguage()
{
    return qEnvironmentVariable("EKRANIK_TEST_LANGUAGE", kSourceLanguage);
}

// Less than this is the arithmetic of fractions, not a pixel.
constexpr qreal kFuzz = 1.0 / 64;

bool fits(const Shown& s)
{
    return s.drawn.top() >= s.room.top() - kFuzz && s.drawn.bottom() <= s.room.bottom() + kFuzz &&
           (s.widthMayRun ||
            (s.drawn.left() >= s.room.left() - kFuzz && s.drawn.right() <= s.room.right() + kFuzz));
}

QString describe(const QRectF& r)
{
    return QStringLiteral("(%1, %2 %3x%4)")
        .arg(r.x(), 0, 'f', 2)
        .arg(r.y(), 0, 'f', 2)
        .arg(r.width(), 0, 'f', 2)
        .arg(r.height(), 0, 'f', 2);
}

// The picture of the window at a device pixel ratio, as the screen would get it.
QImage picture(QWidget* window, qreal ratio)
{
    QImage image(window->size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::magenta);
    window->render(&image);
    return image;
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT

    // The windows in the states whose texts the user gets to see; `check` runs while the
    // state shows.
    static void showing(const QString& state, const std::function<void(QWidget*)>& check)
    {
        const ScratchFolder folder;
        Assembler program(QStringLiteral("ekranik.conf"),
                          [](const QString&, const QList<QByteArray>&) {});
        Form1& form1 = program.mainWindow();
        Okienko& okienko = program.dialog();
        Form3& form3 = program.reminderWindow();
        form1.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form1));
        auto* programy = control<StationListBox>(&form1, "programy");
        programy->checkQuietly(0);
        programy->checkQuietly(3);
        programy->setCurrentRow(2);
        auto* pb = control<SegmentBar>(&form1, "pb");
        pb->setMax(100);
        pb->setPosition(57);

        const auto inDialog = [&](const std::function<void()>& open,
                                  const std::function<void()>& then = {}) {
            bool ran = false;
            whenShown(&okienko, [&] {
                if (then)
                    then();
                if (QTest::qWaitForWindowExposed(&okienko))
                    check(&okienko);
                ran = true;
                okienko.close();
            });
            open();
            QTRY_VERIFY(ran); // a double click opens it from the event loop
        };
        const auto click = [&](const char* button) {
            return [&form1, button] {
                QTest::mouseClick(control<GlowButton>(&form1, button), Qt::LeftButton);
            };
        };
        const auto enter = [&](const QString& input) {
            control<QLineEdit>(&okienko, "b")->setText(input);
            QTest::mouseClick(control<GlowButton>(&okienko, "okbut"), Qt::LeftButton);
            QVERIFY(control<QLabel>(&okienko, "why")->isVisible()); // refused, with the reason
        };
        const auto popup = [&](QMenu* menu) {
            menu->popup(QPoint(20, 20));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            check(menu);
            menu->hide();
        };

        if (state == QLatin1String("main window")) {
            check(&form1);
        } else if (state == QLatin1String("settings panel")) {
            control<QWidget>(&form1, "acset")->show();
            check(&form1);
        } else if (state == QLatin1String("debug area")) {
            form1.showDebugArea();
            check(&form1);
        } else if (state == QLatin1String("add station")) {
            inDialog(click("GlowButton1"));
        } else if (state == QLatin1String("station refused")) {
            inDialog(click("GlowButton1"), [&] { enter(QStringLiteral("x")); });
        } else if (state == QLatin1String("reminder refused")) {
            // The longest reason the dialog gives.
            inDialog(click("mhm"), [&] { enter(QStringLiteral("★")); });
        } else if (state == QLatin1String("address")) {
            inDialog([&] {
                QTest::mouseDClick(programy->viewport(), Qt::LeftButton, {},
                                   programy->visualItemRect(programy->item(2)).center());
            });
        } else if (state == QLatin1String("reminder prompt")) {
            inDialog(click("mhm"));
        } else if (state == QLatin1String("reminder")) {
            // The longest title the window shows, in wide capitals.
            form3.showReminder("MECZ",
                               *unicodeToWin1250(QStringLiteral(
                                   "MŚ W PIŁCE NOŻNEJ: POLSKA - WŁOCHY, ĆWIERĆFINAŁ")),
                               "animal.planet.tv");
            QVERIFY(QTest::qWaitForWindowExposed(&form3));
            check(&form3);
        } else if (state == QLatin1String("desktop widget")) {
            Form2 form2;
            form2.publish({"polsat.tv : 20:00 - Wydarzenia",
                           *unicodeToWin1250(QStringLiteral("tvp1.tv : [HIT] 20:25 - Piłka nożna: "
                                                            "MECZ Polska - Włochy"))});
            form2.setClock(QStringLiteral("środa 20:31"));
            form2.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form2));
            check(&form2);
        } else if (state == QLatin1String("channel picker")) {
            // The longest texts a row and the state line have.
            ChannelPicker& picker = program.channelPicker();
            PortalChannels answer;
            answer.state = PortalChannels::State::Ready;
            const QDateTime now = QDateTime::currentDateTime();
            answer.channels = {{QStringLiteral("tvp3.pl"),
                                {QStringLiteral("TVP3 Łódź")},
                                "tvp3.lodz.tv|http://127.0.0.1:8080/program.html",
                                now,
                                QStringLiteral("Wiadomości"),
                                now.addDays(3)}};
            answer.problems = {
                {QStringLiteral("/home/użytkownik/tv.xml"), 12,
                 QStringLiteral("Plik nie jest poprawnym XML-em: błąd w wierszu 12.")}};
            picker.showChannels(answer);
            picker.show();
            QVERIFY(QTest::qWaitForWindowExposed(&picker));
            check(&picker);
            picker.close();
        } else if (state == QLatin1String("tray menu")) {
            popup(&program.trayMenu());
        } else if (state == QLatin1String("statistics menu")) {
            popup(control<QMenu>(&program.trayMenu(), "Statystyki1"));
        } else if (state == QLatin1String("frequency menu")) {
            popup(control<QMenu>(&program.trayMenu(), "Czstotliwo1"));
        } else if (state == QLatin1String("display menu")) {
            popup(control<QMenu>(&form1, "PopupMenu2"));
        } else {
            QFAIL("no such state");
        }
    }

    static void states()
    {
        QTest::addColumn<QString>("state");
        for (const char* state :
             {"main window", "settings panel", "debug area", "add station", "station refused",
              "reminder refused", "address", "reminder prompt", "reminder", "desktop widget",
              "channel picker", "tray menu", "statistics menu", "frequency menu", "display menu"})
            QTest::newRow(state) << QString::fromLatin1(state);
    }

private slots:
    void initTestCase()
    {
        // As the program starts.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        installFontFallbacks();
        // The scale asked for is the one the windows get, on this platform too.
        const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
        QCOMPARE(qApp->devicePixelRatio(), scale);
        qInfo("device pixel ratio %g", qApp->devicePixelRatio());
        // As the program would with --language.
        if (testLanguage() != kSourceLanguage) {
            QVERIFY(translatedLanguages(translationsFolder()).contains(testLanguage()));
            installTranslations(*qApp, testLanguage());
        }
        qInfo("language %s", qPrintable(testLanguage()));
    }

    void noPolishLeft_data() { states(); }
    void noPolishLeft()
    {
        if (testLanguage() == kSourceLanguage)
            QSKIP("the program's own language");
        QFETCH(QString, state);
        static const QList<QRegularExpression> polish = sourceTexts(
            QStringLiteral(EKRANIK_SOURCE_DIR "/i18n/ekranik_") + testLanguage() + ".ts");
        showing(state, [](QWidget* window) {
            const QStringList words = wordsIn(window);
            QVERIFY(!words.isEmpty());
            QStringList faults;
            for (const QString& word : words) {
                for (const QRegularExpression& source : polish) {
                    if (source.match(QString(word).replace(u'\r', u'\n')).hasMatch())
                        faults << QStringLiteral("\"%1\" is the source text %2")
                                      .arg(word, source.pattern());
                }
            }
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n  "))));
        });
    }

    void textsFitAndStayApart_data() { states(); }
    void textsFitAndStayApart()
    {
        QFETCH(QString, state);
        showing(state, [](QWidget* window) {
            const QList<Shown> shown = shownIn(window);
            QVERIFY(!shown.isEmpty());
            QStringList faults;
            for (const Shown& s : shown) {
                if (!fits(s))
                    faults << QStringLiteral("%1 %2 cut off, room %3")
                                  .arg(s.what, describe(s.drawn), describe(s.room));
            }
            for (qsizetype i = 0; i < shown.size(); ++i) {
                for (qsizetype j = i + 1; j < shown.size(); ++j) {
                    const Shown& a = shown[i];
                    const Shown& b = shown[j];
                    const QRectF both = a.drawn.intersected(b.drawn);
                    if (a.owner != b.owner && both.width() > kFuzz && both.height() > kFuzz)
                        faults << QStringLiteral("%1 %2 overlaps %3 %4")
                                      .arg(a.what, describe(a.drawn), b.what, describe(b.drawn));
                }
            }
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n  "))));
        });
    }

    // At twice the scale, what the program paints itself is the picture at one with each pixel
    // doubled: a one-pixel frame is two device pixels wide, in the same place, and sharp. The
    // texts and the style's own controls are left out: they are drawn anew at each scale.
    void ownPaintingDoublesCrisply_data() { states(); }
    void ownPaintingDoublesCrisply()
    {
        QFETCH(QString, state);
        showing(state, [](QWidget* window) {
            QCOMPARE(window->grab().size(), window->size() * qApp->devicePixelRatio());
            QList<std::pair<QString, QRegion>> areas;
            QRegion ownFrame(window->rect());
            for (const QWidget* w : window->findChildren<QWidget*>())
                if (w->isVisibleTo(window) && !w->isWindow())
                    ownFrame -= QRect(w->mapTo(window, QPoint(0, 0)), w->size());
            if (qobject_cast<QMenu*>(window))
                ownFrame = {}; // the style's
            areas.append({nameOf(window), ownFrame});
            const QList<Shown> shown = shownIn(window);
            for (const QWidget* w : window->findChildren<QWidget*>()) {
                if (!w->isVisibleTo(window) || visibleArea(w).isEmpty())
                    continue;
                QRegion area;
                if (qobject_cast<const SegmentBar*>(w) || qobject_cast<const GlowButton*>(w))
                    area = visibleArea(w).toRect();
                for (const Shown& s : shown) {
                    if (s.owner != w)
                        continue;
                    // The check boxes of the list rows are the program's; texts are not.
                    if (s.what.endsWith(QLatin1String("\"[check]\"")))
                        area += s.drawn.toRect();
                    else
                        area -= s.drawn.toAlignedRect().adjusted(-1, -1, 1, 1);
                }
                if (!area.isEmpty())
                    areas.append({nameOf(w), area});
            }

            const QImage once = picture(window, 1);
            const QImage twice = picture(window, 2);
            QStringList faults;
            for (const auto& [name, area] : areas) {
                int pixels = 0;
                int differ = 0;
                QPoint first;
                for (const QRect& r : area) {
                    for (int y = 2 * r.top(); y <= 2 * r.bottom() + 1; ++y) {
                        for (int x = 2 * r.left(); x <= 2 * r.right() + 1; ++x) {
                            const QColor a = once.pixelColor(x / 2, y / 2);
                            const QColor b = twice.pixelColor(x, y);
                            ++pixels;
                            if (std::abs(a.red() - b.red()) > 48 ||
                                std::abs(a.green() - b.green()) > 48 ||
                                std::abs(a.blue() - b.blue()) > 48) {
                                if (differ++ == 0)
                                    first = QPoint(x, y);
                            }
                        }
                    }
                }
                // Antialiased corners come out rounder at twice the scale; a line out of place
                // differs all along.
                if (differ * 50 > pixels)
                    faults << QStringLiteral("%1: %2 of %3 device pixels differ, first at (%4, %5)")
                                  .arg(name)
                                  .arg(differ)
                                  .arg(pixels)
                                  .arg(first.x())
                                  .arg(first.y());
            }
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("\n  "))));
        });
    }
};

QTEST_MAIN(TestHiDpi)
#include "tst_hidpi.moc"
