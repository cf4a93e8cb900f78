#include "download/transfer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "download/watchdog.h"
#include "resources/resource.h"
#include "session/session.h"
#include "tests/download/fixture.h"
#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/http_server.h"

namespace {

class DownloadTransfer : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        folder = tempFolder() + "varnel_transfer_test";
        removeTree(folder);
        makeFolders(folder);
        folder += "\\";
    }
    void TearDown() override {
        DownloadTest::TearDown();
        removeTree(folder.substr(0, folder.size() - 1));
    }
    static void expectOneBox(const BoxRecorder& boxes, const std::string& text) {
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_EQ(boxes.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
        EXPECT_EQ(boxes.boxes()[0].text, text);
        EXPECT_TRUE(boxes.boxes()[0].errorIcon);
    }
    // Downloads /name as the only file of a set of `size` bytes and expects
    // it whole, with no box and every byte counted once.
    void expectWholeDownload(const TestHttpServer& from, const std::string& name, size_t size) {
        std::string local = folder + name;
        session.receivedBytes = 0;
        session.remoteTotalBytes = static_cast<float>(size);
        BoxRecorder boxes;
        EXPECT_EQ(downloadFile(from.url("/" + name).c_str(), local.c_str(), name.c_str()), 1);
        EXPECT_TRUE(boxes.boxes().empty());
        EXPECT_TRUE(readFile(local) == patternBytes(size)) << readFile(local).size() << " bytes";
        EXPECT_EQ(session.receivedBytes, static_cast<float>(size));
    }
    // The Range headers the server was sent, in order.
    static std::vector<std::string> rangesAsked(const TestHttpServer& from) {
        std::vector<std::string> ranges;
        for (const LoggedRequest& request : from.requests())
            for (const auto& header : request.headers)
                if (header.first == "Range") ranges.push_back(header.second);
        return ranges;
    }
    std::string folder;
    TestHttpServer server{"127.0.0.12", 80};
};

}  // namespace

TEST_F(DownloadTransfer, BodiesOfEveryFramingArriveByteIdentical) {
    makeFolders(server.root() + "programy");
    writeFile(server.root() + "programy\\empty.bin", "");
    writeFile(server.root() + "programy\\odd.bin", patternBytes(10001));
    // Large enough for the dialog thread to look in on many reads under way.
    const std::string large = patternBytes(24000000);
    writeFile(server.root() + "programy\\large.bin", large);
    ASSERT_TRUE(server.start(R"({
        "/programy/chunked.bin": {"mode": "chunked", "size": 9000, "chunk": 1000},
        "/programy/close.bin": {"mode": "close", "size": 7000}})"));
    struct Case {
        const char* name;
        std::string body;
    };
    const Case cases[] = {{"empty.bin", ""},
                          {"odd.bin", patternBytes(10001)},  // two full blocks and one byte
                          {"chunked.bin", patternBytes(9000)},
                          {"close.bin", patternBytes(7000)},
                          {"large.bin", large}};
    BoxRecorder boxes;
    for (const Case& item : cases) {
        SCOPED_TRACE(item.name);
        std::string local = folder + item.name;
        // An older file of the same name is replaced, not appended to.
        writeFile(local, std::string(20000, 'x'));
        EXPECT_EQ(downloadFile(server.url(std::string("/programy/") + item.name).c_str(),
                               local.c_str(), item.name),
                  1);
        EXPECT_TRUE(pathExists(local));
        EXPECT_TRUE(readFile(local) == item.body) << readFile(local).size() << " bytes";
    }
    EXPECT_TRUE(boxes.boxes().empty());
    // Each body in one request: a healthy read is never taken for a silent one.
    EXPECT_EQ(server.requests().size(), 5u);
}

