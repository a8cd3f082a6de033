#include "Program.h"

#include "Logger.h"
#include "core/Number.h"
#include "ui/QtSerialPortControl.h"

#include <QApplication>
#include <QLocale>
#include <csignal>

namespace monitor {

int runProgram(int argc, char **argv, const Edition &edition)
{
#ifdef SIGXFSZ
    // A write past the file-size limit must fail like a full disk, which the
    // writers report, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    app.setApplicationName(edition.name);

    // Numbers are written with the user's regional decimal separator where
    // the files can hold it.
    core::setDecimalSeparator(core::decimalSeparatorFor(QLocale::system().decimalPoint().toStdString()));

    ui::SystemClock clock;
    ui::QtMessageService messages;
    ui::QtModalRunner modal;
    ui::Services services;
    services.programFolder = QCoreApplication::applicationDirPath();
    services.clock = &clock;
    services.messages = &messages;
    services.modal = &modal;
    services.makePort = [folder = services.programFolder]() {
        return std::unique_ptr<ui::SerialPort>(new ui::QtSerialPortControl(folder));
    };

    Logger logger(services, edition);
    logger.show();
    return app.exec();
}

} // namespace monitor
