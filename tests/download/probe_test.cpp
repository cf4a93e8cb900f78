#include "download/probe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "download/watchdog.h"
#include "session/session.h"
#include "session/variants.h"
#include "tests/download/fixture.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"

namespace {

const char kProbePath[] = "/programy/setup_sys.cab";

class DownloadProbe : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        // The probe starts from the record's process-start state.
        prepareSession(1);
    }
    // A server that has the probe path to serve.
    static bool startWithProbeFile(TestHttpServer& server, const std::string& rules = "{}",
                                   const std::string& options = "") {
        makeFolders(server.root() + "programy");
        writeFile(server.root() + "programy\\setup_sys.cab", "MSCF probe");
        return server.start(rules, options);
    }
    // Runs the probe, expecting `server` (0: none) without a box, and gives
    // the time it took.
    static DWORD timedProbe(int server, const char* what) {
        BoxRecorder boxes;
        DWORD start = GetTickCount();
        EXPECT_EQ(probeUpdateServers(), server != 0 ? 1 : 0);
        DWORD elapsed = since(start);
        printf("[figures] probe %s: %lu ms\n", what, elapsed);
        EXPECT_EQ(session.serverIndex, server);
        EXPECT_TRUE(boxes.boxes().empty());
        return elapsed;
    }
    // The one probe request a server saw, as the update server contract
    // wants it: a plain GET of the probe path under the program's name.
    static void expectOneProbeRequest(const TestHttpServer& server, const std::string& host) {
        std::vector<LoggedRequest> requests = server.requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].method, "GET");
        EXPECT_EQ(requests[0].path, kProbePath);
        EXPECT_EQ(requests[0].userAgent, "Varnel");
        std::set<std::string> names;
        for (const auto& header : requests[0].headers) {
            names.insert(header.first);
            if (header.first == "Host") {
                EXPECT_EQ(header.second, host);
            }
        }
        EXPECT_TRUE(names.count("Host"));
        for (const char* foreign : {"Authorization", "Cookie", "Range", "If-Modified-Since",
                                    "If-None-Match", "Proxy-Authorization"})
            EXPECT_FALSE(names.count(foreign)) << foreign;
    }
};

}  // namespace

TEST_F(DownloadProbe, FirstServerAnswersAndTheOthersAreNeverContacted) {
    TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80), three("127.0.0.13", 8080);
    ASSERT_TRUE(startWithProbeFile(one));
    ASSERT_TRUE(startWithProbeFile(two));
    ASSERT_TRUE(startWithProbeFile(three));
    BoxRecorder boxes;

    EXPECT_EQ(probeUpdateServers(), 1);
    EXPECT_EQ(session.serverIndex, 1);
    EXPECT_TRUE(boxes.boxes().empty());
    expectOneProbeRequest(one, "127.0.0.11");
    EXPECT_EQ(two.connections(), 0);
    EXPECT_EQ(three.connections(), 0);
}

TEST_F(DownloadProbe, OnlyServerThreeAnswersAndTheAddressesCarryItsPort) {
    TestHttpServer three("127.0.0.13", 8080);
    ASSERT_TRUE(startWithProbeFile(three));

    EXPECT_EQ(probeUpdateServers(), 1);
    EXPECT_EQ(session.serverIndex, 3);
    expectOneProbeRequest(three, "127.0.0.13:8080");
    configureVariant();
    EXPECT_STREQ(session.systemCabinetUrl, "http://127.0.0.13:8080/programy/sys/setup_sys.cab");
    EXPECT_STREQ(session.installerUrl,
                 "http://127.0.0.13:8080/programy/3_xx/tbrx/setup_tbrx_3_xx.exe");
    EXPECT_STREQ(session.cabinetAUrl,
                 "http://127.0.0.13:8080/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab");
}

TEST_F(DownloadProbe, ErrorAnswerStillWinsUnlessTheServerSaysItCannotServe) {
    // A 503 (as a gateway's 502 or 504) is no answer, with or without a
    // proxy: the next server is asked at once, as after a refused connection.
    const struct {
        const char* rule;
        int chosen;
    } cases[] = {{"{}", 1},  // 404 with an HTML page
                 {R"({"*": {"mode": "status", "status": 500}})", 1},
                 {R"({"*": {"mode": "status", "status": 503}})", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80);
        ASSERT_TRUE(one.start(c.rule));
        ASSERT_TRUE(startWithProbeFile(two));
        EXPECT_LT(timedProbe(c.chosen, c.rule), 2000u);
        EXPECT_EQ(one.requests().size(), 1u);
        EXPECT_EQ(two.connections(), c.chosen - 1);
    }
}