TEST_F(DownloadTransfer, SlowTrickleIsNeverCutEvenWhenItOutlastsTheSilenceLimit) {
    silenceLimitMs = 1000;
    ASSERT_TRUE(server.start(
        R"({"/slow.bin": {"mode": "trickle", "size": 3000, "step": 200, "interval": 0.3}})"));
    std::string local = folder + "slow.bin";
    BoxRecorder boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(downloadFile(server.url("/slow.bin").c_str(), local.c_str(), "slow.bin"), 1);
    DWORD elapsed = since(start);
    printf("[figures] 3000 bytes trickled in 200-byte steps: %lu ms, silence limit 1000 ms\n",
           elapsed);
    EXPECT_GT(elapsed, 3 * silenceLimitMs);
    EXPECT_TRUE(readFile(local) == patternBytes(3000));
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(DownloadTransfer, ErrorPageIsStoredAsTheFile) {
    ASSERT_TRUE(server.start());  // nothing to serve: 404 with an HTML page
    std::string local = folder + "setup_tbrx_3_xxa.cab";
    BoxRecorder boxes;
    EXPECT_EQ(downloadFile(server.url("/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab").c_str(),
                           local.c_str(), "setup_tbrx_3_xxa.cab"),
              1);
    std::string stored = readFile(local);
    EXPECT_EQ(stored.rfind("<html>", 0), 0u) << stored;
    EXPECT_NE(stored.find("404 Not Found"), std::string::npos);
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(DownloadTransfer, BodyCutShortOfItsLengthOrLongerThanTheCountsIsAReadFailure) {
    // Announces 1000 bytes, sends 10 and closes. WinINet ends such a body
    // with a successful empty read; the count against the announced length
    // is what tells. A length of 4 GiB and more must not wrap to a small one,
    // nor one too long to read pass for none, nor a body without any length
    // run past 4 GiB - 1 bytes (here 50 000: 4 GiB take 45 s).
    longestBody = 50000;
    const char* const rules[] = {
        R"({"mode": "short", "size": 1000, "send": 10})",
        R"({"mode": "short", "size": 10, "announce": 4294967306})",
        R"({"mode": "short", "size": 10, "send": 10, "announce": 18446744073709551626})",
        R"({"mode": "close", "size": 100000})"};
    for (const char* rule : rules) {
        SCOPED_TRACE(rule);
        TestHttpServer cutting("127.0.0.13", 80);
        ASSERT_TRUE(cutting.start(std::string(R"({"/short.bin": )") + rule + "}"));
        std::string local = folder + "short.bin";
        std::string address = cutting.url("/short.bin");
        BoxRecorder boxes;
        EXPECT_EQ(downloadFile(address.c_str(), local.c_str(), "short.bin"), 0);
        expectOneBox(boxes, u8"Nie można pobrać do bufora z pliku " + address);
        std::string stored = readFile(local);
        EXPECT_TRUE(stored == patternBytes(stored.size())) << stored.size() << " bytes";
        EXPECT_FALSE(heldOpen(local));
    }
}

TEST_F(DownloadTransfer, BodyCutTwiceIsResumedFromWhereItStoppedAndArrivesWhole) {
    // A strong ETag tells that the rest is of the same file.
    const char* const cuts[] = {
        R"({"mode": "reset", "size": 200000, "after": 50000, "times": 2,
           "headers": {"ETag": "\"c\""}})",
        R"({"mode": "short", "size": 200000, "send": 50000, "times": 2,
           "headers": {"ETag": "\"c\""}})"};
    for (const char* cut : cuts) {
        SCOPED_TRACE(cut);
        TestHttpServer cutting("127.0.0.13", 80);
        ASSERT_TRUE(cutting.start(std::string(R"({"/cut.bin": )") + cut + "}"));
        expectWholeDownload(cutting, "cut.bin", 200000);
        EXPECT_EQ(cutting.requests().size(), 3u);
        std::vector<std::string> ranges = rangesAsked(cutting);
        ASSERT_EQ(ranges.size(), 2u);
        for (const std::string& range : ranges) {
            EXPECT_EQ(range.rfind("bytes=", 0), 0u) << range;
            EXPECT_GT(atoi(range.c_str() + 6), 0) << range;
        }
    }
}

TEST_F(DownloadTransfer, ServerIgnoringTheRangeStartsTheFileAgainWithoutCountingTwice) {
    ASSERT_TRUE(server.start(
        R"({"/cut.bin": {"mode": "reset", "size": 120000, "after": 30000, "times": 1, "range": false,
                         "headers": {"Last-Modified": "Mon, 02 Jun 2025 10:00:00 GMT"}}})"));
    std::string local = folder + "cut.bin";
    session.remoteTotalBytes = 120000;
    BoxRecorder boxes;
    EXPECT_EQ(downloadFile(server.url("/cut.bin").c_str(), local.c_str(), "cut.bin"), 1);
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(readFile(local) == patternBytes(120000));
    EXPECT_EQ(session.receivedBytes, 120000.0f);
    EXPECT_EQ(session.progressPercent, 100.0f);
}

