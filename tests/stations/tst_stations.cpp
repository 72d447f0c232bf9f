#include "stations/checkedstates.h"
#include "stations/defaultstations.h"
#include "stations/stationentry.h"
#include "stations/stationfiles.h"
#include "stations/strtoint.h"
#include "stations/textfile.h"
#include "support/scratchfolder.h"
#include "text/errorreport.h"
#include "text/win1250.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The text of the ErrorReport thrown by f, or a null string when nothing was thrown.
template <typename F> QString errorOf(F&& f)
{
    try {
        f();
    } catch (const ErrorReport& report) {
        return report.text();
    }
    return QString();
}

QByteArray cp1250(const char* utf8)
{
    const std::optional<QByteArray> bytes = unicodeToWin1250(QString::fromUtf8(utf8));
    if (!bytes)
        qFatal("test text not representable in Windows-1250: %s", utf8);
    return *bytes;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

void putFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// `Cannot ... file "<path>". <reason>` with a reason that tells the user something.
void verifyFileError(const QString& message, const char* what, const QString& path)
{
    const QString prefix = QStringLiteral("Cannot %1 file \"%2\". ").arg(what, path);
    QVERIFY2(message.startsWith(prefix), qPrintable(message));
    const QString reason = message.mid(prefix.size()).trimmed();
    QVERIFY2(!reason.isEmpty() && reason != QLatin1String("Unknown error"), qPrintable(message));
}

} // namespace

class TestStations : public QObject {
    Q_OBJECT

private slots:
    // Every test runs in its own empty working directory, as the program does.
    void init()
    {
        m_dir = std::make_unique<ScratchFolder>();
        QVERIFY(m_dir->isValid());
    }

    void cleanup() { m_dir.reset(); }

    void entryParts_data()
    {
        QTest::addColumn<QByteArray>("entry");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("url");

        QTest::newRow("later bars belong to url")
            << QByteArray("a|b|c") << QByteArray("a") << QByteArray("b|c");
        QTest::newRow("empty name") << QByteArray("|x") << QByteArray() << QByteArray("x");
        QTest::newRow("empty url") << QByteArray("x|") << QByteArray("x") << QByteArray();
        QTest::newRow("no bar") << QByteArray("http://h/p") << QByteArray()
                                << QByteArray("http://h/p");
        QTest::newRow("spaces kept")
            << QByteArray(" a | b ") << QByteArray(" a ") << QByteArray(" b ");
    }

