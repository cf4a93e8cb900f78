#include "install/publisher.h"

#ifndef VARNEL_TRUSTED_PUBLISHER

int holdTrustedFile(const char*, HeldFile*) { return 1; }

#else

#include <softpub.h>

#include "install/texts.h"
#include "install/wintrust.h"
#include "session/log.h"
#include "session/text.h"
#include "ui/message_boxes.h"

namespace {

// Compared as the certificate holds it, in UTF-16: a narrow comparison
// would depend on the code page of the customer's Windows.
const wchar_t kPublisher[] = L"" VARNEL_TRUSTED_PUBLISHER;
const char kPublisherText[] = VARNEL_TRUSTED_PUBLISHER;

// What the signature says, beyond the verdict of WinVerifyTrust.
struct Signer {
    DWORD chainStatus = 0;
    wchar_t name[256] = L"";
};

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
    // No revocation lists fetched: an installer run must not wait on them.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = winTrust.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (result == ERROR_SUCCESS) {
        CRYPT_PROVIDER_DATA* provider = winTrust.WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* found =
            provider != NULL ? winTrust.WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0)
                             : NULL;
        if (found == NULL || found->pChainContext == NULL || found->csCertChain == 0 ||
            found->pasCertChain[0].pCert == NULL) {
            result = TRUST_E_NOSIGNATURE;
        } else {
            signer->chainStatus = found->pChainContext->TrustStatus.dwErrorStatus;
            winTrust.CertGetNameStringW(found->pasCertChain[0].pCert, CERT_NAME_ATTR_TYPE, 0,
                                        const_cast<char*>(szOID_COMMON_NAME), signer->name,
                                        sizeof signer->name / sizeof signer->name[0]);
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    winTrust.WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
}

// Wine builds the signer's chain at the file's creation time, which for an
// unpacked file is the cabinet's date, and so finds any certificate issued
// since then out of its time. Windows builds it at the present (or at the
// signature's time stamp) and fails the call itself for an expired
// certificate (CERT_E_EXPIRED): the time is its business, not the chain's.
const DWORD kChainTimeErrors = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED;

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
    case TRUST_E_EXPLICIT_DISTRUST:
        return kUntrustedRoot;
    default:
        return kSignatureUnchecked;
    }
    if ((signer.chainStatus & ~kChainTimeErrors) != 0) return kUntrustedRoot;
    if (lstrcmpW(signer.name, kPublisher) != 0) return kOtherPublisher;
    return NULL;
}

}  // namespace

int holdTrustedFile(const char* path, HeldFile* held) {
    // Shared for reading only: copying and starting the file still work.
    held->handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    LONG result = ERROR_SUCCESS;
    Signer signer;
    if (held->handle == INVALID_HANDLE_VALUE)
        result = static_cast<LONG>(HRESULT_FROM_WIN32(GetLastError()));
    else if (!loadWinTrust())
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
    if (refusal == NULL) return 1;

    // The path in the system's code page, the rest in the program's own.
    char reason[3 * 256 + 160];
    joinText(reason, refusal, refusal == kOtherPublisher ? kPublisherText : "");
    showErrorBox(kCannotUseFile, path, reason);
    return 0;
}

#endif