TEST_F(DownloadTransfer, RangeContinuesTheFileOnlyWhenItIsOfTheSameVersionAndLength) {
    // Each file is cut once; what answers its ranges after that is the case.
    const char* const etag = R"("headers": {"ETag": "\"v1\""})";
    const char* const date = R"("headers": {"Last-Modified": "Mon, 02 Jun 2025 10:00:00 GMT"})";
    const char* const newDate = R"("headers": {"Last-Modified": "Tue, 03 Jun 2025 10:00:00 GMT"})";
    const char* const weak =
        R"("headers": {"ETag": "W/\"v1\"", "Last-Modified": "Mon, 02 Jun 2025 10:00:00 GMT"})";
    const char* const weakNewDate =
        R"("headers": {"ETag": "W/\"v1\"", "Last-Modified": "Tue, 03 Jun 2025 10:00:00 GMT"})";
    const char* const weakOnly = R"("headers": {"ETag": "W/\"v1\""})";
    // A 206 to the plain request, of bytes 40 000 on (the pattern shifted so).
    const char* const lateStart = R"("status": 206, "shift": 91, "headers": {"ETag": "\"v1\"",
        "Content-Range": "bytes 40000-239999/240000"})";
    auto with = [](const std::string& rule, const char* headers) {
        return rule + ", " + headers + "}";
    };
    struct Case {
        std::string first, later;  // the cut answer's rule, the later answers'
        size_t size;               // of the version that must arrive
        int shift;
        const char* ifRange;  // sent with every range, when not null
        size_t plain;         // requests without a range: 2 when the file started again
    } const cases[] = {
        // Ranges of 30 000 bytes at most: each is progress, not a retry.
        {etag, with(R"({"size": 200000, "cap": 30000)", etag), 200000, 0, "\"v1\"", 1},
        // Replaced between the attempts: the new version arrives whole.
        {etag, R"({"size": 200000, "shift": 7, "headers": {"ETag": "\"v2\""}})", 200000, 7,
         "\"v1\"", 1},
        {date, std::string(R"({"size": 200000, "shift": 7, )") + newDate + "}", 200000, 7,
         "Mon, 02 Jun 2025 10:00:00 GMT", 1},
        // ... by a server that ignores If-Range: its range is of the new version.
        {etag, R"({"size": 200000, "shift": 7, "ifrange": false, "headers": {"ETag": "\"v2\""}})",
         200000, 7, "\"v1\"", 2},
        {date, std::string(R"({"size": 200000, "shift": 7, "ifrange": false, )") + newDate + "}",
         200000, 7, "Mon, 02 Jun 2025 10:00:00 GMT", 2},
        // Replaced without a validator, by a shorter file, a longer one or one as
        // long: nothing tells the version, so no range is asked for.
        {"", R"({"size": 40000, "shift": 3})", 40000, 3, nullptr, 2},
        {"", R"({"size": 300000, "shift": 5})", 300000, 5, nullptr, 2},
        {"", R"({"size": 200000, "shift": 7})", 200000, 7, nullptr, 2},
        // A weak ETag goes into no If-Range; its range must bring it and the date back.
        {weak, with(R"({"size": 200000)", weak), 200000, 0, nullptr, 1},
        {weak, with(R"({"size": 200000, "shift": 7)", weakNewDate), 200000, 7, nullptr, 2},
        {weakOnly, with(R"({"size": 200000, "shift": 7)", weakOnly), 200000, 7, nullptr, 2},
        // The unit in another letter case; a total unknown ("*") or padded with
        // zeros; a chunked range running past its end.
        {etag, with(R"({"size": 200000, "unit": "Bytes")", etag), 200000, 0, "\"v1\"", 1},
        {etag, with(R"({"size": 200000, "shift": 7, "total": "*")", etag), 200000, 7, "\"v1\"",
         2},
        {etag, with(R"({"size": 200000, "total": ")" + std::string(70, '0') + "200000\"", etag),
         200000, 0, "\"v1\"", 1},
        {etag, with(R"({"mode": "chunked", "size": 200000, "over": 10000)", etag), 200000, 0,
         "\"v1\"", 2},
        // A 206 to a request without a range is the file only from its start.
        {lateStart, with(R"({"size": 200000)", etag), 200000, 0, nullptr, 2},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.first + " then " + item.later);
        TestHttpServer cutting("127.0.0.13", 80);
        std::string cut = R"({"mode": "reset", "size": 200000, "after": 50000)" +
                          (item.first.empty() ? "" : ", " + item.first) + "}";
        ASSERT_TRUE(cutting.start(R"({"/f.bin": [)" + cut + ", " + item.later + "]}"));
        std::string local = folder + "f.bin";
        BoxRecorder boxes;
        EXPECT_EQ(downloadFile(cutting.url("/f.bin").c_str(), local.c_str(), "f.bin"), 1);
        EXPECT_TRUE(boxes.boxes().empty());
        EXPECT_TRUE(readFile(local) == patternBytes(item.size, item.shift))
            << readFile(local).size() << " bytes";
        size_t plain = 0;
        for (const LoggedRequest& request : cutting.requests()) {
            bool ranged = false;
            std::string validator;
            for (const auto& header : request.headers) {
                ranged = ranged || header.first == "Range";
                if (header.first == "If-Range") validator = header.second;
            }
            if (ranged) {
                EXPECT_EQ(validator, item.ifRange ? item.ifRange : "");
            }
            plain += ranged ? 0 : 1;
        }
        EXPECT_EQ(plain, item.plain);
    }
}

