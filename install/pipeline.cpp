#include "install/pipeline.h"

#include "cabinet/extract.h"
#include "install/copy.h"
#include "install/handoff.h"
#include "install/shared_libraries.h"
#include "install/texts.h"
#include "resources/resource.h"
#include "session/log.h"
#include "session/session.h"
#include "session/text.h"
#include "ui/message_boxes.h"
#include "ui/progress.h"

int copyLocalFiles() {
    setControlText(IDC_STATUS, kCopyingFiles);
    // The b-cabinet comes only this way: it must lie beside the a-cabinet,
    // where the extraction looks for the continuation of the set.
    const char* const names[4] = {session.systemCabinetName, session.installerName,
                                  session.cabinetAName, session.cabinetBName};
    for (const char* name : names) {
        JoinedPath source, destination;
        joinText(source, session.startFolder, name);
        joinText(destination, session.downloadFolder, name);
        if (!copyComponentFile(source, destination)) return 0;
    }
    logText("local files copied into ", session.downloadFolder);
    return runInstallPipeline() ? 1 : 0;
}

int runInstallPipeline() {
    if (!extractCabinet(session.systemCabinetName, session.librariesFolder)) return 0;
    if (!extractCabinet(session.cabinetAName, session.startWorkFolder)) return 0;
    if (session.installLibraries == 1 && !installSharedLibraries()) {
        showErrorBox(session.runKind == 'A' ? kUpdateLibrariesFailed : kInstallLibrariesFailed);
        return 0;
    }
    return startInstaller() ? 1 : 0;
}
