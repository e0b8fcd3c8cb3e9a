#include "tests/e2e/kept_lists.h"

#include <sddl.h>

#include "tests/support/shell.h"

namespace {

// The path below the data folder of the item open at handle (by its name on
// its volume, which Wine tells past the path limit too); anything elsewhere
// as that name behind "elsewhere: ".
std::wstring ItemOf(HANDLE handle) {
    union {
        FILE_NAME_INFO info;
        BYTE bytes[sizeof(FILE_NAME_INFO) + 4096];
    } name = {};
    GetFileInformationByHandleEx(handle, FileNameInfo, &name, sizeof(name));
    const std::wstring item(name.info.FileName, name.info.FileNameLength / sizeof(wchar_t));
    const std::wstring root = DataFolder().substr(2);  // without its drive
    if (item == root) {
        return L"";
    }
    return item.compare(0, root.size() + 1, root + L"\\") == 0 ? item.substr(root.size() + 1) : L"elsewhere: " + item;
}

}  // namespace

KeptLists::KeptLists(HMODULE module, std::map<std::wstring, std::wstring> kept, const std::wstring& failingWrite,
                     DWORD failure)
    : lists(std::move(kept)),
      read_(module, "GetSecurityInfo",
            [this](HANDLE object, auto, auto, auto, auto, PACL* list, auto, PSECURITY_DESCRIPTOR* descriptor) {
                const std::wstring item = ItemOf(object);
                lists.insert({item, L"D:AI(A;ID;FA;;;SY)"});
                asRead.insert({item, lists[item]});
                BOOL present = FALSE;
                BOOL defaulted = FALSE;
                ConvertStringSecurityDescriptorToSecurityDescriptorW(lists[item].c_str(), SDDL_REVISION_1,
                                                                     descriptor, nullptr);
                GetSecurityDescriptorDacl(*descriptor, &present, list, &defaulted);
                return DWORD{ERROR_SUCCESS};
            }),
      write_(module, "SetKernelObjectSecurity", [this, failingWrite, failure](HANDLE object, auto what, PSECURITY_DESCRIPTOR descriptor) {
          const std::wstring item = ItemOf(object);
          written.push_back(item);
          if (item == failingWrite) {
              SetLastError(failure);
              return FALSE;
          }
          LPWSTR text = nullptr;
          ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                               &text, nullptr);
          lists[item] = text != nullptr ? text : L"";
          LocalFree(text);
          return write_.original()(object, what, descriptor);
      }) {}

std::wstring WithInheritedEntry(const std::wstring& list, const std::wstring& flags) {
    size_t at = list.find(L'(');
    while (at != std::wstring::npos) {
        const size_t flagsAt = list.find(L';', at) + 1;  // an entry's second field
        if (list.substr(flagsAt, list.find(L';', flagsAt) - flagsAt).find(L"ID") != std::wstring::npos) {
            break;
        }
        at = list.find(L'(', at + 1);
    }
    const std::wstring entry = L"(A;" + flags + L";FA;;;WD)";
    return at == std::wstring::npos ? list + entry : list.substr(0, at) + entry + list.substr(at);
}