TEST_F(DownloadTransfer, UnreachableServerReportsTheRemoteOpenFailure) {
    ProgressWindow window;
    std::string local = folder + "setup_sys.cab";
    std::string address = "http://127.0.0.12/programy/sys/setup_sys.cab";  // nothing listens
    BoxRecorder boxes;
    EXPECT_EQ(downloadFile(address.c_str(), local.c_str(), "setup_sys.cab"), 0);
    expectOneBox(boxes, u8"Nie można otworzyć pliku zdalnego " + address);
    EXPECT_FALSE(pathExists(local));
    // The status line named the file before anything was tried.
    EXPECT_EQ(window.textOf(IDC_STATUS), u8"Plik : setup_sys.cab");
    EXPECT_TRUE(window.visible(IDC_STATUS));
}

TEST_F(DownloadTransfer, ServerThatNeverAnswersReportsTheRemoteOpenFailureWithinTheLimit) {
    silenceLimitMs = 1500;
    ASSERT_TRUE(server.start(R"({"*": {"mode": "silent"}})"));
    std::string local = folder + "setup_sys.cab";
    std::string address = server.url("/programy/sys/setup_sys.cab");
    BoxRecorder boxes;
    DWORD start = GetTickCount();
    EXPECT_EQ(downloadFile(address.c_str(), local.c_str(), "setup_sys.cab"), 0);
    DWORD elapsed = since(start);
    printf("[figures] open of a server that never answers given up after %lu ms (limit %lu)\n",
           elapsed, silenceLimitMs);
    EXPECT_GE(elapsed, silenceLimitMs - 500);
    EXPECT_LE(elapsed, silenceLimitMs + 1500);
    expectOneBox(boxes, u8"Nie można otworzyć pliku zdalnego " + address);
    EXPECT_FALSE(pathExists(local));
    server.stop();
    EXPECT_TRUE(helpersBackToStart(10000));
}

TEST_F(DownloadTransfer, TargetInAMissingFolderReportsTheLocalCreateFailure) {
    makeFolders(server.root() + "programy");
    writeFile(server.root() + "programy\\setup_sys.cab", "MSCF");
    ASSERT_TRUE(server.start());
    std::string local = folder + "brak\\setup_sys.cab";
    BoxRecorder boxes;
    EXPECT_EQ(downloadFile(server.url("/programy/setup_sys.cab").c_str(), local.c_str(),
                           "setup_sys.cab"),
              0);
    expectOneBox(boxes, u8"Nie można utworzyć pliku lokalnego " + local);
    EXPECT_EQ(server.requests().size(), 1u);  // the file comes after the request
    EXPECT_FALSE(pathExists(folder + "brak"));
}

