// The status page (--http) as a network peer meets it, on loopback: what it
// serves, the actions it takes from its own page alone, and clients that
// knock from outside the allow list, hold connections open with headers that
// never end, send headers far too long or open connections by the hundred.
// Each ends with a well-behaved client served and the gateway ending
// cleanly; the browser's view of the page is test_status_page_browser.py.
#include <gtest/gtest.h>

#include <regex>

#include "gateway_under_test.h"
#include "raw_client.h"

namespace {

using gwtest::RawClient;

struct Http {
    int status = 0;  // 0: closed or silent, no answer
    std::string text;
};

// One request on a connection of its own from the loopback address `from`.
Http request(int port, const std::string& text, const char* from = "127.0.0.1", int ms = 3000) {
    RawClient c(port, from);
    Http h;
    if (!c.up() || !c.send(text))
        return h;
    const int64_t deadline = net::monotonicUs() + int64_t(ms) * 1000;
    for (;;) {
        char buffer[8192];
        size_t got = 0;
        int error = 0;
        if (net::readSome(c.fd(), buffer, sizeof buffer, deadline, got, error) != net::Io::Done)
            break;
        h.text.append(buffer, got);
    }
    std::smatch m;
    if (std::regex_search(h.text, m, std::regex("^HTTP/1\\.[01] ([0-9]{3})")))
        h.status = std::stoi(m[1]);
    return h;
}

std::string get(const std::string& path, const std::string& host = "127.0.0.1") {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

std::string post(const std::string& path, const std::string& extra) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra +
           "Content-Length: 0\r\n\r\n";
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

struct StatusPageTest : testing::Test {
    GatewayProcess gateway{GATEWAY_EMULATOR, gwtest::options({"--instant", "--http", "0"})};
    int port = 0;
    void SetUp() override {
        ASSERT_TRUE(gateway.running()) << gateway.line();
        port = gateway.pagePort();
        ASSERT_GT(port, 0) << gateway.line();
    }
    std::string end() {
        const std::string log = gateway.stop();
        EXPECT_TRUE(gateway.endedCleanly()) << log;
        return log;
    }
};

TEST_F(StatusPageTest, ItServesThePageItsFilesAndTheGatewaysState) {
    const Http page = request(port, get("/"));
    EXPECT_EQ(page.status, 200) << page.text;
    EXPECT_NE(page.text.find("Content-Type: text/html"), std::string::npos) << page.text;
    EXPECT_NE(page.text.find("Content-Security-Policy: default-src 'none'"), std::string::npos);
    EXPECT_NE(page.text.find("<script src=\"/page.js\""), std::string::npos);
    EXPECT_EQ(request(port, get("/page.js")).status, 200);
    EXPECT_EQ(request(port, get("/page.css")).status, 200);
    // A client with a link shows in the state, with its link and lock.
    RawClient client(gateway.corePort());
    int32_t lid = 0;
    ASSERT_EQ(client.createLink("gpib0,9", lid, true, 1000), 0);
    const Http state = request(port, get("/status.json"));
    EXPECT_EQ(state.status, 200);
    for (const char* part :
         {"\"idn\": \"Tarvel Morrow,tm-gateway,", "\"link\": \"gpib1\", \"description\": ",
          "\"target\": \"GPIB0 9\", \"locked\": true", "{\"name\": \"create_link\", \"count\": 1}"})
        EXPECT_NE(state.text.find(part), std::string::npos) << part << "\n" << state.text;
    EXPECT_EQ(request(port, get("/nothing")).status, 404);
    end();
}

TEST_F(StatusPageTest, ActionsComeOnlyFromThePageItselfAndAreBounded) {
    const std::string mark = "X-TM-Page: 1\r\n";
    const struct {
        std::string request;
        int status;
        const char* says;
    } rows[] = {
        {get("/search?board=0"), 405, "POST"},
        {post("/search?board=0", ""), 403, "header is missing"},
        {post("/search?board=0", mark + "Origin: http://elsewhere.example\r\n"), 403, "origin"},
        {post("/search?board=0", mark + "Sec-Fetch-Site: cross-site\r\n"), 403, "another site"},
        {post("/search?board=0", mark + "Content-Type: text/plain\r\n"), 403, "a form"},
        // A page of another site whose name now points here.
        {"POST /search?board=0 HTTP/1.1\r\nHost: rebound.example:80\r\nConnection: close\r\n" +
             mark + "\r\n",
         421, "its own name"},
        {post("/search?board=16", mark), 400, "board"},
        {post("/search?board=x", mark), 400, "board"},
        {post("/identify?board=0&pad=31", mark), 400, "pad"},
        {post("/search?board=3", mark), 404, "no board gpib3"},
        {post("/identify?board=0&pad=20", mark), 502, "no listener"},
        {post("/identify?board=0&pad=9", mark + "Origin: http://127.0.0.1\r\n"), 200,
         "SIMULATED BENCH,DMM-9"},
        {post("/search?board=1", mark + "Sec-Fetch-Site: same-origin\r\n"), 200, "gpib1,3"},
    };
    for (const auto& row : rows) {
        const Http h = request(port, row.request);
        EXPECT_EQ(h.status, row.status) << row.request << h.text;
        EXPECT_NE(h.text.find(row.says), std::string::npos) << row.request << h.text;
    }
    // A device a client has locked is left alone.
    RawClient holder(gateway.corePort());
    int32_t lid = 0;
    ASSERT_EQ(holder.createLink("gpib0,9", lid, true, 1000), 0);
    const Http locked = request(port, post("/identify?board=0&pad=9", mark));
    EXPECT_EQ(locked.status, 504);
    EXPECT_NE(locked.text.find("locked by a client"), std::string::npos) << locked.text;
    // Only the search the page asked for ran.
    EXPECT_EQ(count(end(), "listener search:"), 1u);
}

TEST_F(StatusPageTest, HostileClientsHoldOnlyTheirOwnShare) {
    // Connections whose headers never end, as many as one address may hold.
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 4; ++i) {
        slow.push_back(std::make_unique<RawClient>(port));
        EXPECT_TRUE(slow.back()->send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: "));
    }
    // One more from that address is turned away; another address is served,
    // in far less than the 10 s a held connection may last.
    EXPECT_EQ(request(port, get("/status.json"), "127.0.0.1", 1000).status, 0);
    int64_t began = net::monotonicUs();
    EXPECT_EQ(request(port, get("/status.json"), "127.0.0.2").status, 200);
    EXPECT_LT(net::monotonicUs() - began, 3'000'000);
    // Headers far longer than a request needs: refused, nothing else hurt.
    const Http huge = request(
        port,
        "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Huge: " + std::string(100'000, 'h') + "\r\n\r\n",
        "127.0.0.3");
    EXPECT_TRUE(huge.status == 0 || huge.status >= 400) << huge.text.substr(0, 200);
    // Connections by the hundred from one address.
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (int i = 0; i < 200; ++i) crowd.push_back(std::make_unique<RawClient>(port, "127.0.0.4"));
    began = net::monotonicUs();
    EXPECT_EQ(request(port, get("/"), "127.0.0.5").status, 200);
    EXPECT_LT(net::monotonicUs() - began, 3'000'000);
    // The gateway's own clients never noticed.
    RawClient client(gateway.corePort());
    int32_t lid = 0;
    ASSERT_EQ(client.createLink("gpib0,9", lid), 0);
    EXPECT_EQ(client.query(lid, "*IDN?"), "4:SIMULATED BENCH,DMM-9,0001,1.0\n");
    end();  // with the slow ones still holding on
}

TEST(StatusPageAllowListTest, ClientsOutsideTheAllowListAreClosedUnanswered) {
    GatewayProcess gateway(
        GATEWAY_EMULATOR, gwtest::options({"--instant", "--http", "0", "--allow", "127.0.0.2/32"}));
    ASSERT_TRUE(gateway.running()) << gateway.line();
    EXPECT_EQ(request(gateway.pagePort(), get("/"), "127.0.0.1").status, 0);
    const Http state = request(gateway.pagePort(), get("/status.json"), "127.0.0.2");
    EXPECT_EQ(state.status, 200);
    EXPECT_NE(state.text.find("\"page\": 1"), std::string::npos) << state.text;
    const std::string log = gateway.stop();
    EXPECT_TRUE(gateway.endedCleanly()) << log;
    EXPECT_NE(log.find("page: refused 127.0.0.1:"), std::string::npos) << log;
}

}  // namespace
