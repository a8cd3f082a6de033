// SPDX-License-Identifier: GPL-3.0-or-later
// veldra-simunit: a simulated monitoring unit. It sends frames on a pseudo-terminal
// at the pace of a 4800 baud line and links the terminal as COM<n> in a
// program folder, so the programs can be run without the turbine.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// 8N1: a start bit, 8 data bits and a stop bit per byte.
constexpr double kByteSeconds = 10.0 / 4800.0;
// Unread input beyond about a second of line time means no one is reading;
// it is dropped, as a real line would have, so a reopened port gets fresh data.
constexpr int kStaleBytes = 480;

volatile std::sig_atomic_t g_stop = 0;
void onStopSignal(int) { g_stop = 1; }

const char kUsage[] = "usage: veldra-simunit --folder DIR [options]\n"
                      "Simulates the turbine monitoring unit on a pseudo-terminal linked as\n"
                      "DIR/COM<n>, sending frames at the pace of a 4800 baud 8N1 line.\n"
                      "  --folder DIR     program folder that gets the COM<n> link (required)\n"
                      "  --port N         port number of the link (default 1)\n"
                      "  --rate R         frames per second, fractional allowed, or 'max' to\n"
                      "                   send back-to-back (default 2)\n"
                      "  --seconds S      stop after S seconds (default: run until interrupted)\n"
                      "  --count N        stop after N frames\n"
                      "  --replay FILE    send the lines of FILE in a loop instead of generated frames\n"
                      "  --curve FILE     deterministic power curve: FILE holds lines 'wind watts\n"
                      "                   [rpm]' (blanks or commas between, '#' starts a comment),\n"
                      "                   wind in the program's wind unit (WSUnits), rising. The\n"
                      "                   wind sweeps from the lowest to the highest wind of the\n"
                      "                   table and back, in 0.1 steps, and each frame carries the\n"
                      "                   table's watts (and RPM) at its wind, interpolated\n"
                      "                   linearly, at 13 V, as raw counts for the delivered\n"
                      "                   settings.cfg. Frames depend on their number only, so\n"
                      "                   every rate sends the same sequence\n"
                      "  --sweep N        frames for one sweep up and down with --curve (default:\n"
                      "                   5 frames for each 0.1 of wind each way)\n"
                      "  --hold S         with --curve: hold each of the table's winds in turn\n"
                      "                   for S seconds instead of sweeping, changing on whole\n"
                      "                   multiples of S of the clock (with 60 each clock minute\n"
                      "                   has one wind: minute m holds row m modulo the rows)\n"
                      "  --faults         mix in split frames, junk bytes, stray ']', bad fields\n"
                      "                   and lowercase tags\n"
                      "  --seed N         seed of the random generator\n"
                      "  --quiet          do not print each frame\n"
                      "  --help           show this text\n";

struct Options {
    std::string folder;
    int port = 1;
    double rate = 2;     // 0 means back-to-back
    double seconds = 0;  // 0 means forever
    long long count = 0; // 0 means no limit
    std::string replay;
    std::string curve;
    long long sweep = 0; // 0 means 5 frames a step
    double hold = 0;     // seconds a wind is held; 0 sweeps
    bool faults = false;
    bool quiet = false;
    unsigned long long seed = std::random_device{}();
};

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "veldra-simunit: %s\n", message.c_str());
    std::exit(2);
}

double toNumber(const std::string &option, const std::string &text, double min, double max)
{
    char *end = nullptr;
    errno = 0;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < min || value > max)
        fail("bad value for " + option + ": '" + text + "'");
    return value;
}

