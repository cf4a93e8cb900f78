#include "install/publisher.h"

#include "folders/held_folders.h"

HANDLE openForUse(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    // A link's target lies wherever its maker wants it and may be changed
    // behind the handle; the files a run uses are ones it unpacked itself.
    if (file != INVALID_HANDLE_VALUE && !isPlainEntry(file, path, 0)) {
        CloseHandle(file);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

#ifndef VARNEL_TRUSTED_PUBLISHER

int holdTrustedFile(const char* path, HeldFile* held) {
    held->handle = openForUse(path);
    return 1;
}

#else

#include <softpub.h>
#include <string.h>

#include "install/texts.h"
#include "install/wintrust.h"
#include "session/log.h"
#include "session/text.h"
#include "ui/message_boxes.h"

#ifdef VARNEL_AFTER_CHECK_HOOK
void afterFileChecked(const char* path);
#endif

namespace {

// Compared as the certificate holds it, in UTF-16: a narrow comparison
// would depend on the code page of the customer's Windows.
const wchar_t kPublisher[] = L"" VARNEL_TRUSTED_PUBLISHER;
const char kPublisherText[] = VARNEL_TRUSTED_PUBLISHER;

// What the signature says, beyond the verdict of WinVerifyTrust.
struct Signer {
    DWORD chainStatus = 0;
    wchar_t name[256] = L"";
    DWORD nameLength = 0;  // as the certificate holds it, NULs inside included
};

// What the chain's status refuses, by name: a root or a certificate the
// machine does not trust, a revoked one, a broken signature or usage, a
// chain that is partial or runs in a circle, the constraints a certificate
// breaks.
//
// Not refused: the time, and a revocation status that is unknown or
// offline. Wine builds the signer's chain at the file's creation time, which
// for an unpacked file is the cabinet's date, and so finds any certificate
// issued since then out of its time; Windows builds it at the present (or at
// the signature's time stamp) and fails the call itself for an expired
// certificate (CERT_E_EXPIRED): the time is its business, not the chain's.
// An unknown revocation status is all Windows can say without its
// revocation server, and an offline PC would otherwise never get past it.
const DWORD kChainErrors =
    CERT_TRUST_IS_REVOKED | CERT_TRUST_IS_NOT_SIGNATURE_VALID |
    CERT_TRUST_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_CYCLIC |
    CERT_TRUST_INVALID_EXTENSION | CERT_TRUST_INVALID_POLICY_CONSTRAINTS |
    CERT_TRUST_INVALID_BASIC_CONSTRAINTS | CERT_TRUST_INVALID_NAME_CONSTRAINTS |
    CERT_TRUST_HAS_NOT_SUPPORTED_NAME_CONSTRAINT | CERT_TRUST_HAS_NOT_DEFINED_NAME_CONSTRAINT |
    CERT_TRUST_HAS_NOT_PERMITTED_NAME_CONSTRAINT | CERT_TRUST_HAS_EXCLUDED_NAME_CONSTRAINT |
    CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_CTL_IS_NOT_SIGNATURE_VALID |
    CERT_TRUST_CTL_IS_NOT_VALID_FOR_USAGE | CERT_TRUST_IS_EXPLICIT_DISTRUST |
    CERT_TRUST_HAS_NOT_SUPPORTED_CRITICAL_EXT;
const DWORD kRevocationUnknown =
    CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// WinVerifyTrust verifies the signature and the digest of the whole file,
// but Wine's passes a signer under any root, a partial chain and a
// self-signed certificate: the chain's own status and the signer's name
// are therefore judged here, which is what Windows judges as well.
LONG verifySignature(const char* path, HANDLE file, Signer* signer) {
    wchar_t widePath[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0)
        return static_cast<LONG>(HRESULT_FROM_WIN32(GetLastError()));
    WINTRUST_FILE_INFO fileInfo;
    ZeroMemory(&fileInfo, sizeof fileInfo);
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = widePath;
    fileInfo.hFile = file;  // the held file itself, not whatever bears its name now
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // Revocation as far as the machine already knows it: a revoked
    // certificate is refused, but no list is fetched, so an installer run
    // never waits on a revocation server, offline or not.
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = winTrust.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // Without a revocation list at hand Windows fails the call as a whole;
    // the chain's own status tells whether that was all (judged below).
    bool revocationUnknown = result == static_cast<LONG>(CERT_E_REVOCATION_FAILURE);
    if (result == ERROR_SUCCESS || revocationUnknown) {
        CRYPT_PROVIDER_DATA* provider = winTrust.WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* found =
            provider != NULL ? winTrust.WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)
                             : NULL;
        if (found == NULL || found->pChainContext == NULL || found->csCertChain == 0 ||
            found->pasCertChain[0].pCert == NULL) {
            result = TRUST_E_NOSIGNATURE;
        } else {
            signer->chainStatus = found->pChainContext->TrustStatus.dwErrorStatus;
            // The count includes the closing NUL; a name that filled the
            // buffer was cut and names nobody.
            DWORD written = winTrust.CertGetNameStringW(
                found->pasCertChain[0].pCert, CERT_NAME_ATTR_TYPE, 0,
                const_cast<char*>(szOID_COMMON_NAME), signer->name,
                sizeof signer->name / sizeof signer->name[0]);
            if (written > 1 && written < sizeof signer->name / sizeof signer->name[0])
                signer->nameLength = written - 1;
            if (revocationUnknown && (signer->chainStatus & kRevocationUnknown) != 0)
                result = ERROR_SUCCESS;
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    winTrust.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
}

// The second line of the refusal, or NULL when the file may be used.
const char* judge(LONG result, const Signer& signer) {
    switch (static_cast<HRESULT>(result)) {
    case ERROR_SUCCESS:
        break;
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
        return kNoSignature;
    case TRUST_E_BAD_DIGEST:
        return kChangedAfterSigning;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_CHAINING:
    case CERT_E_REVOKED:
    case TRUST_E_EXPLICIT_DISTRUST:
        return kUntrustedRoot;
    default:
        return kSignatureUnchecked;
    }
    if ((signer.chainStatus & kChainErrors) != 0) return kUntrustedRoot;
    // Unit for unit over the whole name: a linguistic comparison takes a
    // name with a soft hyphen or another invisible character for the same.
    if (signer.nameLength != sizeof kPublisher / sizeof kPublisher[0] - 1 ||
        memcmp(signer.name, kPublisher, sizeof kPublisher - sizeof kPublisher[0]) != 0)
        return kOtherPublisher;
    return NULL;
}

}  // namespace

int holdTrustedFile(const char* path, HeldFile* held) {
    // Shared for reading only: copying and starting the file still work.
    held->handle = openForUse(path);
    LONG result = ERROR_SUCCESS;
    Signer signer;
    if (held->handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // A file that is not there has no signature either: it is refused
        // as such, never passed over (it could appear after the check).
        result = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                     ? static_cast<LONG>(TRUST_E_NOSIGNATURE)
                     : static_cast<LONG>(HRESULT_FROM_WIN32(error));
    } else if (!loadWinTrust())
        result = static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN);
    else
        result = verifySignature(path, held->handle, &signer);
    const char* refusal = judge(result, signer);

    char name[3 * 256];
    if (WideCharToMultiByte(CP_ACP, 0, signer.name, -1, name, sizeof name, NULL, NULL) == 0)
        copyText(name, "?");
    logText(refusal == NULL ? "signature accepted: " : "signature refused: ", path);
    logEvent("signature: WinVerifyTrust 0x%08lX, chain status 0x%08lX",
             static_cast<unsigned long>(result), static_cast<unsigned long>(signer.chainStatus));
    logText("signature: signer ", name);
    if (refusal == NULL) {
#ifdef VARNEL_AFTER_CHECK_HOOK
        // The test build's stand-in for a program racing the run.
        afterFileChecked(path);
#endif
        return 1;
    }

    // The path in the system's code page, the rest in the program's own.
    char reason[3 * 256 + 160];
    joinText(reason, refusal, refusal == kOtherPublisher ? kPublisherText : "");
    showErrorBox(kCannotUseFile, path, reason);
    return 0;
}

#endif
