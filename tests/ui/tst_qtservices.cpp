// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop's questions: No unless the user picks Yes.
#include "ui/QtServices.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestQtServices : public QObject {
    Q_OBJECT
private slots:
    void askIsNoUnlessYes_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<bool>("yes");
        QTest::newRow("Enter takes the default") << "Enter" << false;
        QTest::newRow("Escape") << "Escape" << false;
        QTest::newRow("No") << "No" << false;
        QTest::newRow("Yes") << "Yes" << true;
    }
    void askIsNoUnlessYes()
    {
        QFETCH(QString, press);
        QFETCH(bool, yes);
        QWidget window;
        QObject owner(&window); // not a widget: the box goes over its window
        QString caption, text;
        QWidget *over = nullptr;
        // Answers the box as soon as it is up.
        QTimer answer;
        answer.setInterval(10);
        connect(&answer, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            caption = box->windowTitle();
            text = box->text();
            over = box->parentWidget();
            if (press == "Enter")
                QTest::keyClick(box, Qt::Key_Return);
            else if (press == "Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(press == "Yes" ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        answer.start();
        ui::QtMessageService messages;
        QCOMPARE(messages.ask(&owner, "Start again?"), yes);
        QCOMPARE(caption, ui::programTitle());
        QCOMPARE(text, QString("Start again?"));
        QCOMPARE(over, &window);
    }
};

QTEST_MAIN(TestQtServices)
#include "tst_qtservices.moc"
