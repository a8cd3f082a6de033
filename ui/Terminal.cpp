// SPDX-License-Identifier: GPL-3.0-or-later
#include "Terminal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace ui {

namespace {
#ifndef _WIN32
termios g_before;
// Ctrl+C while the echo is off must not leave the terminal without it.
extern "C" void echoBackAndEnd(int)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_before);
    ::_exit(130);
}
#endif

// The echo off while it lives (on a terminal).
class NoEcho {
public:
    explicit NoEcho(bool terminal) : m_on(terminal)
    {
        if (!m_on)
            return;
#ifdef _WIN32
        m_in = ::GetStdHandle(STD_INPUT_HANDLE);
        m_on = ::GetConsoleMode(m_in, &m_mode) && ::SetConsoleMode(m_in, m_mode & ~DWORD(ENABLE_ECHO_INPUT));
#else
        m_on = ::tcgetattr(STDIN_FILENO, &g_before) == 0;
        if (!m_on)
            return;
        termios quiet = g_before;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        m_int = std::signal(SIGINT, echoBackAndEnd);
        m_term = std::signal(SIGTERM, echoBackAndEnd);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
#endif
    }
    ~NoEcho()
    {
        if (!m_on)
            return;
#ifdef _WIN32
        ::SetConsoleMode(m_in, m_mode);
#else
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_before);
        std::signal(SIGINT, m_int);
        std::signal(SIGTERM, m_term);
#endif
        // The Enter typed was not echoed either.
        std::fputc('\n', stderr);
    }
    NoEcho(const NoEcho &) = delete;
    NoEcho &operator=(const NoEcho &) = delete;

private:
    bool m_on;
#ifdef _WIN32
    HANDLE m_in = nullptr;
    DWORD m_mode = 0;
#else
    void (*m_int)(int) = SIG_DFL;
    void (*m_term)(int) = SIG_DFL;
#endif
};
} // namespace

bool inputIsTerminal()
{
#ifdef _WIN32
    return ::_isatty(::_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

std::optional<std::string> readSecretLine(const char *prompt)
{
    const bool terminal = inputIsTerminal();
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
    }
    std::string line;
    int c = EOF;
    {
        NoEcho quiet(terminal);
        while ((c = std::getchar()) != EOF && c != '\n')
            line += char(c);
    }
    if (c == EOF && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace ui
