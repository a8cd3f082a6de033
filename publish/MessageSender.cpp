// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageSender.h"

#include <QDir>
#include <QPointer>
#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace publish {

namespace {
struct Upload {
    const std::string *text;
    size_t at = 0;
};

size_t readUpload(char *buffer, size_t size, size_t count, void *user)
{
    auto *u = static_cast<Upload *>(user);
    const size_t n = std::min(size * count, u->text->size() - u->at);
    std::memcpy(buffer, u->text->data() + u->at, n);
    u->at += n;
    return n;
}

// The answer's start is kept: enough to say what the server said.
size_t keepAnswer(char *data, size_t size, size_t count, void *user)
{
    auto *answer = static_cast<std::string *>(user);
    const size_t n = size * count;
    if (answer->size() < 300)
        answer->append(data, std::min(n, 300 - answer->size()));
    return n;
}

// The server's last line (an SMTP reply such as "535 5.7.8 Authentication
// credentials invalid"), for the answer's words.
int lastReply(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    if (type != CURLINFO_HEADER_IN)
        return 0;
    std::string line(data, std::min(size, size_t(300)));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (!line.empty())
        *static_cast<std::string *>(user) = line;
    return 0;
}

int progress(void *user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::atomic<bool> *>(user)->load() ? 1 : 0;
}

std::string trimmed(std::string s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.pop_back();
    return s;
}

struct Slist {
    curl_slist *list = nullptr;
    void add(const std::string &s) { list = curl_slist_append(list, s.c_str()); }
    ~Slist() { curl_slist_free_all(list); }
};

// A POST of `body` to the request's address with its headers; the answer's
// start kept in `answer`.
void setPost(CURL *h, const core::HttpRequest &r, const std::string &body, Slist &headers, std::string &answer)
{
    curl_easy_setopt(h, CURLOPT_URL, r.url.c_str());
    for (const std::string &header : r.headers)
        headers.add(header);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, keepAnswer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer);
}

// What an HTTP server answered, in words: its status and the start of its text.
SendResult httpResult(long code, const std::string &answer)
{
    return {code >= 200 && code < 300, "HTTP " + std::to_string(code) + (answer.empty() ? std::string() : ": " + trimmed(answer))};
}
} // namespace

// A handle with what every transfer shares: the schemes allowed, time
// limits, `stop`, and the owner's CA beside the system's certificates.
static CURL *startHandle(const char *protocols, const std::string &caFile, const std::atomic<bool> &stop,
                         char *error)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL *h = curl_easy_init();
    if (!h)
        return nullptr;
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 20L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 90L);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &stop);
    if (!caFile.empty()) {
        // The owner's CA beside the system's certificates.
        curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
#ifndef _WIN32
        if (QDir(QStringLiteral("/etc/ssl/certs")).exists())
            curl_easy_setopt(h, CURLOPT_CAPATH, "/etc/ssl/certs");
#endif
    }
#ifdef _WIN32
    curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NATIVE_CA));
#endif
    return h;
}

SendResult sendNow(const SendJob &job, const std::atomic<bool> &stop)
{
    const core::MessageChannel &c = job.channel;
    char error[CURL_ERROR_SIZE] = {};
    CURL *h = startHandle("https,smtp,smtps", job.caFile, stop, error);
    if (!h)
        return {false, "the mail and push library could not start"};
    std::string answer, reply;
    Slist headers, receivers;
    std::string text;
    Upload upload{&text};
    if (c.kind == "email") {
        const std::string scheme = c.security == "tls" ? "smtps://" : "smtp://";
        const std::string url = scheme + core::emailHost(c) + ":" + std::to_string(core::emailPort(c));
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(c.security == "none" ? CURLUSESSL_NONE : CURLUSESSL_ALL));
        if (!c.user.empty()) {
            curl_easy_setopt(h, CURLOPT_USERNAME, c.user.c_str());
            curl_easy_setopt(h, CURLOPT_PASSWORD, c.password.c_str());
        }
        const std::string from = "<" + core::emailSender(c) + ">";
        curl_easy_setopt(h, CURLOPT_MAIL_FROM, from.c_str());
        for (const std::string &to : core::emailReceivers(c))
            receivers.add("<" + to + ">");
        curl_easy_setopt(h, CURLOPT_MAIL_RCPT, receivers.list);
        text = core::emailText(job.message, c, job.site, core::mailDate(job.message.created));
        curl_easy_setopt(h, CURLOPT_READFUNCTION, readUpload);
        curl_easy_setopt(h, CURLOPT_READDATA, &upload);
        curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, lastReply);
        curl_easy_setopt(h, CURLOPT_DEBUGDATA, &reply);
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    } else {
        const core::HttpRequest r = core::pushRequest(job.message, c, job.site);
        text = r.body;
        setPost(h, r, text, headers, answer);
    }
    const CURLcode done = curl_easy_perform(h);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_cleanup(h);

    SendResult result;
    if (done != CURLE_OK) {
        result.answer = error[0] ? trimmed(error) : curl_easy_strerror(done);
        // The mail server's own refusal says more than the library's summary.
        if (!reply.empty() && (reply[0] == '4' || reply[0] == '5') && result.answer.find(reply) == std::string::npos)
            result.answer += " (" + reply + ")";
    } else if (c.kind == "email") {
        result.ok = true;
        result.answer = "accepted by the mail server (" + std::to_string(code) + ")";
    } else {
        result = httpResult(code, answer);
    }
    result.answer = core::redacted(result.answer, c);
    return result;
}

SendResult postNow(const core::HttpRequest &r, const std::string &body, const std::string &caFile,
                   const std::atomic<bool> &stop)
{
    char error[CURL_ERROR_SIZE] = {};
    CURL *h = startHandle("http,https", caFile, stop, error);
    if (!h)
        return {false, "the HTTP library could not start"};
    std::string answer;
    Slist headers;
    setPost(h, r, body, headers, answer);
    const CURLcode done = curl_easy_perform(h);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    curl_easy_cleanup(h);
    if (done != CURLE_OK)
        return {false, error[0] ? trimmed(error) : curl_easy_strerror(done)};
    return httpResult(code, answer);
}

MessageSender::MessageSender(QObject *parent)
    : QObject(parent), m_worker(new QObject), m_stop(std::make_shared<std::atomic<bool>>(false))
{
    m_thread.setObjectName(QStringLiteral("messages"));
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
}

MessageSender::~MessageSender()
{
    // A transfer under way ends at its next progress call.
    m_stop->store(true);
    m_thread.quit();
    m_thread.wait();
}

void MessageSender::send(SendJob job, std::function<void(const SendResult &)> done)
{
    QPointer<MessageSender> self(this);
    auto stop = m_stop;
    QMetaObject::invokeMethod(m_worker, [self, stop, job = std::move(job), done = std::move(done)] {
        if (stop->load())
            return;
        const SendResult r = sendNow(job, *stop);
        if (self)
            QMetaObject::invokeMethod(self, [self, r, done] {
                if (self)
                    done(r);
            });
    });
}

} // namespace publish