TEST_F(DownloadProbe, NoServerListeningGivesZeroWithoutABoxAndTheAddressesNameServerOne) {
    BoxRecorder boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(probeUpdateServers(), 0);
    DWORD elapsed = since(start);
    EXPECT_EQ(session.serverIndex, 0);
    EXPECT_TRUE(boxes.boxes().empty());
    // Refused connections are no time-out: the probe does not wait.
    EXPECT_LT(elapsed, 3000u);
    configureVariant();
    EXPECT_STREQ(session.systemCabinetUrl, "http://127.0.0.11/programy/sys/setup_sys.cab");
    printf("[figures] probe with no server listening: %lu ms\n", elapsed);
}

TEST_F(DownloadProbe, SilentFirstServerIsLeftWithinItsFiveSeconds) {
    TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80);
    ASSERT_TRUE(one.start(R"({"*": {"mode": "silent"}})"));
    ASSERT_TRUE(startWithProbeFile(two));

    DWORD elapsed = timedProbe(2, "past a server that accepts and never answers");
    EXPECT_GE(elapsed, kServerAnswerLimitMs - 1000);
    EXPECT_LE(elapsed, kServerAnswerLimitMs + 500);
    EXPECT_EQ(one.requests().size(), 1u);  // it was asked, and kept silent
    expectOneProbeRequest(two, "127.0.0.12");

    // The call left behind on the silent connection ends when the server
    // lets the connection go; nothing of it lingers.
    one.stop();
    EXPECT_TRUE(helpersBackToStart(10000));
}

TEST_F(DownloadProbe, ServerDroppingSynsIsLeftWithinItsFiveSeconds) {
    TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80);
    ASSERT_TRUE(one.start("{}", "--drop-syns"));
    ASSERT_TRUE(startWithProbeFile(two));

    DWORD elapsed = timedProbe(2, "past a server whose SYNs are dropped");
    EXPECT_GE(elapsed, kServerAnswerLimitMs - 1000);
    EXPECT_LE(elapsed, kServerAnswerLimitMs + 500);
    expectOneProbeRequest(two, "127.0.0.12");
}

TEST_F(DownloadProbe, SlowLineWhereEveryServerAnswersAfterEightSecondsKeepsServerOne) {
    TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80), three("127.0.0.13", 8080);
    for (TestHttpServer* server : {&one, &two, &three})
        ASSERT_TRUE(startWithProbeFile(*server, R"({"*": {"delay": 8000}})"));

    EXPECT_LT(timedProbe(1, "where every server answers after 8 s"), 9500u);
    // The others were asked meanwhile; their late answers are let go.
    EXPECT_EQ(two.requests().size(), 1u);
    EXPECT_TRUE(helpersBackToStart(12000));
}

TEST_F(DownloadProbe, AnswerArrivingAfterTheServerWasPassedOverIsClosedWhenItComes) {
    // Server 1 answers after 7 s with a body that never ends; by then
    // server 2 has won, and what server 1's late call opened must go.
    TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80);
    ASSERT_TRUE(one.start(R"({"*": {"delay": 7000, "mode": "stall", "size": 9000}})"));
    ASSERT_TRUE(startWithProbeFile(two));

    EXPECT_EQ(probeUpdateServers(), 1);
    EXPECT_EQ(session.serverIndex, 2);
    bool released = false;
    for (int i = 0; i < 160 && !released; ++i, Sleep(50)) released = one.clientsGone() == 1;
    EXPECT_TRUE(released);
    EXPECT_TRUE(helpersBackToStart(2000));
}

TEST_F(DownloadProbe, EveryServerSilentEndsAfterTheProbeLimit) {
    TestHttpServer one("127.0.0.11", 80), two("127.0.0.12", 80), three("127.0.0.13", 8080);
    for (TestHttpServer* server : {&one, &two, &three})
        ASSERT_TRUE(server->start(R"({"*": {"mode": "silent"}})"));

    DWORD elapsed = timedProbe(0, "where every server stays silent");
    EXPECT_GE(elapsed, kProbeLimitMs - 500);
    EXPECT_LE(elapsed, kProbeLimitMs + 1000);
    for (TestHttpServer* server : {&one, &two, &three}) server->stop();
    EXPECT_TRUE(helpersBackToStart(10000));
}
