#include "session/variants.h"

#include <string.h>

#include "build_config.h"
#include "session/session.h"
#include "session/text.h"

const char* const updateServerHosts[3] = {
    VARNEL_UPDATE_SERVER_1,
    VARNEL_UPDATE_SERVER_2,
    VARNEL_UPDATE_SERVER_3,
};

const char* updateScheme = VARNEL_UPDATE_SCHEME;

namespace {

struct VariantRow {
    char letter;
    const char* displayName;
    const char* shortCode;
};

const VariantRow variantTable[] = {
    {'K', "Mirda", "mrd"},
    {'L', "Tabrix Kalk", "tbrx"},
    {'P', "Solva", "slv"},
    {'R', "VN", "vn"},
    {'T', "Fendral Konto", "fd"},
};

// The build only accepts the five letters above; a letter outside the table
// (never configured) derives names from an empty display name and code.
const VariantRow* findVariant(char letter) {
    for (const VariantRow& row : variantTable)
        if (row.letter == letter) return &row;
    static const VariantRow unknown = {0, "", ""};
    return &unknown;
}

}  // namespace

const char* selectedServerHost(int serverIndex) {
    if (serverIndex == 3) return updateServerHosts[2];
    if (serverIndex == 2) return updateServerHosts[1];
    return updateServerHosts[0];
}

bool configureVariant() {
    const VariantRow* variant = findVariant(session.variantLetter);
    const char* code = variant->shortCode;
    const char* tag = session.versionTag;

    // The compiled-in pieces always fit: CMake refuses host texts that could
    // not, so every join below succeeds.
    copyText(session.displayName, variant->displayName);
    copyText(session.systemCabinetName, "setup_sys.cab");

    char stem[MAX_PATH];  // "setup_" + code + "_" + tag
    joinText(stem, "setup_", code, "_", tag);
    joinText(session.installerName, stem, ".exe");
    joinText(session.cabinetAName, stem, "a.cab");
    joinText(session.cabinetBName, stem, "b.cab");
    joinText(session.helperExeName, "ins", code, ".exe");

    char prefix[MAX_PATH];  // scheme + host + "/programy/"
    joinText(prefix, updateScheme, selectedServerHost(session.serverIndex), "/programy/");
    joinText(session.systemCabinetUrl, prefix, "sys/", session.systemCabinetName);

    char productPrefix[MAX_PATH];
    joinText(productPrefix, prefix, tag, "/", code);
    appendText(productPrefix, "/");
    joinText(session.installerUrl, productPrefix, session.installerName);
    joinText(session.cabinetAUrl, productPrefix, session.cabinetAName);
    return true;
}