TEST_F(DownloadTransfer, ReadFailureIsReportedBeforeTheFileIsClosed) {
    ASSERT_TRUE(server.start(R"({"/reset.bin": {"mode": "reset", "size": 20000, "after": 5000}})"));
    std::string local = folder + "reset.bin";
    std::string address = server.url("/reset.bin");
    BoxRecorder boxes;
    bool openDuringBox = false;
    WhileBoxShown check([&] { openDuringBox = heldOpen(local); });
    EXPECT_EQ(downloadFile(address.c_str(), local.c_str(), "reset.bin"), 0);
    expectOneBox(boxes, u8"Nie można pobrać do bufora z pliku " + address);
    // The first request and three retries, each cut again.
    EXPECT_EQ(server.requests().size(), 4u);
    EXPECT_TRUE(openDuringBox);
    EXPECT_FALSE(heldOpen(local));
    // What arrived before the reset stays on disk.
    std::string stored = readFile(local);
    EXPECT_GE(stored.size(), 4000u);
    EXPECT_TRUE(stored == patternBytes(stored.size()));
}

TEST_F(DownloadTransfer, DeadLineAfterACutIsReportedWithinTheSilenceLimitAndFiveSeconds) {
    // Cut after 5000 bytes; every later answer sends its headers, then
    // nothing. Retries share the silence since the last byte.
    silenceLimitMs = 1500;
    ASSERT_TRUE(server.start(R"({"/stall.bin": [
        {"mode": "reset", "size": 20000, "after": 5000, "headers": {"ETag": "\"s\""}},
        {"mode": "stall", "size": 20000, "after": 0, "headers": {"ETag": "\"s\""}}]})"));
    std::string local = folder + "stall.bin";
    std::string address = server.url("/stall.bin");
    BoxRecorder boxes;
    FILETIME boxAt = {};
    WhileBoxShown check([&] { GetSystemTimeAsFileTime(&boxAt); });
    EXPECT_EQ(downloadFile(address.c_str(), local.c_str(), "stall.bin"), 0);
    // The first answer sent its last byte as its request came (Linux and
    // Wine share the clock).
    ULARGE_INTEGER box = {{boxAt.dwLowDateTime, boxAt.dwHighDateTime}};
    double lastByte = server.requests().at(0).time;
    DWORD elapsed = static_cast<DWORD>(
        ((box.QuadPart - 116444736000000000ULL) / 1e7 - lastByte) * 1000);
    printf("[figures] dead line after a cut: message %lu ms after the last byte (limit %lu), "
           "%u requests\n", elapsed, silenceLimitMs, unsigned(server.requests().size()));
    EXPECT_GE(elapsed, silenceLimitMs);
    EXPECT_LE(elapsed, silenceLimitMs + 5000);
    expectOneBox(boxes, u8"Nie można pobrać do bufora z pliku " + address);
    EXPECT_TRUE(readFile(local) == patternBytes(5000));
    EXPECT_FALSE(heldOpen(local));
    server.stop();
    EXPECT_TRUE(helpersBackToStart(10000));
}

TEST_F(DownloadTransfer, ReadGivenUpAtTheSilenceLimitWritesNothingWhenItReturnsLate) {
    // Each answer sends 5000 bytes at once and the next 5000 only after
    // 2.5 s: every read given up at 1.5 s returns only then, on the old
    // connection (under Wine it fails then), while the retry is already
    // writing into the file. The helper left in it must end without
    // touching the file or the state of a call it no longer owns.
    silenceLimitMs = 1500;
    ASSERT_TRUE(server.start(
        R"({"/late.bin": {"mode": "trickle", "size": 20000, "step": 5000, "interval": 2.5,
                          "headers": {"ETag": "\"t\""}}})"));
    expectWholeDownload(server, "late.bin", 20000);
    EXPECT_EQ(rangesAsked(server),
              (std::vector<std::string>{"bytes=5000-", "bytes=10000-", "bytes=15000-"}));
    Sleep(1500);  // the last given-up read returns
    EXPECT_TRUE(readFile(folder + "late.bin") == patternBytes(20000));
    server.stop();
    EXPECT_TRUE(helpersBackToStart(10000));
}