long long toInteger(const std::string &option, const std::string &text, long long min, long long max)
{
    double value = toNumber(option, text, double(min), double(max));
    if (value != std::floor(value))
        fail("bad value for " + option + ": '" + text + "'");
    return static_cast<long long>(value);
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i], value;
        bool hasValue = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            hasValue = true;
        }
        auto next = [&]() -> std::string {
            if (hasValue)
                return value;
            if (i + 1 >= argc)
                fail(name + " needs a value");
            return argv[++i];
        };
        if (name == "--help" || name == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (name == "--folder")
            o.folder = next();
        else if (name == "--port")
            o.port = int(toInteger(name, next(), 1, 256));
        else if (name == "--rate") {
            std::string r = next();
            o.rate = r == "max" ? 0 : toNumber(name, r, 1e-3, 1000);
        } else if (name == "--seconds")
            o.seconds = toNumber(name, next(), 1e-3, 1e9);
        else if (name == "--count")
            o.count = toInteger(name, next(), 1, 1LL << 52);
        else if (name == "--replay")
            o.replay = next();
        else if (name == "--curve")
            o.curve = next();
        else if (name == "--sweep")
            o.sweep = toInteger(name, next(), 2, 1LL << 40);
        else if (name == "--hold")
            o.hold = toNumber(name, next(), 1, 86400);
        else if (name == "--seed")
            o.seed = (unsigned long long)toInteger(name, next(), 0, 1LL << 52);
        else if (name == "--faults")
            o.faults = true;
        else if (name == "--quiet")
            o.quiet = true;
        else
            fail("unknown option '" + name + "' (see --help)");
    }
    if (o.folder.empty())
        fail("--folder is required (see --help)");
    if (!o.replay.empty() && !o.curve.empty())
        fail("--replay and --curve exclude each other");
    if (o.hold > 0 && o.curve.empty())
        fail("--hold goes with --curve");
    return o;
}

