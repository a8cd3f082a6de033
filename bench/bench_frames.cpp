// Frame processing in the main window: a frame arriving through the port is
// decoded, calibrated, shown in the read-out list and the title, and moves the
// six meters (each redrawn). Runs crestdial's window on a temporary folder on
// the offscreen platform, fed through a fake port.
// Prints "<name>  median_ms=<value>", the median over several runs of the mean
// time per frame:
//   frame_process        the receive handler alone, frames back to back;
//   frame_process_paint  the handler and the repaint of the window it causes.

#include "core/Settings.h"
#include "editions/Editions.h"
#include "monitor/Logger.h"
#include "support/Fakes.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool writeFile(const QString &path, const std::string &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.data(), qint64(text.size())) == qint64(text.size());
}

// Frames that move every meter, as a gusty afternoon does.
std::vector<QByteArray> frames(int count)
{
    std::vector<QByteArray> out;
    out.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const double wind = 0.5 + 0.5 * std::sin(i / 37.0);
        char text[160];
        std::snprintf(text, sizeof text, "[<V>%.1f</V><I>%.0f</I><R>%.1f</R><M>%d</M><S>%.1f</S>]\r\n",
                      500 + 80 * wind, 512 + 300 * wind, 30 * wind, (i / 50) % 2, 25 * wind);
        out.emplace_back(text);
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    for (const char *sub : {"logs", "html", "Excel"})
        QDir(dir.path()).mkpath(QLatin1String(sub));
    if (!writeFile(dir.filePath("prog.cfg"), core::programSettingsText(core::defaultProgramSettings())) ||
        !writeFile(dir.filePath("settings.cfg"), core::calibrationSettingsText(core::defaultCalibrationSettings())))
        return 1;

    testsupport::FakeServices fakes(dir.path());
    monitor::Logger logger(fakes.services(), editions::crestdial());
    logger.show();
    QCoreApplication::processEvents();
    testsupport::FakeSerialPort *port = fakes.ports.empty() ? nullptr : fakes.ports.back();
    if (!port || !port->isOpen() || !fakes.messages.texts.isEmpty()) {
        std::fprintf(stderr, "the main window did not start cleanly\n");
        return 1;
    }

    const int count = 2000;
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 7;
    const std::vector<QByteArray> feed = frames(count);
    std::vector<double> process, paint;
    QElapsedTimer timer;
    // Shows zeros between runs, so the title tells that the frames got through.
    const QByteArray zeros = "[<V>0</V><I>512</I><R>0</R><M>0</M><S>0</S>]";
    for (int run = 0; run < runs; ++run) {
        port->feed(zeros);
        const QString before = logger.windowTitle();
        timer.start();
        for (const QByteArray &f : feed)
            port->feed(f);
        process.push_back(timer.nsecsElapsed() / 1e6 / count);
        QCoreApplication::processEvents();
        if (logger.windowTitle() == before) {
            std::fprintf(stderr, "frames were not shown\n");
            return 1;
        }

        port->feed(zeros);
        timer.start();
        for (const QByteArray &f : feed) {
            port->feed(f);
            QCoreApplication::processEvents();
        }
        paint.push_back(timer.nsecsElapsed() / 1e6 / count);
    }
    if (!logger.windowTitle().startsWith(QStringLiteral("Logger  "))) {
        std::fprintf(stderr, "unexpected title: %s\n", qPrintable(logger.windowTitle()));
        return 1;
    }
    std::printf("frame_process  median_ms=%.3f\n", median(process));
    std::printf("frame_process_paint  median_ms=%.3f\n", median(paint));
    return 0;
}
