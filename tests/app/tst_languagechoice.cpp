// The language the program speaks, from --language and the session's locale settings, and the
// translations it finds.

#include "app/languagechoice.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestLanguageChoice : public QObject {
    Q_OBJECT

private slots:
    void choice_data();
    void choice();
    void translationsFound();
};

void TestLanguageChoice::choice_data()
{
    QTest::addColumn<QByteArrayList>("environment"); // LC_ALL, LC_MESSAGES and LANG as set
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QStringList>("translated");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("language");

    const QStringList english{QStringLiteral("en-US"), QStringLiteral("en")};
    const QStringList german{QStringLiteral("de-DE"), QStringLiteral("de")};
    const QStringList polish{QStringLiteral("pl-PL"), QStringLiteral("pl")};
    const QStringList en{QStringLiteral("en")};
    const QStringList enDe{QStringLiteral("de"), QStringLiteral("en")};

    QTest::newRow("C") << QByteArrayList{"LANG=C"} << english << en << QString() << "pl";
    QTest::newRow("C.UTF-8") << QByteArrayList{"LANG=C.UTF-8"} << english << en << QString()
                             << "pl";
    QTest::newRow("POSIX") << QByteArrayList{"LANG=POSIX"} << english << en << QString() << "pl";
    QTest::newRow("nothing set") << QByteArrayList{} << english << en << QString() << "pl";
    QTest::newRow("Polish") << QByteArrayList{"LANG=pl_PL.UTF-8"} << polish << en << QString()
                            << "pl";
    QTest::newRow("English") << QByteArrayList{"LANG=en_US.UTF-8"} << english << en << QString()
                             << "en";
    QTest::newRow("German, no translation")
        << QByteArrayList{"LANG=de_DE.UTF-8"} << german << en << QString() << "en";
    QTest::newRow("German translated")
        << QByteArrayList{"LANG=de_DE.UTF-8"} << german << enDe << QString() << "de";
    QTest::newRow("Polish first of several")
        << QByteArrayList{"LANG=en_GB.UTF-8"} << (polish + english) << en << QString() << "pl";
    QTest::newRow("only the first language counts")
        << QByteArrayList{"LANG=fr_FR.UTF-8"} << (QStringList{QStringLiteral("fr-FR")} + polish)
        << en << QString() << "en";
    QTest::newRow("no languages at all")
        << QByteArrayList{"LANG=en_US.UTF-8"} << QStringList() << en << QString() << "en";
    // LC_ALL, then LC_MESSAGES, then LANG, as the C library reads them.
    QTest::newRow("LC_ALL=C over LANG") << QByteArrayList{"LC_ALL=C.UTF-8", "LANG=en_US.UTF-8"}
                                        << english << en << QString() << "pl";
    QTest::newRow("LC_MESSAGES=C over LANG") << QByteArrayList{"LC_MESSAGES=C", "LANG=en_US.UTF-8"}
                                             << english << en << QString() << "pl";
    QTest::newRow("LC_ALL over LC_MESSAGES=C")
        << QByteArrayList{"LC_ALL=en_US.UTF-8", "LC_MESSAGES=C"} << english << en << QString()
        << "en";
    QTest::newRow("--language en in C") << QByteArrayList{"LANG=C"} << english << en << "en"
                                        << "en";
    QTest::newRow("--language pl in English")
        << QByteArrayList{"LANG=en_US.UTF-8"} << english << en << "pl"
        << "pl";
}

void TestLanguageChoice::choice()
{
    QFETCH(QByteArrayList, environment);
    QFETCH(QStringList, uiLanguages);
    QFETCH(QStringList, translated);
    QFETCH(QString, asked);
    QFETCH(QString, language);

    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        qunsetenv(name);
    for (const QByteArray& setting : environment) {
        const qsizetype is = setting.indexOf('=');
        qputenv(setting.left(is), setting.mid(is + 1));
    }
    LanguageEnvironment session = LanguageEnvironment::current();
    session.uiLanguages = uiLanguages;
    QCOMPARE(chooseLanguage(asked, session, translated), language);
}

void TestLanguageChoice::translationsFound()
{
    const QTemporaryDir folder;
    for (const char* name : {"ekranik_en.qm", "ekranik_de.qm", "qtbase_fr.qm", "ekranik_en.ts"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(translatedLanguages(folder.path()),
             (QStringList{QStringLiteral("de"), QStringLiteral("en")}));
    QCOMPARE(translatedLanguages(folder.filePath(QStringLiteral("none"))), QStringList());
}

QTEST_GUILESS_MAIN(TestLanguageChoice)
#include "tst_languagechoice.moc"
