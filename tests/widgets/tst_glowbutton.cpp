// Mouse input goes through the window system layer, like real input: that is what gives enter
// and leave events, and sends presses to an open menu first.
#define QTEST_QPA_MOUSE_HANDLING

#include "widgets/glowbutton.h"

#include <QMenu>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <cstdlib>

namespace {

enum class Change { Hover, Press, Disable, Focus, MenuOpen };
enum class Input { LeftClick, RightClick, Space, Return, KeypadEnter };

int distance(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

int differingPixels(const QImage& a, const QImage& b, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            count += distance(a.pixel(x, y), b.pixel(x, y)) > 30 ? 1 : 0;
        }
    }
    return count;
}

// A white window holding one button, shown, so that real input reaches it.
struct Host {
    QWidget window;
    GlowButton* button;
    bool active = false; // keyboard focus and popups need an active window

    explicit Host(QSize size, const QString& text = QString())
    {
        QPalette white = window.palette();
        white.setColor(QPalette::Window, Qt::white);
        window.setPalette(white);
        window.setAutoFillBackground(true);
        window.resize(size + QSize(40, 60));
        button = new GlowButton(text, &window);
        QFont font = button->font();
        font.setPixelSize(11); // the windows' size
        button->setFont(font);
        button->setGeometry(QRect(QPoint(20, 20), size));
        window.show();
        window.activateWindow();
        active = QTest::qWaitForWindowActive(&window);
        button->clearFocus(); // activation gave it focus; tests ask for focus explicitly
    }
    QImage image() const { return button->grab().toImage(); }
    QPoint centre() const { return button->rect().center(); }
};

} // namespace

class TestGlowButton : public QObject {
    Q_OBJECT

private slots:
    void halvesSplitAtMiddle_data();
    void halvesSplitAtMiddle();
    void stateChangesLook_data();
    void stateChangesLook();
    void activation_data();
    void activation();
    void pressWhileMenuOpen_data();
    void pressWhileMenuOpen();
    void captionAndArrowDrawn_data();
    void captionAndArrowDrawn();
};

void TestGlowButton::halvesSplitAtMiddle_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("add station") << QSize(88, 25);
    QTest::newRow("notification") << QSize(97, 25);
    QTest::newRow("ok") << QSize(169, 33);
    QTest::newRow("hide") << QSize(236, 31);
}

// The sharpest colour step inside the face lies at the middle row, and the upper half is lighter.
void TestGlowButton::halvesSplitAtMiddle()
{
    QFETCH(QSize, size);
    Host host(size);
    QVERIFY(host.active);
    const QImage img = host.image();
    const int x = size.width() / 2;
    const int split = size.height() / 2;

    int steepest = 0;
    int steepestRow = -1;
    int upper = 0;
    int lower = 0;
    for (int y = 3; y < size.height() - 3; ++y) {
        const int step = distance(img.pixel(x, y - 1), img.pixel(x, y));
        if (step > steepest) {
            steepest = step;
            steepestRow = y;
        }
        (y < split ? upper : lower) += qGray(img.pixel(x, y));
    }
    QCOMPARE(steepestRow, split);
    QVERIFY2(steepest >= 20, qPrintable(QString::number(steepest)));
    QVERIFY(upper / (split - 3) > lower / (size.height() - 3 - split));
}

void TestGlowButton::stateChangesLook_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<bool>("faceChanges");
    QTest::newRow("hover") << Change::Hover << true;
    QTest::newRow("press") << Change::Press << true;
    QTest::newRow("disable") << Change::Disable << true;
    QTest::newRow("focus") << Change::Focus << false;
    QTest::newRow("menu open") << Change::MenuOpen << true;
}

// Each state changes the rendering, and undoing it brings back exactly the normal look.
void TestGlowButton::stateChangesLook()
{
    QFETCH(Change, change);
    QFETCH(bool, faceChanges);
    Host host(QSize(88, 25), QStringLiteral("Dodaj stację"));
    QVERIFY(host.active);
    GlowButton& button = *host.button;
    QMenu menu;
    menu.addAction(QStringLiteral("Włącz"));
    if (change == Change::MenuOpen) {
        button.setMenu(&menu);
    }
    QTest::mouseMove(&host.window, QPoint(2, 2));
    const QImage normal = host.image();

    auto apply = [&](bool on) {
        switch (change) {
        case Change::Hover:
            QTest::mouseMove(on ? static_cast<QWidget*>(&button) : &host.window,
                             on ? host.centre() : QPoint(2, 2));
            break;
        case Change::Press:
            if (on) {
                QTest::mousePress(&button, Qt::LeftButton, {}, host.centre());
            } else {
                QTest::mouseRelease(&button, Qt::LeftButton, {}, host.centre());
                QTest::mouseMove(&host.window, QPoint(2, 2));
                button.clearFocus(); // the press focused it
            }
            break;
        case Change::Disable:
            button.setEnabled(!on);
            break;
        case Change::Focus:
            on ? button.setFocus() : button.clearFocus();
            break;
        case Change::MenuOpen:
            on ? button.showMenu() : void(menu.close());
            break;
        }
    };

    apply(true);
    const QImage changed = host.image();
    QVERIFY(changed != normal);
    // Sample the face at the left edge, clear of the caption, in both halves.
    for (const int y : {6, 18}) {
        QCOMPARE(distance(changed.pixel(3, y), normal.pixel(3, y)) > 0, faceChanges);
    }
    apply(false);
    QVERIFY(host.image() == normal);
}

