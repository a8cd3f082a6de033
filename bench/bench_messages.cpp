// SPDX-License-Identifier: GPL-3.0-or-later
// Sending messages never stalls the program's own thread: the longest
// lateness of a 2 ms timer on this thread over 4 s, first with the messenger
// idle (the baseline), then while 40 alarm changes go to three channels whose
// servers hang (they take the connection and never answer: an SMTP server
// with STARTTLS, an HTTPS one, and a second mail server), so every message
// waits in the outbox and is appended there on this thread. 5 runs of each,
// medians; the target is the hanging case's.
#include "publish/Messenger.h"
#include "support/TestSupport.h"

#include "Median.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdio>
#include <vector>

namespace {

// A server that takes connections and says nothing.
struct Silent {
    int fd = -1, port = 0;
    Silent()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(fd, 64);
        socklen_t n = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &n);
        port = ntohs(a.sin_port);
    }
    ~Silent() { ::close(fd); }
};

// The longest lateness of a 2 ms timer over `seconds`, while `during` runs
// at the start.
double longestStall(double seconds, const std::function<void()> &during)
{
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(2);
    double worst = 0;
    qint64 last = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last)
            worst = std::max(worst, (now - last) / 1e6 - 2);
        last = now;
    });
    clock.start();
    tick.start();
    QTimer::singleShot(0, during);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    return worst;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Silent smtp, https, smtp2;
    std::vector<double> idle, hanging;
    for (int run = 0; run < 5; ++run) {
        testsupport::ProgramFolder folder;
        core::MessageSettings s;
        s.on = true;
        s.holdOff = "0";
        core::MessageChannel mail;
        mail.name = "Mail";
        mail.server = "127.0.0.1";
        mail.port = std::to_string(smtp.port);
        mail.from = "turbine@example.org";
        mail.to = "owner@example.org";
        core::MessageChannel mail2 = mail;
        mail2.name = "Mail 2";
        mail2.port = std::to_string(smtp2.port);
        core::MessageChannel push;
        push.kind = "ntfy";
        push.name = "Push";
        push.url = "https://127.0.0.1:" + std::to_string(https.port) + "/barn";
        s.channels = {mail, push, mail2};
        folder.write("messages.cfg", QByteArray::fromStdString(core::messageSettingsText(s)));
        testsupport::FakeServices fake(folder.path());
        fake.clock.set(QDateTime::currentDateTime());
        publish::Messenger messenger(fake.services());
        messenger.loadSettings();

        idle.push_back(longestStall(4, [] {}));
        hanging.push_back(longestStall(4, [&] {
            for (int i = 0; i < 40; ++i)
                messenger.alarm(QStringLiteral("battery_low"), QStringLiteral("Battery low"), i % 2 == 0,
                                QStringLiteral("11.9 V since 14:05:09"));
        }));
        std::fprintf(stderr, "run %d: idle %.2f ms, servers hanging %.2f ms, %lld waiting\n", run + 1, idle.back(),
                     hanging.back(), messenger.counts().waiting);
    }
    std::printf("messages_idle_stall  median_ms=%.2f\n", median(idle));
    std::printf("messages_hanging_server_stall  median_ms=%.2f\n", median(hanging));
    // The sender's transfers end with the messenger (its stop flag), not after their time-out.
    return 0;
}
