// The Qt platform the program asks for in each kind of session, and the note it logs: the
// desktop widget keeps its X11 powers wherever XWayland is there, and the user's own choice
// always stands.

#include "app/platformchoice.h"

#include <QTest>

class TestPlatformChoice : public QObject {
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
};

void TestPlatformChoice::choice_data()
{
    QTest::addColumn<QByteArrayList>("environment"); // NAME=value
    QTest::addColumn<QByteArrayList>("arguments");
    QTest::addColumn<QByteArray>("platform"); // asked for; empty: left to Qt and the user
    QTest::addColumn<bool>("noted");

    const QByteArray wayland = "WAYLAND_DISPLAY=wayland-0";
    const QByteArray session = "XDG_SESSION_TYPE=wayland";
    const QByteArray xwayland = "DISPLAY=:1";
    const QByteArrayList folder{"--folder", "/tmp/x"};

    QTest::newRow("X11 session") << QByteArrayList{"XDG_SESSION_TYPE=x11", "DISPLAY=:0"} << folder
                                 << QByteArray() << false;
    QTest::newRow("X server alone")
        << QByteArrayList{"DISPLAY=:0"} << folder << QByteArray() << false;
    QTest::newRow("Wayland with XWayland")
        << QByteArrayList{wayland, session, xwayland} << folder << QByteArray("xcb") << false;
    QTest::newRow("WAYLAND_DISPLAY tells")
        << QByteArrayList{wayland, xwayland} << folder << QByteArray("xcb") << false;
    QTest::newRow("XDG_SESSION_TYPE tells")
        << QByteArrayList{session, xwayland} << folder << QByteArray("xcb") << false;
    QTest::newRow("empty QT_QPA_PLATFORM is none")
        << QByteArrayList{"QT_QPA_PLATFORM=", wayland, xwayland} << folder << QByteArray("xcb")
        << false;
    QTest::newRow("Wayland without XWayland")
        << QByteArrayList{wayland, session} << folder << QByteArray("wayland") << true;
    QTest::newRow("QT_QPA_PLATFORM stands")
        << QByteArrayList{"QT_QPA_PLATFORM=offscreen", wayland, session, xwayland} << folder
        << QByteArray() << false;
    QTest::newRow("QT_QPA_PLATFORM=wayland noted")
        << QByteArrayList{"QT_QPA_PLATFORM=wayland", wayland, session, xwayland} << folder
        << QByteArray() << true;
    QTest::newRow("-platform stands")
        << QByteArrayList{wayland, session} << QByteArrayList{"-platform", "offscreen"}
        << QByteArray() << false;
    QTest::newRow("--platform wayland noted")
        << QByteArrayList{wayland, xwayland} << QByteArrayList{"--platform", "wayland-egl"}
        << QByteArray() << true;
    QTest::newRow("-platform over QT_QPA_PLATFORM")
        << QByteArrayList{"QT_QPA_PLATFORM=wayland", wayland, xwayland}
        << QByteArrayList{"-platform", "xcb"} << QByteArray() << false;
    QTest::newRow("-platform without a name")
        << QByteArrayList{wayland, xwayland} << QByteArrayList{"-platform"} << QByteArray("xcb")
        << false;
}

void TestPlatformChoice::choice()
{
    QFETCH(QByteArrayList, environment);
    QFETCH(QByteArrayList, arguments);
    QFETCH(QByteArray, platform);
    QFETCH(bool, noted);

    SessionEnvironment session;
    for (const QByteArray& pair : environment) {
        const QByteArray name = pair.left(pair.indexOf('='));
        const QByteArray value = pair.mid(name.size() + 1);
        QByteArray* field = name == "QT_QPA_PLATFORM"    ? &session.qpaPlatform
                            : name == "WAYLAND_DISPLAY"  ? &session.waylandDisplay
                            : name == "XDG_SESSION_TYPE" ? &session.sessionType
                                                         : &session.display;
        *field = value;
    }

    const PlatformChoice choice = choosePlatform(session, arguments);
    QCOMPARE(choice.platform, platform);
    QCOMPARE(!choice.note.isEmpty(), noted);
    if (noted)
        QVERIFY2(choice.note.contains(QLatin1String("kompozytor")), qPrintable(choice.note));
}

QTEST_GUILESS_MAIN(TestPlatformChoice)
#include "tst_platformchoice.moc"
