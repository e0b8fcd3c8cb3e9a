#include "base/deletion_record.h"

#include <aclapi.h>

#include <string.h>

#include "base/empty_key.h"
#include "base/guards.h"
#include "base/no_follow.h"

// Named by the build from the product's facts (VLX_RECORDS_KEY_NAME).
const wchar_t kDeletionRecordKey[] = L"SOFTWARE\\" VLX_RECORDS_KEY_NAME;

static_assert(sizeof(DeletionRecord) == 64 + kPathChars * sizeof(wchar_t), "a record has no padding");

namespace {

// FileIdInfo (Windows 8 and later), which our headers (written for Windows 7)
// do not name.
const FILE_INFO_BY_HANDLE_CLASS kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdInformation {
    ULONGLONG volume;
    BYTE id[16];
};

// Reads what proof compares into record: 0, or the platform's error.
DWORD ReadProof(HANDLE file, DWORD proof, DeletionRecord* record) {
    record->proof = proof;
    memset(record->id, 0, sizeof(record->id));
    if (proof == kProofFileId) {
        FileIdInformation information;
        if (!GetFileInformationByHandleEx(file, kFileIdInfo, &information, sizeof(information))) {
            return LastFailure();
        }
        record->volume = information.volume;
        memcpy(record->id, information.id, sizeof(record->id));
        return ERROR_SUCCESS;
    }
    if (proof == kProofIndex) {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(file, &information)) {
            return LastFailure();
        }
        record->volume = information.dwVolumeSerialNumber;
        const ULONGLONG index = (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
        memcpy(record->id, &index, sizeof(index));
        return ERROR_SUCCESS;
    }
    if (proof == kProofTraits) {
        DWORD serial = 0;
        FILE_BASIC_INFO basic;
        FILE_STANDARD_INFO standard;
        if (!GetVolumeInformationByHandleW(file, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
            !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic)) ||
            !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard))) {
            return LastFailure();
        }
        record->volume = serial;
        record->size = static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
        record->created = static_cast<ULONGLONG>(basic.CreationTime.QuadPart);
        record->written = static_cast<ULONGLONG>(basic.LastWriteTime.QuadPart);
        return ERROR_SUCCESS;
    }
    return ERROR_INVALID_DATA;
}

// Gives the records key its access list: full access for SYSTEM and
// Administrators, nobody else, nothing inherited from its parent (which
// lets every user read). The temporary names tell where held files went.
DWORD RestrictKey(HKEY key) {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    Sid system;
    Sid administrators;
    if (!AllocateAndInitializeSid(&authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, system.put()) ||
        !AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, administrators.put())) {
        return LastFailure();
    }
    EXPLICIT_ACCESS_W access[2] = {};
    const PSID sids[2] = {system.get(), administrators.get()};
    for (int i = 0; i < 2; ++i) {
        access[i].grfAccessPermissions = KEY_ALL_ACCESS;
        access[i].grfAccessMode = SET_ACCESS;
        access[i].grfInheritance = NO_INHERITANCE;
        access[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access[i].Trustee.ptstrName = static_cast<LPWSTR>(sids[i]);
    }
    LocalMemory<PACL> list;
    DWORD status = SetEntriesInAclW(2, access, nullptr, list.put());
    if (status == ERROR_SUCCESS) {
        status = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, list.get(), nullptr);
    }
    return status;
}

}  // namespace

DWORD IdentifyFile(HANDLE file, DeletionRecord* record) {
    DWORD flags = 0;
    if (!GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        return LastFailure();
    }
    if ((flags & FILE_PERSISTENT_ACLS) == 0) {
        return ReadProof(file, kProofTraits, record);
    }
    const DWORD byId = ReadProof(file, kProofFileId, record);
    return IsUnsupported(byId) ? ReadProof(file, kProofIndex, record) : byId;
}

DWORD MatchRecordedFile(HANDLE file, const DeletionRecord& record, bool* same) {
    DeletionRecord found = {};
    const DWORD read = ReadProof(file, record.proof, &found);
    if (read != ERROR_SUCCESS) {
        return read;
    }
    *same = found.volume == record.volume &&
            (record.proof == kProofTraits
                 ? found.size == record.size && found.created == record.created && found.written == record.written
                 : memcmp(found.id, record.id, sizeof(found.id)) == 0);
    return ERROR_SUCCESS;
}

DWORD WriteDeletionRecord(const wchar_t* temporaryPath, const DeletionRecord& record, RecordWrite how) {
    RegKey key;
    LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDeletionRecordKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE | KEY_QUERY_VALUE | WRITE_DAC, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) {
        key.release();  // nothing was opened, whatever the out-parameter holds
        return static_cast<DWORD>(status);
    }
    // Also where an earlier hook made the key, or someone changed its list.
    status = static_cast<LONG>(RestrictKey(key.get()));
    if (status == ERROR_SUCCESS && how == kNewRecord) {
        const LONG found = RegQueryValueExW(key.get(), temporaryPath, nullptr, nullptr, nullptr, nullptr);
        status = found == ERROR_SUCCESS ? ERROR_ALREADY_EXISTS : found == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : found;
    }
    if (status == ERROR_SUCCESS) {
        DeletionRecord stored = record;
        stored.layout = kDeletionRecordLayout;
        status = RegSetValueExW(key.get(), temporaryPath, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&stored),
                                sizeof(stored));
    }
    // On disk before the rename it tells of: the machine may lose its power.
    if (status == ERROR_SUCCESS) {
        status = RegFlushKey(key.get());
    }
    return static_cast<DWORD>(status);
}

bool RemoveDeletionRecord(const wchar_t* temporaryPath) {
    RegKey key;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeletionRecordKey, 0, KEY_SET_VALUE, key.put());
    if (status != ERROR_SUCCESS) {
        key.release();
        return status == ERROR_FILE_NOT_FOUND;
    }
    status = RegDeleteValueW(key.get(), temporaryPath);
    key.reset();
    DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kDeletionRecordKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool NextDeletionRecord(DWORD index, wchar_t (&leftover)[kPathChars], DeletionRecord* record) {
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeletionRecordKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        key.release();
        return false;
    }
    DWORD leftoverChars = kPathChars;
    DWORD type = REG_NONE;
    DWORD size = sizeof(*record);
    const LONG status = RegEnumValueW(key.get(), index, leftover, &leftoverChars, nullptr, &type,
                                      reinterpret_cast<BYTE*>(record), &size);
    if (status == ERROR_NO_MORE_ITEMS) {
        // A run ended between the last record and the key leaves it empty.
        if (index == 0) {
            key.reset();
            DeleteKeyIfEmpty(HKEY_LOCAL_MACHINE, kDeletionRecordKey);
        }
        return false;
    }
    if (status == ERROR_MORE_DATA) {
        leftover[0] = L'\0';  // too long to be ours: passed over
    }
    const bool whole = status == ERROR_SUCCESS && type == REG_BINARY && size == sizeof(*record) &&
                       record->layout == kDeletionRecordLayout && record->proof >= kProofFileId &&
                       record->proof <= kProofTraits && record->base[kPathChars - 1] == L'\0';
    if (!whole) {
        memset(record, 0, sizeof(*record));
    }
    return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}
