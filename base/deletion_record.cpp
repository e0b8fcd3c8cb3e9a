#include "base/deletion_record.h"

#include <aclapi.h>
#include <sddl.h>

#include <string.h>

#include "base/checked_text.h"
#include "base/guards.h"
#include "base/nt_file.h"

// Named by the build from the product's facts (VLX_RECORDS_KEY_NAME).
const wchar_t kDeletionRecordKey[] = L"SOFTWARE\\" VLX_RECORDS_KEY_NAME;

static_assert(sizeof(DeletionRecord) == 64 + kPathChars * sizeof(wchar_t), "a record has no padding");

namespace {

// The records key's owner and access list: Administrators own it, SYSTEM and
// Administrators have full access and nobody else any, nothing inherited from
// its parent (which lets every user read): the temporary names tell where
// held files went.
const wchar_t kRecordsKeySecurity[] = L"O:BAD:P(A;;KA;;;SY)(A;;KA;;;BA)";

// A tenth of a microsecond, the unit of file times, in quarter hours and days.
const LONGLONG kQuarterHour = 15LL * 60 * 10000000;
const LONGLONG kDay = 96 * kQuarterHour;

// Reads what proof compares into record: 0, or the platform's error.
DWORD ReadProof(HANDLE file, DWORD proof, DeletionRecord* record) {
    record->proof = proof;
    memset(record->id, 0, sizeof(record->id));
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof(basic))) {
        return LastFailure();
    }
    record->created = static_cast<ULONGLONG>(basic.CreationTime.QuadPart);
    if (proof == kProofFileId) {
        VlxFileIdInfo information;
        if (!GetFileInformationByHandleEx(file, kVlxFileIdInfo, &information, sizeof(information))) {
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
        FILE_STANDARD_INFO standard;
        if (!GetVolumeInformationByHandleW(file, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
            !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard))) {
            return LastFailure();
        }
        record->volume = serial;
        record->size = static_cast<ULONGLONG>(standard.EndOfFile.QuadPart);
        record->written = static_cast<ULONGLONG>(basic.LastWriteTime.QuadPart);
        return ERROR_SUCCESS;
    }
    return ERROR_INVALID_DATA;
}

// FAT keeps local time: after a change of time zone or of daylight saving
// time both times read back moved by one and the same whole number of
// quarter hours, at most a day either way.
bool SameTimesInAnyZone(const DeletionRecord& found, const DeletionRecord& record) {
    const LONGLONG shift = static_cast<LONGLONG>(found.created - record.created);
    if (static_cast<LONGLONG>(found.written - record.written) != shift) {
        return false;
    }
    // Each whole shift in turn: a 64-bit remainder would need a runtime
    // helper that the DLL, which links no C runtime, does not have.
    for (LONGLONG whole = -kDay; whole <= kDay; whole += kQuarterHour) {
        if (shift == whole) {
            return true;
        }
    }
    return false;
}

// Gives the key the access list of security: a key that an earlier hook made,
// or whose list someone changed, and one just made on a system that ignored
// the list it was given.
DWORD RestrictKey(HKEY key, PSECURITY_DESCRIPTOR security) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL list = nullptr;
    if (!GetSecurityDescriptorDacl(security, &present, &list, &defaulted)) {
        return LastFailure();
    }
    if (!present || list == nullptr) {
        return ERROR_INVALID_SECURITY_DESCR;  // no list would let everyone in
    }
    return SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                           nullptr, nullptr, list, nullptr);
}

// Opens parent\name with access, making it where it is missing, and gives it
// the access list of security (RestrictKey): 0, or why not (*key empty).
DWORD CreateRestricted(HKEY parent, const wchar_t* name, REGSAM access, PSECURITY_DESCRIPTOR security, RegKey* key) {
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), security, FALSE};
    const LONG created = RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access | WRITE_DAC,
                                         &attributes, key->put(), nullptr);
    if (created != ERROR_SUCCESS) {
        key->release();  // nothing was opened, whatever the out-parameter holds
        return static_cast<DWORD>(created);
    }
    const DWORD status = RestrictKey(key->get(), security);
    if (status != ERROR_SUCCESS) {
        key->reset();
    }
    return status;
}

// Reads the value at index of the records key open at key (see
// ReadDeletionRecord).
RecordValue ReadValue(HKEY key, DWORD index, wchar_t (&name)[kPathChars], DeletionRecord* record) {
    DWORD nameChars = kPathChars;
    DWORD type = REG_NONE;
    DWORD size = sizeof(*record);
    LONG status = RegEnumValueW(key, index, name, &nameChars, nullptr, &type, reinterpret_cast<BYTE*>(record), &size);
    const bool read = status == ERROR_SUCCESS;
    if (status == ERROR_MORE_DATA) {
        // The name or the data did not fit: the name alone tells which.
        nameChars = kPathChars;
        status = RegEnumValueW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
    }
    if (status == ERROR_MORE_DATA || (status == ERROR_SUCCESS && nameChars != wcslen(name))) {
        return kUnnamedValue;
    }
    if (status != ERROR_SUCCESS) {
        return kNoMoreValues;
    }
    const bool ours = read && type == REG_BINARY && size == sizeof(*record) &&
                      record->layout == kDeletionRecordLayout && record->proof >= kProofFileId &&
                      record->proof <= kProofTraits && record->base[kPathChars - 1] == L'\0' && IsFullPath(name);
    return ours ? kOurRecord : kForeignValue;
}

