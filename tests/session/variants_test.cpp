#include "session/variants.h"

#include <gtest/gtest.h>

#include <string>

#include "build_config.h"
#include "session/session.h"

namespace {

class Variants : public ::testing::Test {
protected:
    void SetUp() override {
        resetSession();
        strcpy(session.versionTag, "3_xx");
        strcpy(session.versionText, "3.xx");
    }
};

struct Expected {
    char letter;
    const char* displayName;
    const char* code;
};

const std::string host1 = VARNEL_UPDATE_SERVER_1;
const std::string host2 = VARNEL_UPDATE_SERVER_2;
const std::string host3 = VARNEL_UPDATE_SERVER_3;

}  // namespace

TEST_F(Variants, RecordStartsZeroedButForTheServerIndex) {
    EXPECT_EQ(session.serverIndex, 1);
    EXPECT_EQ(session.runKind, 0);
    EXPECT_EQ(session.sourceMode, 0);
    EXPECT_EQ(session.dialogWindow, nullptr);
    EXPECT_STREQ(session.displayName, "");
    EXPECT_EQ(session.receivedBytes, 0.0f);
}

TEST_F(Variants, EveryVariantDerivesItsNamesAndAddresses) {
    const Expected variants[] = {
        {'K', "Mirda", "mrd"}, {'L', "Tabrix Kalk", "tbrx"}, {'P', "Solva", "slv"},
        {'R', "VN", "vn"},     {'T', "Fendral Konto", "fd"},
    };
    for (const Expected& v : variants) {
        SCOPED_TRACE(v.letter);
        resetSession();
        strcpy(session.versionTag, "3_xx");
        session.variantLetter = v.letter;
        EXPECT_TRUE(configureVariant());
        std::string code = v.code;
        EXPECT_STREQ(session.displayName, v.displayName);
        EXPECT_STREQ(session.systemCabinetName, "setup_sys.cab");
        EXPECT_EQ(std::string(session.installerName), "setup_" + code + "_3_xx.exe");
        EXPECT_EQ(std::string(session.cabinetAName), "setup_" + code + "_3_xxa.cab");
        EXPECT_EQ(std::string(session.cabinetBName), "setup_" + code + "_3_xxb.cab");
        EXPECT_EQ(std::string(session.helperExeName), "ins" + code + ".exe");
        EXPECT_EQ(std::string(session.systemCabinetUrl),
                  "http://" + host1 + "/programy/sys/setup_sys.cab");
        EXPECT_EQ(std::string(session.installerUrl),
                  "http://" + host1 + "/programy/3_xx/" + code + "/setup_" + code + "_3_xx.exe");
        EXPECT_EQ(std::string(session.cabinetAUrl),
                  "http://" + host1 + "/programy/3_xx/" + code + "/setup_" + code + "_3_xxa.cab");
    }
}

TEST_F(Variants, ServerIndexChoosesTheHostAndNothingElse) {
    session.variantLetter = 'L';
    const struct {
        int index;
        std::string host;
    } cases[] = {{0, host1}, {1, host1}, {2, host2}, {3, host3}, {7, host1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        session.serverIndex = c.index;
        configureVariant();
        EXPECT_EQ(std::string(session.systemCabinetUrl),
                  "http://" + c.host + "/programy/sys/setup_sys.cab");
        EXPECT_EQ(std::string(session.installerUrl),
                  "http://" + c.host + "/programy/3_xx/tbrx/setup_tbrx_3_xx.exe");
        EXPECT_EQ(std::string(session.cabinetAUrl),
                  "http://" + c.host + "/programy/3_xx/tbrx/setup_tbrx_3_xxa.cab");
        EXPECT_STREQ(session.installerName, "setup_tbrx_3_xx.exe");
        EXPECT_STREQ(session.cabinetAName, "setup_tbrx_3_xxa.cab");
        EXPECT_STREQ(session.cabinetBName, "setup_tbrx_3_xxb.cab");
        EXPECT_STREQ(session.helperExeName, "instbrx.exe");
        EXPECT_STREQ(selectedServerHost(c.index), c.host.c_str());
    }
    // The third server's host text carries its port.
    EXPECT_NE(host3.find(':'), std::string::npos);
}

TEST_F(Variants, SecondCallRebuildsRatherThanAppends) {
    session.variantLetter = 'T';
    configureVariant();
    SetupSession once = session;
    configureVariant();
    EXPECT_STREQ(session.displayName, once.displayName);
    EXPECT_STREQ(session.installerName, once.installerName);
    EXPECT_STREQ(session.installerUrl, once.installerUrl);
    EXPECT_STREQ(session.cabinetAUrl, once.cabinetAUrl);
    EXPECT_EQ(std::string(session.installerUrl),
              "http://" + host1 + "/programy/3_xx/fd/setup_fd_3_xx.exe");
    // After the probe chose server 2, only the addresses move.
    session.serverIndex = 2;
    configureVariant();
    EXPECT_STREQ(session.installerName, once.installerName);
    EXPECT_EQ(std::string(session.cabinetAUrl),
              "http://" + host2 + "/programy/3_xx/fd/setup_fd_3_xxa.cab");
}
