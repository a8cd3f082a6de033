// The shared text helpers: blank trimming and replace-all.

#include "core/Text.h"

#include <QtTest>

namespace {
std::string str(const QString &s) { return s.toStdString(); }
QString qs(std::string_view s) { return QString::fromStdString(std::string(s)); }
} // namespace

class TstText : public QObject {
    Q_OBJECT
private slots:
    void trimBlanks_data();
    void trimBlanks();
    void replaceAll_data();
    void replaceAll();
};

void TstText::trimBlanks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("blanks");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both ends") << "  12 " << " " << "12";
    QTest::newRow("inner blanks kept") << " 1 2 " << " " << "1 2";
    QTest::newRow("only blanks") << "   " << " " << "";
    QTest::newRow("empty") << "" << " " << "";
    QTest::newRow("tab is not a space") << "\t12 " << " " << "\t12";
    QTest::newRow("tabs when asked") << " \t12\t " << " \t" << "12";
}

void TstText::trimBlanks()
{
    QFETCH(QString, text);
    QFETCH(QString, blanks);
    QFETCH(QString, expected);
    const std::string t = str(text), b = str(blanks);
    QCOMPARE(qs(core::trimBlanks(t, b)), expected);
}

void TstText::replaceAll_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("with");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << "abc" << "x" << "y" << "abc";
    QTest::newRow("every occurrence") << "a.b.c." << "." << "--" << "a--b--c--";
    QTest::newRow("at both ends") << "xax" << "x" << "" << "a";
    QTest::newRow("left to right, no overlap") << "aaaa" << "aa" << "a" << "aa";
    QTest::newRow("put-in text not rescanned") << "<VV>" << "<VV>" << "<VV><VV>" << "<VV><VV>";
    QTest::newRow("empty find") << "abc" << "" << "z" << "abc";
    QTest::newRow("case-sensitive") << "<vv><VV>" << "<VV>" << "1" << "<vv>1";
}

void TstText::replaceAll()
{
    QFETCH(QString, text);
    QFETCH(QString, find);
    QFETCH(QString, with);
    QFETCH(QString, expected);
    QCOMPARE(qs(core::replaceAll(str(text), str(find), str(with))), expected);
}

QTEST_APPLESS_MAIN(TstText)
#include "tst_text.moc"