    void entryParts()
    {
        QFETCH(QByteArray, entry);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, url);
        QCOMPARE(EntryName(entry), name);
        QCOMPARE(EntryURL(entry), url);
    }

    void stationName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<StationNameProblem>("problem");

        using P = StationNameProblem;
        QTest::newRow("empty") << QByteArray() << P::Empty;
        QTest::newRow("dot") << QByteArray(".") << P::DotName;
        QTest::newRow("dot dot") << QByteArray("..") << P::DotName;
        QTest::newRow("slash") << QByteArray("tv/p.tv") << P::Separator;
        QTest::newRow("backslash") << QByteArray("tv\\p.tv") << P::Separator;
        QTest::newRow("resource path") << QByteArray(":tvp1.tv") << P::Resource;
        QTest::newRow("list file") << QByteArray("programy.tv") << P::StationFile;
        QTest::newRow("checked file") << QByteArray("programy_stan.tv") << P::StationFile;
        QTest::newRow("tab") << QByteArray("a\tb.tv") << P::ControlChar;
        QTest::newRow("lf") << QByteArray("a\n.tv") << P::ControlChar;
        QTest::newRow("0x1f") << QByteArray("\x1f") << P::ControlChar;

        QTest::newRow("good") << QByteArray("polsat.tv") << P::None;
        QTest::newRow("inner dots") << QByteArray("a..b.tv") << P::None;
        QTest::newRow("polish") << cp1250("żółw.tv") << P::None;
    }

    void stationName()
    {
        QFETCH(QByteArray, name);
        QFETCH(StationNameProblem, problem);
        QCOMPARE(checkStationName(name), problem);
        QCOMPARE(stationNameProblemText(problem).isEmpty(), problem == StationNameProblem::None);
    }

    void defaultStationsCases()
    {
        const QList<QByteArray> stations = defaultStations();
        QCOMPARE(stations.size(), 13);

        QList<QByteArray> names;
        for (const QByteArray& entry : stations) {
            names.append(EntryName(entry));
            QVERIFY2(EntryURL(entry).startsWith("http://" EKRANIK_PORTAL_HOST "/"), entry);
            QCOMPARE(checkStationName(EntryName(entry)), StationNameProblem::None);
        }
        const QList<QByteArray> expectedNames = {
            "discovery.tv", "polsat.tv", "tv4.tv",         "tvn.tv",
            "tvp1.tv",      "tvp2.tv",   "mtv.deutsch.tv", "cartoon.network.tv",
            "tvn24.tv",     "hbo.tv",    "hyper.tv",       "animal.planet.tv",
            "canalplus.tv"};
        QCOMPARE(names, expectedNames);

        QCOMPARE(stations[1], QByteArray("polsat.tv|http://" EKRANIK_PORTAL_HOST
                                         "/.?&T%5Bstation%5D=5&T%5Bcategory%5D=ALL&T%5Btime%5D=0"));
        QCOMPARE(stations[12], QByteArray("canalplus.tv|http://" EKRANIK_PORTAL_HOST
                                          "/program.html?T%5Bstation%5D=13"));
    }

    void splitTextLinesCases_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("lines");

        using L = QList<QByteArray>;
        QTest::newRow("empty") << QByteArray() << L{};
        QTest::newRow("no break") << QByteArray("a") << L{"a"};
        QTest::newRow("crlf at end") << QByteArray("a\r\n") << L{"a"};
        QTest::newRow("lf at end") << QByteArray("a\n") << L{"a"};
        QTest::newRow("empty last line") << QByteArray("a\r\n\r\n") << L{"a", ""};
        QTest::newRow("break only") << QByteArray("\r\n") << L{""};
        QTest::newRow("mixed breaks") << QByteArray("a\rb\nc") << L{"a", "b", "c"};
        QTest::newRow("lf cr is two breaks") << QByteArray("a\n\rb") << L{"a", "", "b"};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << L{"a", "", "b"};
        QTest::newRow("zero dropped") << QByteArray("a\0b", 3) << L{"ab"};
        QTest::newRow("zero after cr") << QByteArray("a\r\0\nb", 5) << L{"a", "b"};
        QTest::newRow("spaces kept") << QByteArray(" a \r\n\tb") << L{" a ", "\tb"};
    }

    void splitTextLinesCases()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, lines);
        QCOMPARE(splitTextLines(text), lines);
    }

    void fileRoundTripIsByteExact()
    {
        const QByteArray polish = cp1250("tvp kultura ąęłńóśźż ĄĘŁŃÓŚŹŻ.tv|http://x/");
        const QList<QByteArray> entries = {
            polish,
            QByteArray(),
            QByteArray("unassigned \x81\x83\x88\x90\x98|http://y/?a=1|2"),
            defaultStations().at(0),
        };

        writeTextFile(kStationListFile, entries);

        const QByteArray bytes = fileBytes(kStationListFile);
        QVERIFY(
            bytes.startsWith("tvp kultura \xb9\xea\xb3\xf1\xf3\x9c\x9f\xbf "
                             "\xa5\xca\xa3\xd1\xd3\x8c\x8f\xaf.tv|http://x/\r\n\r\nunassigned"));
        QVERIFY(bytes.endsWith(defaultStations().at(0) + "\r\n"));
        QCOMPARE(bytes.count("\r\n"), entries.size());

        QCOMPARE(readTextFile(kStationListFile), entries);
        QCOMPARE(win1250ToUnicode(EntryName(readTextFile(kStationListFile).at(0))),
                 QString::fromUtf8("tvp kultura ąęłńóśźż ĄĘŁŃÓŚŹŻ.tv"));
    }

    void checkedStatesRoundTrip_data()
    {
        QTest::addColumn<QList<int>>("checked");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("none checked: zero-byte file") << QList<int>{} << QByteArray();
        QTest::newRow("some checked")
            << QList<int>{0, 3, 10, 11} << QByteArray("0\r\n3\r\n10\r\n11\r\n");
    }

    void checkedStatesRoundTrip()
    {
        QFETCH(QList<int>, checked);
        QFETCH(QByteArray, bytes);
        QList<bool> marks(12, false);
        for (int position : checked)
            marks[position] = true;

        putFile(kCheckedStatesFile, "1\r\n2\r\n");
        writeTextFile(kCheckedStatesFile, checkedStateLines(marks));
        QCOMPARE(fileBytes(kCheckedStatesFile), bytes);

        QList<bool> loaded(marks.size(), false);
        applyCheckedStateLines(readTextFile(kCheckedStatesFile), loaded.size(),
                               [&](int position) { loaded[position] = true; });
        QCOMPARE(loaded, marks);
    }

    void strToIntCases_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");

        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("decimal") << QByteArray("12") << 12;
        QTest::newRow("leading zeros") << QByteArray("007") << 7;
        QTest::newRow("leading space") << QByteArray(" 7") << 7;
        QTest::newRow("plus") << QByteArray("+3") << 3;
        QTest::newRow("minus") << QByteArray("-1") << -1;
        QTest::newRow("space then sign") << QByteArray("  -5") << -5;
        QTest::newRow("dollar hex") << QByteArray("$1F") << 31;
        QTest::newRow("0x hex") << QByteArray("0x10") << 16;
        QTest::newRow("0X hex") << QByteArray("0XaB") << 171;
        QTest::newRow("negative hex") << QByteArray("-$10") << -16;
        QTest::newRow("max") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("min") << QByteArray("-2147483648") << int(-2147483647 - 1);
        QTest::newRow("min hex") << QByteArray("-0x80000000") << int(-2147483647 - 1);
    }

    void strToIntCases()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        QCOMPARE(strToInt(text), value);
    }

    void strToIntRejects_data()
    {
        QTest::addColumn<QByteArray>("text");

        QTest::newRow("empty") << QByteArray();
        QTest::newRow("space") << QByteArray(" ");
        QTest::newRow("trailing space") << QByteArray("7 ");
        QTest::newRow("letter after digits") << QByteArray("1a");
        QTest::newRow("max plus one") << QByteArray("2147483648");
        QTest::newRow("min minus one") << QByteArray("-2147483649");
        QTest::newRow("huge") << QByteArray("99999999999999999999");
        QTest::newRow("hex too big") << QByteArray("$80000000");
        QTest::newRow("two signs") << QByteArray("--1");
        QTest::newRow("sign only") << QByteArray("-");
        QTest::newRow("dollar only") << QByteArray("$");
        QTest::newRow("0x only") << QByteArray("0x");
        QTest::newRow("bad hex digit") << QByteArray("$1G");
        QTest::newRow("tab") << QByteArray("\t1");
    }

    void strToIntRejects()
    {
        QFETCH(QByteArray, text);
        QCOMPARE(errorOf([&] { strToInt(text); }),
                 QStringLiteral("'%1' is not a valid integer value").arg(win1250ToUnicode(text)));
    }

    void applyCheckedStateLinesCases_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("applied");
        QTest::addColumn<QString>("error");

        using L = QList<QByteArray>;
        using A = QList<int>;
        QTest::newRow("all good") << L{"0", "2", " $1"} << 3 << A{0, 2, 1} << QString();
        QTest::newRow("not a number")
            << L{"1", "x", "2"} << 3 << A{1} << QStringLiteral("'x' is not a valid integer value");
        QTest::newRow("empty line")
            << L{"0", "", "1"} << 3 << A{0} << QStringLiteral("'' is not a valid integer value");
        QTest::newRow("polish text") << L{"2", cp1250("żółw")} << 3 << A{2}
                                     << QString::fromUtf8("'żółw' is not a valid integer value");
        QTest::newRow("past the end")
            << L{"0", "5", "1"} << 3 << A{0} << QStringLiteral("List index out of bounds (5)");
        QTest::newRow("equal to count")
            << L{"3"} << 3 << A{} << QStringLiteral("List index out of bounds (3)");
        QTest::newRow("negative") << L{"1", "-1"} << 3 << A{1}
                                  << QStringLiteral("List index out of bounds (-1)");
    }

    void applyCheckedStateLinesCases()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(int, count);
        QFETCH(QList<int>, applied);
        QFETCH(QString, error);

        QList<int> calls;
        const QString message =
            errorOf([&] { applyCheckedStateLines(lines, count, [&](int n) { calls.append(n); }); });
        QCOMPARE(message, error);
        QCOMPARE(calls, applied);
    }

    void writeFailure_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("targetIsFolder");

        QTest::newRow("folder missing") << QStringLiteral("missing/programy.tv") << false;
        QTest::newRow("target is a folder") << QString(kStationListFile) << true;
    }

    void writeFailure()
    {
        QFETCH(QString, path);
        QFETCH(bool, targetIsFolder);
        if (targetIsFolder)
            QVERIFY(QDir().mkdir(path));

        verifyFileError(errorOf([&] { writeTextFile(path, {"a|b"}); }), "create", path);
        QCOMPARE(QFileInfo(path).isDir(), targetIsFolder);
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 targetIsFolder ? QStringList{path} : QStringList{});
    }

    void writeFailureMidFileKeepsOldFile_data()
    {
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<int>("sizeLimit");

        // Small text stays in the file's buffer and fails when flushed; large text is written
        // straight through and comes back short.
        QTest::newRow("buffered") << 10 << 16;
        QTest::newRow("written through") << 20000 << 4096;
    }

    // The file size limit makes the system refuse the write partway through, which also
    // happens to root; the old file must come through whole.
    void writeFailureMidFileKeepsOldFile()
    {
        QFETCH(int, lineCount);
        QFETCH(int, sizeLimit);

        const QByteArray old = "old|http://old/\r\n";
        putFile(kStationListFile, old);
        const QList<QByteArray> lines(lineCount, QByteArray("station.tv|http://h/"));

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limited = saved;
        limited.rlim_cur = rlim_t(sizeLimit);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const QString message = errorOf([&] { writeTextFile(kStationListFile, lines); });
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
        std::signal(SIGXFSZ, oldHandler);

        verifyFileError(message, "create", kStationListFile);
        qInfo("%s", qPrintable(message));
        QCOMPARE(fileBytes(kStationListFile), old);
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{kStationListFile});
    }

    // A folder that takes no new file: a file that may be written is written in place, or the
    // program could never save and so never end; a file that may not is left as it was, with
    // the error. Root ignores permissions, so as root the save is tried under another user id.
    void writeIntoReadOnlyFolder_data()
    {
        QTest::addColumn<bool>("fileWritable");
        QTest::newRow("writable file: in place") << true;
        QTest::newRow("read-only file: refused") << false;
    }

    void writeIntoReadOnlyFolder()
    {
        QFETCH(bool, fileWritable);
        const QString path = QStringLiteral("ro/programy.tv");
        const QByteArray old = "old|http://old/\r\n";
        QVERIFY(QDir().mkdir("ro"));
        putFile(path, old);
        const auto readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        const auto writable = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        const auto readOnlyFolder = readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(path, fileWritable ? readable | writable : readable));
        QVERIFY(QFile::setPermissions("ro", readOnlyFolder));
        QVERIFY(QFile::setPermissions(m_dir->path(), readOnlyFolder | QFile::WriteOwner));

        const uid_t rootId = 0;
        const bool asRoot = geteuid() == rootId;
        const uid_t nobody = 65534;
        if (asRoot && seteuid(nobody) != 0)
            QSKIP("cannot switch to an unprivileged user id");
        const QString message = errorOf([&] { writeTextFile(path, {"new|http://new/"}); });
        if (asRoot)
            QCOMPARE(seteuid(rootId), 0);

        QVERIFY(QFile::setPermissions("ro", readOnlyFolder | QFile::WriteOwner));
        if (fileWritable) {
            QVERIFY2(message.isEmpty(), qPrintable(message));
            QCOMPARE(fileBytes(path), QByteArray("new|http://new/\r\n"));
        } else {
            verifyFileError(message, "create", path);
            QCOMPARE(fileBytes(path), old);
        }
        QCOMPARE(QDir("ro").entryList(QDir::Files | QDir::Hidden), QStringList{"programy.tv"});
    }

    void readFailure_data()
    {
        QTest::addColumn<bool>("folder");

        QTest::newRow("missing file") << false;
        QTest::newRow("folder with the file's name") << true;
    }

    void readFailure()
    {
        QFETCH(bool, folder);
        if (folder)
            QVERIFY(QDir().mkdir(kStationListFile));
        const QString message = errorOf([] { readTextFile(kStationListFile); });
        verifyFileError(message, "open", kStationListFile);
        qInfo("%s", qPrintable(message));
    }

    void converter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<QByteArray>>("bytes");

        using B = std::optional<QByteArray>;
        QTest::newRow("small") << QString::fromUtf8("ąćęłńóśźż")
                               << B("\xb9\xe6\xea\xb3\xf1\xf3\x9c\x9f\xbf");
        QTest::newRow("capital") << QString::fromUtf8("ĄĆĘŁŃÓŚŹŻ")
                                 << B("\xa5\xc6\xca\xa3\xd1\xd3\x8c\x8f\xaf");
        QTest::newRow("quotes and euro")
            << QString::fromUtf8("„x” – 5 €") << B("\x84x\x94 \x96 5 \x80");
        QTest::newRow("cyrillic") << QString::fromUtf8("tvp ж") << B();
        QTest::newRow("cjk") << QString::fromUtf8("中") << B();
        QTest::newRow("emoji") << QString::fromUtf8("tv 😀") << B();
        QTest::newRow("a grave") << QString::fromUtf8("à") << B();
        QTest::newRow("lone surrogate at end") << (QStringLiteral("a") + QChar(0xD800)) << B();
    }

    void converter()
    {
        QFETCH(QString, text);
        QFETCH(std::optional<QByteArray>, bytes);
        QCOMPARE(unicodeToWin1250(text), bytes);
        if (bytes)
            QCOMPARE(win1250ToUnicode(*bytes), text);
    }

    // What the comment in win1250.h promises about the unassigned bytes.
    void everyByteSurvivesDecodeEncode()
    {
        QByteArray all;
        for (int byte = 0; byte < 256; ++byte)
            all.append(char(byte));

        const QString text = win1250ToUnicode(all);
        QCOMPARE(text.size(), 256);
        for (int byte : {0x81, 0x83, 0x88, 0x90, 0x98})
            QCOMPARE(text.at(byte).unicode(), char16_t(byte));
        QCOMPARE(unicodeToWin1250(text), std::optional<QByteArray>(all));
    }

    // The program's own table agrees with Qt's (ICU's) windows-1250 converter on every byte.
    void tableAgreesWithTheSystemConverter()
    {
        QByteArray all;
        for (int byte = 0; byte < 256; ++byte)
            all.append(char(byte));
        QStringDecoder decoder("windows-1250", QStringConverter::Flag::Stateless);
        QVERIFY(decoder.isValid());
        const QString system = decoder.decode(all);
        const QString ours = win1250ToUnicode(all);
        for (int byte = 0; byte < 256; ++byte)
            QVERIFY2(ours.at(byte) == system.at(byte), qPrintable(QString::number(byte, 16)));
    }

private:
    std::unique_ptr<ScratchFolder> m_dir;
};

QTEST_GUILESS_MAIN(TestStations)
#include "tst_stations.moc"