void TestGlowButton::activation_data()
{
    QTest::addColumn<bool>("withMenu");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<Input>("input");
    QTest::addColumn<int>("clicks");
    for (const bool withMenu : {false, true}) {
        const QByteArray kind = withMenu ? "menu, " : "plain, ";
        QTest::newRow(kind + "left click") << withMenu << true << Input::LeftClick << 1;
        QTest::newRow(kind + "right click") << withMenu << true << Input::RightClick << 0;
        QTest::newRow(kind + "space") << withMenu << true << Input::Space << 1;
        QTest::newRow(kind + "return") << withMenu << true << Input::Return << 1;
        QTest::newRow(kind + "keypad enter") << withMenu << true << Input::KeypadEnter << 1;
        QTest::newRow(kind + "disabled click") << withMenu << false << Input::LeftClick << 0;
        QTest::newRow(kind + "disabled space") << withMenu << false << Input::Space << 0;
    }
}

// clicked() fires once per activation; with a menu, every activation also pops the menu up
// under the button's bottom-left corner.
void TestGlowButton::activation()
{
    QFETCH(bool, withMenu);
    QFETCH(bool, enabled);
    QFETCH(Input, input);
    QFETCH(int, clicks);
    Host host(QSize(97, 25), QStringLiteral("Powiadomienie"));
    QVERIFY(host.active);
    GlowButton& button = *host.button;
    QMenu menu;
    menu.addAction(QStringLiteral("Włącz"));
    if (withMenu) {
        button.setMenu(&menu);
    }
    button.setFocus();
    button.setEnabled(enabled);
    QSignalSpy spy(&button, &QAbstractButton::clicked);

    switch (input) {
    case Input::LeftClick:
    case Input::RightClick:
        QTest::mouseClick(&button, input == Input::LeftClick ? Qt::LeftButton : Qt::RightButton, {},
                          host.centre());
        break;
    case Input::Space:
        QTest::keyClick(&button, Qt::Key_Space);
        break;
    case Input::Return:
        QTest::keyClick(&button, Qt::Key_Return);
        break;
    case Input::KeypadEnter:
        QTest::keyClick(&button, Qt::Key_Enter, Qt::KeypadModifier);
        break;
    }

    QCOMPARE(spy.count(), clicks);
    QCOMPARE(menu.isVisible(), withMenu && clicks > 0);
    if (menu.isVisible()) {
        QCOMPARE(menu.pos(), button.mapToGlobal(button.rect().bottomLeft()));
        menu.close();
    }
}

void TestGlowButton::pressWhileMenuOpen_data()
{
    QTest::addColumn<bool>("onButton");
    QTest::newRow("on the button") << true;
    QTest::newRow("beside the button") << false;
}

// A press while the menu is open closes it and must not count as a click. A press on the button
// itself must not be handed back to it (Qt replays such presses on Windows and X11, which would
// reopen the menu at once); the offscreen platform never replays, so the flag Qt reads for that
// is checked directly.
void TestGlowButton::pressWhileMenuOpen()
{
    QFETCH(bool, onButton);
    Host host(QSize(97, 25), QStringLiteral("Powiadomienie"));
    QVERIFY(host.active);
    QMenu menu;
    menu.addAction(QStringLiteral("Włącz"));
    host.button->setMenu(&menu);
    QTest::mouseClick(host.button, Qt::LeftButton, {}, host.centre());
    QVERIFY(QTest::qWaitForWindowExposed(&menu));

    QSignalSpy spy(host.button, &QAbstractButton::clicked);
    if (onButton) {
        QTest::mouseClick(host.button, Qt::LeftButton, {}, host.centre());
    } else {
        QTest::mouseClick(&host.window, Qt::LeftButton, {}, QPoint(2, 2));
    }
    QCoreApplication::processEvents();
    QVERIFY(!menu.isVisible());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(menu.testAttribute(Qt::WA_NoMouseReplay), onButton);
}

void TestGlowButton::captionAndArrowDrawn_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("withMenu");
    QTest::addColumn<QRect>("area"); // where it must show, on a 97x25 button
    QTest::newRow("caption") << QStringLiteral("Usuń stację") << false << QRect(22, 6, 44, 13);
    QTest::newRow("arrow") << QString() << true << QRect(76, 8, 16, 9);
}

void TestGlowButton::captionAndArrowDrawn()
{
    QFETCH(QString, text);
    QFETCH(bool, withMenu);
    QFETCH(QRect, area);
    Host host(QSize(97, 25));
    QVERIFY(host.active);
    const QImage plain = host.image();
    QMenu menu;
    host.button->setText(text);
    host.button->setMenu(withMenu ? &menu : nullptr);
    const QImage drawn = host.image();
    QVERIFY(differingPixels(plain, drawn, area) >= 10);
    // Neither leaks into the rest of the face.
    QCOMPARE(differingPixels(plain, drawn, QRect(3, 3, 8, 19)), 0);
}

QTEST_MAIN(TestGlowButton)
#include "tst_glowbutton.moc"