TEST_F(DownloadTransfer, WriteFailureClosesEverythingBeforeTheMessage) {
    // Linux's /dev/full takes the file but fails every write with "disk full".
    ASSERT_TRUE(server.start(R"({"/big.bin": {"mode": "stall", "size": 20000, "after": 10000}})"));
    std::string local = "Z:\\dev\\full";
    BoxRecorder boxes;
    bool connectionClosedDuringBox = false;
    WhileBoxShown check([&] {
        // The server sees the connection go away a little later.
        for (int i = 0; i < 60 && !connectionClosedDuringBox; ++i, Sleep(50))
            connectionClosedDuringBox = server.clientsGone() == 1;
    });
    EXPECT_EQ(downloadFile(server.url("/big.bin").c_str(), local.c_str(), "big.bin"), 0);
    expectOneBox(boxes, u8"Nie można zapisać bufora do pliku " + local);
    EXPECT_TRUE(connectionClosedDuringBox);
}

TEST_F(DownloadTransfer, PercentageStaysAtZeroUntilTheFirstWholePercent) {
    makeFolders(server.root() + "p");
    writeFile(server.root() + "p\\a.bin", patternBytes(5000));
    writeFile(server.root() + "p\\b.bin", patternBytes(6000));
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    window.showPercent();
    session.remoteTotalBytes = 1000000.0f;

    ASSERT_EQ(downloadFile(server.url("/p/a.bin").c_str(), (folder + "a.bin").c_str(), "a.bin"),
              1);
    EXPECT_TRUE(window.textsOf(IDC_PERCENT).empty());  // 0.5 %
    EXPECT_EQ(window.textOf(IDC_PERCENT), "0");
    ASSERT_EQ(downloadFile(server.url("/p/b.bin").c_str(), (folder + "b.bin").c_str(), "b.bin"),
              1);
    // 1.1 % over both files: the counters run on across files.
    EXPECT_EQ(window.textsOf(IDC_PERCENT), std::vector<std::string>{"1"});
    EXPECT_STREQ(session.percentText, "1");
    EXPECT_FLOAT_EQ(session.receivedBytes, 11000.0f);
    EXPECT_EQ(window.textsOf(IDC_STATUS),
              (std::vector<std::string>{u8"Plik : a.bin", u8"Plik : b.bin"}));
    std::string unpainted;
    EXPECT_TRUE(window.everyTextRepainted(&unpainted)) << unpainted;
}

TEST_F(DownloadTransfer, TotalOfZeroShowsOneHundredOnceBytesArrive) {
    makeFolders(server.root() + "p");
    writeFile(server.root() + "p\\empty.bin", "");
    writeFile(server.root() + "p\\ten.bin", "0123456789");
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    window.showPercent();
    session.remoteTotalBytes = 0.0f;

    ASSERT_EQ(downloadFile(server.url("/p/empty.bin").c_str(), (folder + "e").c_str(), "e"), 1);
    EXPECT_TRUE(window.textsOf(IDC_PERCENT).empty());
    ASSERT_EQ(downloadFile(server.url("/p/ten.bin").c_str(), (folder + "t").c_str(), "t"), 1);
    EXPECT_EQ(window.textsOf(IDC_PERCENT), std::vector<std::string>{"100"});
    EXPECT_FLOAT_EQ(session.progressPercent, 100.0f);
}

TEST_F(DownloadTransfer, BytesBeyondTheTotalKeepTheNumberAtOneHundred) {
    makeFolders(server.root() + "p");
    writeFile(server.root() + "p\\big.bin", patternBytes(9000));
    ASSERT_TRUE(server.start());
    ProgressWindow window;
    window.showPercent();
    session.remoteTotalBytes = 1000.0f;

    ASSERT_EQ(downloadFile(server.url("/p/big.bin").c_str(), (folder + "b").c_str(), "b"), 1);
    EXPECT_EQ(window.textsOf(IDC_PERCENT), std::vector<std::string>{"100"});
    EXPECT_FLOAT_EQ(session.progressPercent, 100.0f);
    EXPECT_FLOAT_EQ(session.shownPercent, 100.0f);
}
