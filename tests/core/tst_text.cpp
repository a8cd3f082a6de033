// SPDX-License-Identifier: GPL-3.0-or-later
// The shared text helpers: blank trimming, replace-all and splitting.

#include "core/Text.h"

#include <QtTest>

namespace {
std::string str(const QString &s) { return s.toStdString(); }
QString qs(std::string_view s) { return QString::fromStdString(std::string(s)); }
} // namespace

class TstText : public QObject {
    Q_OBJECT
private slots:
    // RFC 4648's own test vectors, and bytes above 127.
    void base64_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        for (const auto &[in, out] : {std::pair{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
                                      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
                                      {"\xc3\xa9\xff", "w6n/"}})
            QTest::newRow(out) << QByteArray(in) << QString(out);
    }
    void base64()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(core::base64(bytes.toStdString())), text);
    }

    void trimBlanks_data();
    void trimBlanks();
    void replaceAll_data();
    void replaceAll();
    void split_data();
    void split();
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

void TstText::split_data()
{
    // The separator, or "lines" for splitLines.
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QStringList>("pieces");
    QTest::newRow("CR LF: empty") << QByteArray() << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("CR LF: one line ended") << QByteArray("a\r\n") << QByteArray("\r\n") << QStringList{"a", ""};
    QTest::newRow("CR LF: two lines") << QByteArray("a\r\nb") << QByteArray("\r\n") << QStringList{"a", "b"};
    QTest::newRow("CR LF: empty line between") << QByteArray("a\r\n\r\nb\r\n") << QByteArray("\r\n") << QStringList{"a", "", "b", ""};
    QTest::newRow("CR LF: LF alone") << QByteArray("a\nb\n") << QByteArray("\r\n") << QStringList{"a\nb\n"};
    QTest::newRow("CR LF: CR alone") << QByteArray("a\rb") << QByteArray("\r\n") << QStringList{"a\rb"};
    QTest::newRow("CR LF: LF CR is no pair") << QByteArray("a\n\rb") << QByteArray("\r\n") << QStringList{"a\n\rb"};
    QTest::newRow("CR LF: CR CR LF") << QByteArray("a\r\r\nb") << QByteArray("\r\n") << QStringList{"a\r", "b"};
    QTest::newRow("fields: empty ones kept") << QByteArray(",a,,b,") << QByteArray(",") << QStringList{"", "a", "", "b", ""};
    QTest::newRow("lines: empty") << QByteArray() << QByteArray("lines") << QStringList();
    QTest::newRow("lines: LF and CR LF, none after the last end") << QByteArray("a\nb\r\n\n") << QByteArray("lines") << QStringList{"a", "b", ""};
    QTest::newRow("lines: last without an end") << QByteArray("a\r\nb") << QByteArray("lines") << QStringList{"a", "b"};
    QTest::newRow("lines: only the CR before LF goes") << QByteArray("a\r\r\nb\r") << QByteArray("lines") << QStringList{"a\r", "b"};
}

void TstText::split()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, separator);
    QFETCH(QStringList, pieces);
    const std::string_view t(text.constData(), size_t(text.size()));
    const auto got = separator == "lines" ? core::splitLines(t) : core::split(t, separator.toStdString());
    QStringList gotList;
    for (const auto p : got)
        gotList << QString::fromLatin1(p.data(), qsizetype(p.size()));
    QCOMPARE(gotList, pieces);
}

QTEST_APPLESS_MAIN(TstText)
#include "tst_text.moc"
