// SPDX-License-Identifier: GPL-3.0-or-later
// powercurveview: shows the power curve page of a program folder's archive
// on its own, for looking at a curve and for the manual's picture. It never
// writes the curve.
//
//   powercurveview --folder DIR [--shot FILE.png]

#include "history/PowerCurvePage.h"
#include "ui/Clock.h"
#include "ui/ProgramFolder.h"
#include "ui/QtServices.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QString folder, shot;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--folder") && i + 1 < args.size())
            folder = args[++i];
        else if (args[i] == QLatin1String("--shot") && i + 1 < args.size())
            shot = args[++i];
        else {
            std::fprintf(stderr, "usage: powercurveview --folder DIR [--shot FILE.png]\n");
            return 2;
        }
    }
    if (folder.isEmpty()) {
        std::fprintf(stderr, "usage: powercurveview --folder DIR [--shot FILE.png]\n");
        return 2;
    }

    ui::SystemClock clock;
    ui::QtMessageService messages;
    ui::QtModalRunner modal;
    ui::QtFileChooser files;
    ui::Services services;
    services.programFolder = folder;
    services.clock = &clock;
    services.files = &files;
    services.messages = &messages;
    services.modal = &modal;

    ui::ProgramFolder programFolder(folder);
    history::PowerCurvePage page(services, QString::fromLocal8Bit(programFolder.programSettings().WSUnits.c_str()));
    page.resize(900, 700);
    page.show();
    if (!shot.isEmpty()) {
        QTimer::singleShot(300, &page, [&] {
            const bool saved = page.grab().save(shot);
            std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(shot));
            app.exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