// The slave side of a pseudo-terminal, as seen by the programs through the link.
class Line {
public:
    explicit Line(const Options &o)
    {
        struct stat st { };
        if (stat(o.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            fail("no such folder: " + o.folder);
        if (openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
            fail(std::string("openpty: ") + std::strerror(errno));
        char name[256];
        if (ttyname_r(m_slave, name, sizeof name) != 0)
            fail("cannot name the pseudo-terminal");
        m_device = name;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        fcntl(m_master, F_SETFD, FD_CLOEXEC);
        fcntl(m_slave, F_SETFD, FD_CLOEXEC);

        termios t{};
        tcgetattr(m_slave, &t);
        cfmakeraw(&t);
        t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
        t.c_cflag |= CS8 | CLOCAL | CREAD;
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        cfsetispeed(&t, B4800);
        cfsetospeed(&t, B4800);
        tcsetattr(m_slave, TCSANOW, &t);

        // The slave stays open here: the port then survives the programs
        // closing and reopening it, and writes never meet a hung-up terminal.
        m_link = o.folder + "/COM" + std::to_string(o.port);
        if (lstat(m_link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
            fail(m_link + " exists and is not a link; not replacing it");
        std::string tmp = m_link + ".simunit." + std::to_string(getpid());
        unlink(tmp.c_str());
        if (symlink(m_device.c_str(), tmp.c_str()) != 0 || rename(tmp.c_str(), m_link.c_str()) != 0) {
            unlink(tmp.c_str());
            fail("cannot link " + m_link + ": " + std::strerror(errno));
        }
    }

    ~Line()
    {
        // Leave a link that another instance has taken over alone.
        char target[256];
        ssize_t n = readlink(m_link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == m_device)
            unlink(m_link.c_str());
        close(m_master);
        close(m_slave);
    }

    const std::string &link() const { return m_link; }
    const std::string &device() const { return m_device; }

    // Sleeps until the deadline, reading away whatever the other side sends
    // (echoes, commands) so it cannot back up.
    void waitUntil(Clock::time_point deadline)
    {
        char sink[512];
        while (!g_stop) {
            auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return;
            // Short slices keep a signal that lands just before poll from
            // holding us up for a whole frame period.
            double s = std::min(Seconds(left).count(), 0.25);
            pollfd p{m_master, POLLIN, 0};
            int r = poll(&p, 1, int(std::ceil(s * 1000)));
            if (r > 0 && (p.revents & POLLIN) && read(m_master, sink, sizeof sink) > 0)
                continue;
            if (r != 0 && !(r < 0 && errno == EINTR)) {
                // Hung up or failing: plain sleep, never spin on poll.
                timespec ts{time_t(s), long((s - std::floor(s)) * 1e9)};
                nanosleep(&ts, nullptr);
            }
        }
    }

    // Drops input that has sat unread for about a second of line time.
    void dropStaleInput()
    {
        int queued = 0;
        if (ioctl(m_slave, FIONREAD, &queued) == 0 && queued > kStaleBytes)
            tcflush(m_slave, TCIFLUSH);
    }

    // Sends one chunk after `pause` seconds, handing it over when its last byte
    // would have arrived on the line. False when it could not all be written.
    bool send(const std::string &bytes, double pause)
    {
        auto start = std::max(m_free, Clock::now()) + std::chrono::duration_cast<Clock::duration>(Seconds(pause));
        m_free = start + std::chrono::duration_cast<Clock::duration>(Seconds(bytes.size() * kByteSeconds));
        waitUntil(m_free);
        size_t done = 0;
        bool flushed = false;
        while (done < bytes.size() && !g_stop) {
            ssize_t n = write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += size_t(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else if (n < 0 && errno == EAGAIN && !flushed) {
                // The queue is full, so no one is reading: make room once.
                tcflush(m_slave, TCIFLUSH);
                flushed = true;
            } else
                return false; // dropped; the pacing above already slept
        }
        return done == bytes.size();
    }

    Clock::time_point freeAt() const { return m_free; }

private:
    int m_master = -1, m_slave = -1;
    std::string m_device, m_link;
    Clock::time_point m_free = Clock::now();
};

// A small turbine charging a battery. Values in engineering units.
class Turbine {
public:
    explicit Turbine(std::mt19937_64 &rng) : m_rng(rng)
    {
        m_wind = m_mean = uniform(4, 15);
        m_charge = uniform(0.4, 0.7);
        m_nextSwitch = uniform(40, 100);
        // Let the rotor and battery settle so the first frame is already plausible.
        for (int i = 0; i < 30; ++i)
            step(1.0);
    }

    void step(double dt)
    {
        m_time += dt;
        // Wind: a slow random walk around a mean that itself drifts, plus gusts.
        m_mean = std::clamp(m_mean + std::sqrt(dt) * 0.3 * normal(), 2.0, 30.0);
        m_wind += dt * 0.05 * (m_mean - m_wind) + std::sqrt(dt) * 0.6 * normal();
        m_wind = std::clamp(m_wind, 0.0, 40.0);
        if (uniform(0, 1) < dt / 25)
            m_gust += uniform(4, 12);
        m_gust *= std::exp(-dt / 4);
        wind = std::clamp(m_wind + m_gust, 0.0, 40.0);

        // Rotor: idle below cut-in (with a little hysteresis), then towards ~600 RPM.
        double cutIn = rpm > 0 ? 4.5 : 5.0;
        double target = wind < cutIn ? 0 : 620 * (1 - std::exp(-(wind - cutIn) / 10));
        rpm += (target - rpm) * (1 - std::exp(-dt / 3));
        if (target == 0 && rpm < 15)
            rpm = 0;

        // Charge: starts once the alternator beats the battery, tapers when full.
        double amps = rpm < 90 ? 0 : 25 * std::pow(std::min(1.0, (rpm - 90) / 500), 1.4);
        if (m_charge > 0.85)
            amps *= std::max(0.1, (1 - m_charge) / 0.15);
        current = std::clamp(amps, 0.0, 25.0);

        // Load: switched on and off about once a minute.
        if (m_time >= m_nextSwitch) {
            load = !load;
            m_nextSwitch = m_time + uniform(40, 90);
        }
        double drawn = load ? 8.0 : 0.3;
        m_charge = std::clamp(m_charge + (current - drawn) * dt / (40 * 3600.0), 0.0, 1.0);
        volts = 11.9 + 0.9 * m_charge + 0.07 * current - (load ? 0.35 : 0) + 0.01 * normal();
        volts = std::clamp(volts, 11.8, 14.4);
    }

    double wind = 0, rpm = 0, current = 0, volts = 12.6;
    bool load = false;

private:
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(m_rng); }
    double normal() { return std::normal_distribution<double>(0, 1)(m_rng); }

    std::mt19937_64 &m_rng;
    double m_time = 0, m_mean = 0, m_wind = 0, m_gust = 0, m_charge = 0, m_nextSwitch = 0;
};

struct Field {
    std::string tag, value;
};

// Raw counts for the default calibration (settings.cfg): VoltDivider 40.96,
// VoltOffset 512, AmpDivider 10, RPMDivider 2, WSDivider 1.6.
std::vector<Field> rawFields(const Turbine &t)
{
    auto count = [](double v) { return std::to_string(std::lround(v)); };
    return {{"V", count(t.volts * 40.96)},
            {"I", count(512 + t.current * 10)},
            {"R", count(t.rpm / 60 * 2)},
            {"M", t.load ? "1" : "0"},
            {"S", count(t.wind * 1.6)}};
}

std::string frameText(const std::vector<Field> &fields)
{
    std::string s = "[";
    for (const Field &f : fields)
        s += "<" + f.tag + ">" + f.value + "</" + f.tag + ">";
    return s + "]\r\n";
}

struct Chunk {
    std::string bytes;
    double pause = 0; // seconds of silence before it
};

struct Shaped {
    std::vector<Chunk> chunks;
    std::string fault; // empty when delivered as is
};

// Spoils the fields of a generated frame now and then.
const char *spoilFields(std::vector<Field> &fields, std::mt19937_64 &rng)
{
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    if (pick(8) != 0)
        return nullptr;
    Field &f = fields[pick(fields.size())];
    switch (pick(3)) {
    case 0: f.value = ""; return "empty field";
    case 1: f.value = std::vector<std::string>{"abc", "1O2", "x", "-"}[pick(4)]; return "letters in field";
    default: f.tag[0] = char(std::tolower(f.tag[0])); return "lowercase tag";
    }
}

// Breaks up the delivery of a frame now and then.
Shaped shapeDelivery(const std::string &frame, std::mt19937_64 &rng)
{
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    auto junk = [&](size_t n) {
        static const char kJunk[] = "\x00\x7f\xff\x13 ~#@0Z\r\n"; // no brackets: only noise
        std::string s;
        while (n--)
            s += kJunk[pick(sizeof kJunk - 1)];
        return s;
    };
    switch (pick(12)) {
    case 0: {
        Shaped out{{}, "split"};
        // Each later piece follows a pause of 5 to 60 ms.
        size_t pieces = 2 + pick(3), at = 0;
        for (size_t i = 0; i < pieces && at < frame.size(); ++i) {
            size_t len = i + 1 == pieces ? frame.size() - at : 1 + pick(frame.size() - at);
            out.chunks.push_back({frame.substr(at, len), i ? 0.005 + 0.005 * double(pick(12)) : 0});
            at += len;
        }
        return out;
    }
    case 1: return {{{junk(1 + pick(8)) + frame, 0}}, "junk"};
    case 2: return {{{"5</S>]" + frame, 0}}, "stray ]"};
    default: return {{{frame, 0}}, ""};
    }
}

// A power curve table: watts (and RPM) against wind, read from a file.
class CurveTable {
public:
    struct Row {
        double wind, watts, rpm;
    };

    explicit CurveTable(const std::string &path)
    {
        std::ifstream in(path);
        if (!in)
            fail("cannot read curve file " + path + ": " + std::strerror(errno));
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            line = line.substr(0, line.find('#'));
            std::replace(line.begin(), line.end(), ',', ' ');
            std::vector<double> values;
            size_t at = 0;
            while (at < line.size()) {
                at = line.find_first_not_of(" \t\r", at);
                if (at == std::string::npos)
                    break;
                size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
                values.push_back(
                    toNumber("curve file line " + std::to_string(number), line.substr(at, end - at), -1e6, 1e6));
                at = end;
            }
            if (values.empty())
                continue;
            if (values.size() < 2 || values.size() > 3)
                fail("curve file line " + std::to_string(number) + ": needs wind, watts and optionally rpm");
            if (values[0] < 0 || (!m_rows.empty() && values[0] <= m_rows.back().wind))
                fail("curve file line " + std::to_string(number) + ": winds must rise from 0 or more");
            if (values.size() == 3 && values[2] < 0)
                fail("curve file line " + std::to_string(number) + ": rpm below 0");
            m_hasRPM = m_rows.empty() ? values.size() == 3 : m_hasRPM && values.size() == 3;
            m_rows.push_back({values[0], values[1], values.size() == 3 ? values[2] : 0});
        }
        if (m_rows.size() < 2)
            fail("curve file " + path + " needs at least two lines");
    }

    double low() const { return m_rows.front().wind; }
    size_t size() const { return m_rows.size(); }
    const Row &row(size_t i) const { return m_rows[i]; }
    double high() const { return m_rows.back().wind; }
    bool hasRPM() const { return m_hasRPM; }
    // Linear between the rows, the end rows' values beyond them.
    Row at(double wind) const
    {
        if (wind <= low())
            return {wind, m_rows.front().watts, m_rows.front().rpm};
        for (size_t i = 1; i < m_rows.size(); ++i)
            if (wind <= m_rows[i].wind) {
                const Row &a = m_rows[i - 1], &b = m_rows[i];
                double f = (wind - a.wind) / (b.wind - a.wind);
                return {wind, a.watts + f * (b.watts - a.watts), a.rpm + f * (b.rpm - a.rpm)};
            }
        return {wind, m_rows.back().watts, m_rows.back().rpm};
    }

private:
    std::vector<Row> m_rows;
    bool m_hasRPM = false;
};

// A frame of the table's row r as raw counts.
std::string rowFrame(const CurveTable &table, const CurveTable::Row &r);

// Frame n of the sweep: the wind goes up and back down through the table's
// range in whole tenths, as the program rounds the wind to one decimal.
std::string curveFrame(const CurveTable &table, long long n, long long sweep)
{
    const long long lo = std::llround(std::ceil(table.low() * 10 - 1e-9));
    const long long hi = std::llround(std::floor(table.high() * 10 + 1e-9));
    const long long steps = std::max(1LL, hi - lo);
    const long long period = sweep > 0 ? sweep : 10 * steps;
    const long long phase = n % period;
    // 0 .. 2 steps and back over the period.
    const double position = double(phase) * 2 * double(steps) / double(period);
    const long long step = std::min(
        steps, std::llround(std::floor(position <= double(steps) ? position : 2 * double(steps) - position)));
    return rowFrame(table, table.at(double(lo + step) / 10));
}

// The frame of the row held at the wall clock's `unixSeconds`.
std::string heldFrame(const CurveTable &table, double hold, double unixSeconds)
{
    const auto slot = static_cast<long long>(std::floor(unixSeconds / hold));
    return rowFrame(table, table.row(size_t(slot % static_cast<long long>(table.size()))));
}

std::string rowFrame(const CurveTable &table, const CurveTable::Row &r)
{
    const double wind = r.wind;
    // Raw counts with decimals for the delivered calibration: 13 V exactly,
    // amps to the hundredth, so the watts come out within 0.07 W.
    // RPMDivider 2: raw pulses a second are RPM / 30.
    char amps[32], rpm[48] = "", speed[32];
    std::snprintf(amps, sizeof amps, "%.2f", 512 + r.watts / 13 * 10);
    if (table.hasRPM())
        std::snprintf(rpm, sizeof rpm, "<R>%.4f</R>", r.rpm / 30);
    std::snprintf(speed, sizeof speed, "%.2f", wind * 1.6);
    return std::string("[<V>532.48</V><I>") + amps + "</I>" + rpm + "<M>0</M><S>" + speed + "</S>]\r\n";
}

std::vector<std::string> loadReplay(const std::string &path)
{
    struct stat st { };
    if (stat(path.c_str(), &st) != 0)
        fail("cannot read replay file " + path + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        fail("replay file " + path + " is not a regular file");
    if (st.st_size > (64 << 20))
        fail("replay file " + path + " is larger than 64 MB");
    std::ifstream in(path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        fail("cannot read replay file " + path);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < all.size()) {
        size_t end = std::min(all.find('\n', at), all.size());
        std::string line = all.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line + "\r\n");
        at = end + 1;
    }
    if (lines.empty())
        fail("replay file " + path + " has no lines");
    return lines;
}

// The frame as readable text without its line end: other control and high
// bytes as \xNN.
std::string printable(std::string s)
{
    if (s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0)
        s.resize(s.size() - 2);
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c < 127)
            out += char(c);
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out;
}

void installSignals()
{
    struct sigaction sa { };
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &sa, nullptr); // no SA_RESTART: waits end early
    signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char **argv)
{
    Options o = parseOptions(argc, argv);
    std::vector<std::string> replay;
    if (!o.replay.empty())
        replay = loadReplay(o.replay);
    std::unique_ptr<CurveTable> curve;
    if (!o.curve.empty())
        curve = std::make_unique<CurveTable>(o.curve);
    installSignals();
    setvbuf(stdout, nullptr, _IOLBF, 0);

    std::mt19937_64 rng(o.seed);
    Line line(o);
    Turbine turbine(rng);
    std::printf("%s -> %s\n", line.link().c_str(), line.device().c_str());

    const auto begin = Clock::now();
    const auto end = o.seconds > 0 ? begin + std::chrono::duration_cast<Clock::duration>(Seconds(o.seconds))
                                   : Clock::time_point::max();
    const auto period = std::chrono::duration_cast<Clock::duration>(Seconds(o.rate > 0 ? 1 / o.rate : 0));
    auto due = begin, last = begin;
    long long sent = 0;

    while (!g_stop && (o.count == 0 || sent < o.count)) {
        line.waitUntil(std::min(due, end));
        if (g_stop || Clock::now() >= end)
            break;

        auto now = Clock::now();
        std::string frame;
        std::string fault;
        if (!replay.empty()) {
            frame = replay[size_t(sent % (long long)replay.size())];
        } else if (curve) {
            frame = o.hold > 0 ? heldFrame(*curve, o.hold,
                                           std::chrono::duration<double>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count())
                               : curveFrame(*curve, sent, o.sweep);
        } else {
            turbine.step(std::min(Seconds(now - last).count(), 5.0));
            auto fields = rawFields(turbine);
            if (const char *spoilt = o.faults ? spoilFields(fields, rng) : nullptr)
                fault = spoilt;
            frame = frameText(fields);
        }
        last = now;
        Shaped shaped = o.faults ? shapeDelivery(frame, rng) : Shaped{{{frame, 0}}, ""};
        if (!shaped.fault.empty())
            fault += (fault.empty() ? "" : ", ") + shaped.fault;

        line.dropStaleInput();
        for (const Chunk &c : shaped.chunks)
            if (!line.send(c.bytes, c.pause))
                break; // no reader room; the next frame tries again
        ++sent;
        if (!o.quiet) {
            std::string text;
            for (const Chunk &c : shaped.chunks)
                text += c.bytes;
            if (!fault.empty())
                fault = "  # " + fault;
            std::printf("%lld %s%s\n", sent, printable(text).c_str(), fault.c_str());
        }
        // Keep the rate on average, but never queue a burst after falling behind.
        due = o.rate > 0 ? std::max(due + period, line.freeAt()) : line.freeAt();
    }
    return 0;
}