// The number of values the key open at key holds: false when it cannot be read.
bool CountValues(HKEY key, DWORD* values) {
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS;
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
    DWORD status = ReadProof(file, kProofFileId, record);
    if (IsUnsupported(status)) {
        status = ReadProof(file, kProofIndex, record);
    }
    // An id or index of zeros tells nothing.
    static const BYTE kNoId[sizeof(record->id)] = {};
    return status == ERROR_SUCCESS && memcmp(record->id, kNoId, sizeof(kNoId)) == 0 ? kNoFileIdentity : status;
}

DWORD MatchRecordedFile(HANDLE item, const DeletionRecord& record) {
    DeletionRecord found = {};
    const DWORD read = ReadProof(item, record.proof, &found);
    if (read != ERROR_SUCCESS) {
        return read;
    }
    const bool same = record.proof == kProofTraits
                          ? found.size == record.size && SameTimesInAnyZone(found, record)
                          : found.created == record.created && memcmp(found.id, record.id, sizeof(found.id)) == 0;
    return found.volume != record.volume ? ERROR_WRONG_DISK : same ? ERROR_SUCCESS : kNotRecordedFile;
}

DWORD CreateRecordsKey(const wchar_t* subKey, REGSAM access, RegKey* key) {
    LocalMemory<PSECURITY_DESCRIPTOR> security;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kRecordsKeySecurity, SDDL_REVISION_1, security.put(),
                                                              nullptr)) {
        return LastFailure();
    }
    if (subKey == nullptr) {
        return CreateRestricted(HKEY_LOCAL_MACHINE, kDeletionRecordKey, access, security.get(), key);
    }
    RegKey records;
    const DWORD status = CreateRestricted(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_CREATE_SUB_KEY,
                                          security.get(), &records);
    return status == ERROR_SUCCESS ? CreateRestricted(records.get(), subKey, access, security.get(), key) : status;
}

DWORD WriteRecordsValue(const wchar_t* subKey, const wchar_t* name, DWORD type, const void* data, DWORD size,
                        RecordWrite how) {
    RegKey key;
    LONG status = static_cast<LONG>(CreateRecordsKey(subKey, KEY_SET_VALUE | KEY_QUERY_VALUE, &key));
    if (status == ERROR_SUCCESS && how == kNewRecord) {
        const LONG found = RegQueryValueExW(key.get(), name, nullptr, nullptr, nullptr, nullptr);
        status = found == ERROR_SUCCESS ? ERROR_ALREADY_EXISTS : found == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : found;
    }
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
    }
    // On disk before the change it tells of: the machine may lose its power.
    if (status == ERROR_SUCCESS) {
        status = RegFlushKey(key.get());
    }
    return static_cast<DWORD>(status);
}

DWORD WriteDeletionRecord(const wchar_t* temporaryPath, const DeletionRecord& record, RecordWrite how) {
    DeletionRecord stored = record;
    stored.layout = kDeletionRecordLayout;
    return WriteRecordsValue(nullptr, temporaryPath, REG_BINARY, &stored, sizeof(stored), how);
}

bool RemoveDeletionRecord(const wchar_t* temporaryPath) {
    LONG status = ERROR_SUCCESS;
    {
        const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_SET_VALUE, &status);
        if (!key.valid()) {
            return status == ERROR_FILE_NOT_FOUND;
        }
        status = RegDeleteValueW(key.get(), temporaryPath);
    }
    RemoveRecordsKeyWhenDone();
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

DWORD DeletionRecordCount() {
    DWORD values = 0;
    const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_QUERY_VALUE);
    return key.valid() && CountValues(key.get(), &values) ? values : 0;
}

RecordValue ReadDeletionRecord(DWORD index, wchar_t (&leftover)[kPathChars], DeletionRecord* record) {
    const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_QUERY_VALUE);
    return key.valid() ? ReadValue(key.get(), index, leftover, record) : kNoMoreValues;
}

void RemoveRecordsKeyWhenDone() {
    {
        const RegKey key = OpenRegKey(HKEY_LOCAL_MACHINE, kDeletionRecordKey, KEY_QUERY_VALUE);
        DWORD values = 0;
        if (!key.valid() || !CountValues(key.get(), &values)) {
            return;
        }
        // Every value must be read and be none of ours; a sub-key keeps the
        // key too, as RegDeleteKeyW refuses it.
        wchar_t name[kPathChars];
        DeletionRecord record;
        for (DWORD index = 0; index < values; ++index) {
            const RecordValue value = ReadValue(key.get(), index, name, &record);
            if (value != kForeignValue && value != kUnnamedValue) {
                return;
            }
        }
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDeletionRecordKey);
}
