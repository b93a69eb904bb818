#include "gateway/status_page.h"

#include <arpa/inet.h>
#include <microhttpd.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "gateway/page_assets.h"
#include "net/monotonic.h"

namespace gateway {

namespace {

// The page needs nothing but itself: no other site's script, style, frame
// or connection, and no site may frame it.
constexpr const char* kPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'";
// The header the page's own script sends with its actions; a page of
// another site cannot send it without asking first (a preflight), which is
// never granted here.
constexpr const char* kPageHeader = "X-TM-Page";
// Headers and the rest of a request's state per connection: larger requests
// are answered with an error by libmicrohttpd and closed.
constexpr size_t kConnectionMemory = 16 * 1024;

std::string lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const char* header(MHD_Connection* c, const char* name) {
    return MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
}

// A number of the query, within low..high; absent: fallback.
bool argument(MHD_Connection* c, const char* name, int low, int high, int& value,
              bool required = true, int fallback = 0) {
    const char* text = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, name);
    if (!text) {
        value = fallback;
        return !required;
    }
    const size_t n = std::strlen(text);
    auto [end, error] = std::from_chars(text, text + n, value);
    return n > 0 && error == std::errc() && end == text + n && value >= low && value <= high;
}

MHD_Result answer(MHD_Connection* c, int status, std::string_view body, const char* type,
                  const char* allow = nullptr) {
    MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                      MHD_RESPMEM_MUST_COPY);
    if (!r)
        return MHD_NO;
    MHD_add_response_header(r, "Content-Type", type);
    MHD_add_response_header(r, "Cache-Control", "no-store");
    MHD_add_response_header(r, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(r, "X-Frame-Options", "DENY");
    MHD_add_response_header(r, "Referrer-Policy", "no-referrer");
    MHD_add_response_header(r, "Content-Security-Policy", kPolicy);
    if (allow)
        MHD_add_response_header(r, "Allow", allow);
    const MHD_Result queued = MHD_queue_response(c, unsigned(status), r);
    MHD_destroy_response(r);
    return queued;
}

MHD_Result refusal(MHD_Connection* c, int status, const std::string& why,
                   const char* allow = nullptr) {
    return answer(c, status, "{\"error\": " + jsonString(why) + "}\n", "application/json", allow);
}

MHD_Result onAccept(void* self, const sockaddr* from, socklen_t length) {
    return static_cast<StatusPage*>(self)->admits(net::Address::of(from, length)) ? MHD_YES
                                                                                  : MHD_NO;
}

MHD_Result onRequest(void* self, MHD_Connection* c, const char* url, const char* method,
                     const char*, const char*, size_t* uploadSize, void** state) {
    // Everything is answered from the headers alone; a body (none of the
    // page's requests has one) is not read.
    (void)uploadSize;
    (void)state;
    return static_cast<StatusPage*>(self)->handle(c, url, method) ? MHD_YES : MHD_NO;
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F || c == '<' || c == '>' || c == '&') {
            // Control characters, Latin-1 and the characters of HTML markup
            // as escapes: the text can go anywhere a page puts it.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

StatusPage::StatusPage(PageSettings settings, PageActions actions)
    : m_settings(std::move(settings)), m_actions(std::move(actions)) {}

StatusPage::~StatusPage() {
    stop();
}

bool StatusPage::bind(const std::string& address, int port, std::string& problem) {
    m_listener = net::listenOn(address, port, SOCK_STREAM, problem);
    if (!m_listener.valid())
        return false;
    m_port = net::localPort(m_listener.fd());
    return true;
}

bool StatusPage::start(std::string& problem) {
    const unsigned flags =
        MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    m_daemon = MHD_start_daemon(
        flags, 0, onAccept, this, onRequest, this, MHD_OPTION_LISTEN_SOCKET, m_listener.fd(),
        MHD_OPTION_CONNECTION_LIMIT, m_settings.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        m_settings.perAddress, MHD_OPTION_CONNECTION_TIMEOUT, m_settings.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_END);
    if (!m_daemon) {
        problem = "the page cannot be served on port " + std::to_string(m_port);
        return false;
    }
    m_listener.release();  // libmicrohttpd's now, closed when it stops
    return true;
}

void StatusPage::stop() {
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

bool StatusPage::admits(const net::Address& peer) {
    if (m_settings.allow.allows(peer))
        return true;
    ++m_refused;
    std::lock_guard<std::mutex> hold(m_logLock);
    // A refusal a second at most in the log: a client may knock often.
    if (net::monotonicUs() - m_lastRefusalLog > 1'000'000) {
        m_lastRefusalLog = net::monotonicUs();
        m_settings.log("page: refused " + peer.text() + ": not in the allowed networks");
    }
    return false;
}

bool StatusPage::hostAllowed(const std::string& hostHeader) const {
    std::string host = lower(hostHeader);
    if (!host.empty() && host[0] == '[') {
        const size_t close = host.find(']');
        in6_addr v6{};
        return close != std::string::npos &&
               inet_pton(AF_INET6, host.substr(1, close - 1).c_str(), &v6) == 1;
    }
    if (const size_t colon = host.rfind(':'); colon != std::string::npos)
        host.resize(colon);
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1 || host == "localhost")
        return true;
    const std::string me = lower(m_settings.hostName);
    return !me.empty() && (host == me || host.rfind(me + ".", 0) == 0);
}

bool StatusPage::fromThePage(MHD_Connection* c, const std::string& host, std::string& why) const {
    const char* mark = header(c, kPageHeader);
    if (!mark || std::strcmp(mark, "1") != 0) {
        why = "only the gateway's page asks for this (its header is missing)";
        return false;
    }
    if (const char* origin = header(c, "Origin");
        origin && lower(origin) != "http://" + lower(host)) {
        why = std::string("a page of another origin (") + origin + ") asked";
        return false;
    }
    if (const char* site = header(c, "Sec-Fetch-Site");
        site && std::strcmp(site, "same-origin") != 0) {
        why = "a page of another site asked";
        return false;
    }
    // What a plain form of another site can send.
    if (const char* type = header(c, "Content-Type")) {
        const std::string t = lower(type);
        if (t.rfind("application/x-www-form-urlencoded", 0) == 0 ||
            t.rfind("multipart/form-data", 0) == 0 || t.rfind("text/plain", 0) == 0) {
            why = "a form asked";
            return false;
        }
    }
    return true;
}

int StatusPage::action(MHD_Connection* c, const std::string& url) {
    int board = 0, pad = 0, sad = -1;
    if (!argument(c, "board", 0, 15, board))
        return refusal(c, 400, "board: a number 0-15");
    const bool identify = url == "/identify";
    if (identify &&
        (!argument(c, "pad", 0, 30, pad) || !argument(c, "sad", -1, 30, sad, false, -1)))
        return refusal(c, 400, "pad: a number 0-30; sad: a number 0-30, or none");
    // A bounded number at once: each holds a connection's thread while it
    // waits for its bus.
    if (++m_actionsRunning > m_settings.maxActions) {
        --m_actionsRunning;
        return refusal(c, 503, "the gateway is busy with other requests of the page");
    }
    const PageAnswer a = identify ? m_actions.identify(board, {pad, sad}) : m_actions.search(board);
    --m_actionsRunning;
    return answer(c, a.status, a.json, "application/json");
}

int StatusPage::handle(MHD_Connection* c, const std::string& url, const std::string& method) {
    const char* hostHeader = header(c, "Host");
    const std::string host = hostHeader ? hostHeader : "";
    if (!hostAllowed(host))
        return refusal(c, 421, "this gateway answers to its own name or address, not " + host);
    const bool get = method == MHD_HTTP_METHOD_GET || method == MHD_HTTP_METHOD_HEAD;
    const bool post = method == MHD_HTTP_METHOD_POST;
    if (url == "/" || url == "/index.html" || url == "/page.js" || url == "/page.css" ||
        url == "/status.json") {
        if (!get)
            return refusal(c, 405, "this is only read (GET)", "GET, HEAD");
        if (url == "/status.json")
            return answer(c, 200, m_actions.status(), "application/json");
        if (url == "/page.js")
            return answer(c, 200, page::kScript, "text/javascript; charset=utf-8");
        if (url == "/page.css")
            return answer(c, 200, page::kStyle, "text/css; charset=utf-8");
        return answer(c, 200, page::kHtml, "text/html; charset=utf-8");
    }
    if (url == "/search" || url == "/identify") {
        if (!post)
            return refusal(c, 405, "an action is asked for with POST", "POST");
        std::string why;
        if (!fromThePage(c, host, why))
            return refusal(c, 403, why);
        return action(c, url);
    }
    return refusal(c, 404, "no such page: " + url);
}

}  // namespace gateway
