// SPDX-License-Identifier: GPL-3.0-or-later
// The command line and the order in which the program folder is chosen.

#include "core/CommandLine.h"

#include <QtTest>

using Action = core::CommandLine::Action;
using core::FolderKind;

Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(core::FolderKind)

class TstCommandLine : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void chooseFolder_data();
    void chooseFolder();
};

void TstCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("problem");
    QTest::newRow("none") << QStringList{} << Action::Run << "" << "";
    QTest::newRow("folder") << QStringList{"--folder", "/srv/mill"} << Action::Run << "/srv/mill" << "";
    QTest::newRow("folder=") << QStringList{"--folder=rel/dir"} << Action::Run << "rel/dir" << "";
    QTest::newRow("folder with a blank") << QStringList{"--folder", "my mill"} << Action::Run << "my mill" << "";
    QTest::newRow("folder named like an option") << QStringList{"--folder", "--help"} << Action::Run << "--help" << "";
    QTest::newRow("help") << QStringList{"--help"} << Action::Help << "" << "";
    QTest::newRow("-h with folder") << QStringList{"--folder", "/x", "-h"} << Action::Help << "/x" << "";
    QTest::newRow("help before version") << QStringList{"--version", "--help"} << Action::Help << "" << "";
    QTest::newRow("version") << QStringList{"--version"} << Action::Version << "" << "";
    QTest::newRow("folder without value") << QStringList{"--folder"} << Action::Wrong << "" << "--folder needs a folder";
    QTest::newRow("folder= empty") << QStringList{"--folder="} << Action::Wrong << "" << "--folder needs a folder";
    QTest::newRow("folder twice") << QStringList{"--folder", "a", "--folder=b"} << Action::Wrong << ""
                                  << "--folder is given more than once";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << Action::Wrong << "" << "unknown option '--bogus'";
    QTest::newRow("unknown beats help") << QStringList{"--help", "-x"} << Action::Wrong << "" << "unknown option '-x'";
    QTest::newRow("prefix of folder") << QStringList{"--folders", "a"} << Action::Wrong << ""
                                      << "unknown option '--folders'";
    QTest::newRow("argument") << QStringList{"mill"} << Action::Wrong << "" << "unexpected argument 'mill'";
    QTest::newRow("report powercurve") << QStringList{"--report", "powercurve", "--folder", "/x"} << Action::Report
                                       << "/x" << "";
    QTest::newRow("report curve FILE") << QStringList{"--report", "curve", "maker.csv"} << Action::Report << ""
                                       << "";
    QTest::newRow("report curve, no FILE") << QStringList{"--report", "curve", "--folder", "/x"} << Action::Wrong
                                           << "" << "--report curve needs a FILE";
    QTest::newRow("report wind") << QStringList{"--report", "wind"} << Action::Report << "" << "";
    QTest::newRow("report energy") << QStringList{"--report", "energy"} << Action::Report << "" << "";
    QTest::newRow("report availability") << QStringList{"--report", "availability"} << Action::Report << "" << "";
    QTest::newRow("report of something else") << QStringList{"--report", "weather"} << Action::Wrong << ""
                                              << "--report needs powercurve, wind, energy, availability, or curve and a FILE, not 'weather'";
    QTest::newRow("report and export") << QStringList{"--report", "powercurve", "--export", "2026-01-01",
                                                      "2026-01-02"}
                                       << Action::Wrong << "" << "--report and --export exclude each other";
    QTest::newRow("set web password") << QStringList{"--set-web-password", "--folder", "/x"} << Action::SetWebPassword
                                      << "/x" << "";
    QTest::newRow("web network on") << QStringList{"--web-network", "on"} << Action::WebNetwork << "" << "";
    QTest::newRow("backup") << QStringList{"--backup", "/media/usb stick", "--folder", "/srv/mill"} << Action::Backup
                            << "/srv/mill" << "";
    QTest::newRow("restore") << QStringList{"--restore", "D:\\veldra-backup-20261210-030000"} << Action::Restore << "" << "";
    QTest::newRow("backup, no folder") << QStringList{"--backup", "--folder", "/x"} << Action::Wrong << ""
                                       << "--backup needs the folder to put the backup in";
    QTest::newRow("backup and restore") << QStringList{"--backup", "a", "--restore", "b"} << Action::Wrong << ""
                                        << "--backup and --restore exclude each other";
    QTest::newRow("web network, no value") << QStringList{"--web-network", "--folder", "/x"} << Action::Wrong << ""
                                           << "--web-network needs on or off";
    QTest::newRow("web network yes") << QStringList{"--web-network", "yes"} << Action::Wrong << ""
                                     << "--web-network needs on or off";
    QTest::newRow("password and network") << QStringList{"--set-web-password", "--web-network", "off"}
                                          << Action::Wrong << "" << "--set-web-password and --web-network exclude each other";
    QTest::newRow("password twice") << QStringList{"--set-web-password", "--set-web-password"} << Action::Wrong << ""
                                    << "--set-web-password is given more than once";
    QTest::newRow("help beats password") << QStringList{"--set-web-password", "--help"} << Action::Help << "" << "";
}

void TstCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(Action, action);
    QFETCH(QString, folder);
    QFETCH(QString, problem);
    std::vector<std::string> list;
    for (const QString &a : args)
        list.push_back(a.toStdString());
    const core::CommandLine line = core::parseCommandLine(list);
    QCOMPARE(line.action, action);
    QCOMPARE(QString::fromStdString(line.problem), problem);
    if (action != Action::Wrong)
        QCOMPARE(QString::fromStdString(line.folder), folder);
    if (action == Action::Report)
        QCOMPARE(QString::fromStdString(line.report == "curve" ? line.reportFile : line.report),
                 args.at(1) == "curve" ? args.at(2) : args.at(1));
}

void TstCommandLine::chooseFolder_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("own");
    QTest::addColumn<bool>("shareBeside");
    QTest::addColumn<FolderKind>("kind");
    QTest::addColumn<QString>("path");
    const QString data = "/home/ann/.local/share/veldra";
    QTest::newRow("given beats installed") << "/srv/mill" << "/usr/bin" << true << FolderKind::Given << "/srv/mill";
    QTest::newRow("given beats own") << "/srv/mill" << "/opt/mill" << false << FolderKind::Given << "/srv/mill";
    QTest::newRow("installed") << "" << "/usr/bin" << true << FolderKind::UserData << data;
    QTest::newRow("installed, trailing slash") << "" << "/opt/v/bin/" << true << FolderKind::UserData << data;
    QTest::newRow("bin without share") << "" << "/home/ann/build/bin" << false << FolderKind::Own
                                       << "/home/ann/build/bin";
    QTest::newRow("share beside, not bin") << "" << "/opt/v/sbin" << true << FolderKind::Own << "/opt/v/sbin";
    QTest::newRow("share beside a binary folder") << "" << "/opt/v/cabin" << true << FolderKind::Own
                                                  << "/opt/v/cabin";
    QTest::newRow("own folder") << "" << "/home/ann/mill" << false << FolderKind::Own << "/home/ann/mill";
}

void TstCommandLine::chooseFolder()
{
    QFETCH(QString, given);
    QFETCH(QString, own);
    QFETCH(bool, shareBeside);
    QFETCH(FolderKind, kind);
    QFETCH(QString, path);
    const core::FolderChoice choice = core::chooseProgramFolder(given.toStdString(), own.toStdString(),
                                                                shareBeside, "/home/ann/.local/share/veldra");
    QCOMPARE(choice.kind, kind);
    QCOMPARE(QString::fromStdString(choice.path), path);
}

QTEST_APPLESS_MAIN(TstCommandLine)
#include "tst_commandline.moc"
