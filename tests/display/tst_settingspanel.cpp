// The widget settings panel editing the widget's look, with the widget following the look as
// the program has it: each click changes the widget at once, and the panel shows whatever look
// is set.

#include "display/form2.h"
#include "display/settingspanel.h"
#include "display/widgetlookmodel.h"
#include "support/controls.h"
#include "widgets/gauge.h"
#include "widgets/look.h"

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

class TestSettingsPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<WidgetLookModel> look;
    std::unique_ptr<Form2> widget;
    std::unique_ptr<SettingsPanel> panel;

    QCheckBox* box(const char* name) const { return control<QCheckBox>(panel.get(), name); }
    QRadioButton* radio(const char* name) const { return control<QRadioButton>(panel.get(), name); }

private slots:
    void initTestCase() { installFontFallbacks(); }

    void init()
    {
        look = std::make_unique<WidgetLookModel>();
        widget = std::make_unique<Form2>(look->look());
        panel = std::make_unique<SettingsPanel>(look.get());
        connect(look.get(), &WidgetLookModel::changed, widget.get(), &Form2::setLook);
        panel->show();
        widget->publish({"tvn.tv : 20:00 - Fakty"});
    }

    void cleanup()
    {
        panel.reset();
        widget.reset();
        look.reset();
    }

    // The controls start in step with the widget.
    void startStates()
    {
        QVERIFY(box("CheckBox1")->isChecked() && box("CheckBox2")->isChecked());
        QVERIFY(box("abc")->isChecked() && !box("ramka")->isChecked());
        QVERIFY(box("transp")->isChecked() && widget->look().keying);
        QVERIFY(!box("next")->isChecked() && !widget->look().next);
        QVERIFY(!radio("a1")->isChecked() && radio("a2")->isChecked());
        QCOMPARE(box("CheckBox2")->text(), QStringLiteral("Pokaż potęp aktualizacji "));
        QCOMPARE(widget->height(), 81);
    }

    // A look set from elsewhere (read from the settings file, say) shows in the controls, and
    // the next click changes only what it is about.
    void showsTheLookItIsGiven()
    {
        const WidgetLook given{.clock = false,
                               .compact = false,
                               .frame = true,
                               .scheme = WidgetLook::Scheme::DarkText,
                               .keyColor = Qt::white,
                               .place = {},
                               .next = true};
        look->setLook(given);
        QVERIFY(!box("CheckBox1")->isChecked() && box("CheckBox2")->isChecked());
        QVERIFY(!box("abc")->isChecked() && box("ramka")->isChecked());
        QVERIFY(box("transp")->isChecked() && box("next")->isChecked());
        QVERIFY(radio("a1")->isChecked() && !radio("a2")->isChecked());
        QVERIFY(widget->look() == given);
        QTest::mouseClick(box("CheckBox2"), Qt::LeftButton);
        WidgetLook expected = given;
        expected.progressLine = false;
        QVERIFY(look->look() == expected);
    }

    // Unchecking and checking again gives the compact 83 pixels, not the 81 of the start.
    void heightBox()
    {
        const int top = widget->y();
        QTest::mouseClick(box("abc"), Qt::LeftButton);
        QCOMPARE(widget->height(), 600);
        QTest::mouseClick(box("abc"), Qt::LeftButton);
        QCOMPARE(widget->height(), 83);
        QCOMPARE(widget->y(), top);
    }

    // The next programme makes the compact widget taller, and gives it back its height.
    void nextProgramme()
    {
        QTest::mouseClick(box("next"), Qt::LeftButton);
        QVERIFY(look->look().next && widget->look().next);
        QCOMPARE(widget->height(), Form2::kNextCompactHeight);
        QTest::mouseClick(box("next"), Qt::LeftButton);
        QVERIFY(!widget->look().next);
        QCOMPARE(widget->height(), 83);
    }

    void clockAndProgressLine()
    {
        QTest::mouseClick(box("CheckBox1"), Qt::LeftButton);
        QVERIFY(control<QLabel>(widget.get(), "hur")->isHidden());
        QTest::mouseClick(box("CheckBox2"), Qt::LeftButton);
        QVERIFY(control<Gauge>(widget.get(), "pb2")->isHidden());
        QTest::mouseClick(box("CheckBox1"), Qt::LeftButton);
        QVERIFY(!control<QLabel>(widget.get(), "hur")->isHidden());
    }

    // With "Czarny" chosen, transparency off and on again leaves keying on with key white.
    void transparencyTakesTheKeyFromTheScheme()
    {
        QTest::mouseClick(radio("a1"), Qt::LeftButton);
        QCOMPARE(widget->look().scheme, WidgetLook::Scheme::DarkText);
        QCOMPARE(widget->look().keyColor, QColor(Qt::black)); // a scheme leaves the key alone
        QTest::mouseClick(box("transp"), Qt::LeftButton);
        QVERIFY(!widget->look().keying);
        QCOMPARE(widget->look().keyColor, QColor(Qt::white));
        QTest::mouseClick(box("transp"), Qt::LeftButton);
        QVERIFY(widget->look().keying);
        QCOMPARE(widget->look().keyColor, QColor(Qt::white));
        // The white background is keyed out now, the black texts stay.
        QVERIFY(!widget->mask().contains(QPoint(150, 70)));

        // Choosing the chosen scheme again does nothing; the other one applies at once.
        QSignalSpy changed(look.get(), &WidgetLookModel::changed);
        QTest::mouseClick(radio("a1"), Qt::LeftButton);
        QCOMPARE(changed.size(), 0);
        QTest::mouseClick(radio("a2"), Qt::LeftButton);
        QCOMPARE(widget->look().scheme, WidgetLook::Scheme::LightText);
    }

    // The frame is painted when the box is checked and gone again when it is not.
    void frame()
    {
        auto picture = [&] {
            QImage image(widget->size(), QImage::Format_RGB32);
            widget->render(&image);
            return image;
        };
        QTest::mouseClick(box("ramka"), Qt::LeftButton);
        QCOMPARE(picture().pixelColor(0, 40), kAccent);
        QCOMPARE(picture().pixelColor(1, 40), kCream);
        QTest::mouseClick(box("ramka"), Qt::LeftButton);
        QCOMPARE(picture().pixelColor(0, 40), QColor(Qt::black));
    }
};

QTEST_MAIN(TestSettingsPanel)
#include "tst_settingspanel.moc"
