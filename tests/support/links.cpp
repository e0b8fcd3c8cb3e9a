#include "tests/support/links.h"

#include <windows.h>

#include <string.h>

#include <algorithm>
#include <tuple>

#include "base/nt_file.h"
#include "tests/support/environment.h"

namespace {

typedef char*(CDECL* UnixNameFunction)(LPCWSTR);

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Wine reports a link to a folder as a reparse point, a link to a file as a
// plain file: presence is what tells that ln or rm is done.
bool WaitFor(const std::wstring& path, bool present) {
    for (int i = 0; i < 500; ++i) {
        if ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

}  // namespace

std::string UnixName(const std::wstring& path) {
    const auto unixName = reinterpret_cast<UnixNameFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName == nullptr) {
        return std::string();
    }
    char* name = unixName(path.c_str());
    if (name == nullptr) {
        return std::string();
    }
    const std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool RunUnix(const std::string& commandLine) {
    std::wstring command = FromUtf8(commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    // Wine answers TRUE for a Unix program but fills the process information
    // with whatever its stack held: closing those "handles" closed handles of
    // this process that happened to have their values.
    PROCESS_INFORMATION ignored = {};
    return CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &ignored) != FALSE;
}

ScopedLink::ScopedLink(const std::wstring& link, const std::wstring& target, LinkKind kind) : link_(link) {
    const std::string unixLink = UnixName(link);
    const std::string unixTarget = UnixName(target);
    const char* const ln = kind == LinkKind::kSymbolic ? "/bin/ln -s " : "/bin/ln ";
    made_ = !unixLink.empty() && !unixTarget.empty() &&
            RunUnix(ln + Quoted(unixTarget) + " " + Quoted(unixLink)) &&
            WaitFor(link, true);
}

ScopedLink::~ScopedLink() {
    const std::string unixLink = UnixName(link_);
    // rm without -r removes the link itself, never what it leads to.
    if (!unixLink.empty() && RunUnix("/bin/rm -f " + Quoted(unixLink))) {
        WaitFor(link_, false);
    }
}

ListingAnswer::ListingAnswer(HMODULE module, std::function<VlxNtStatus(VlxFileIdBothDirInformation&)> change)
    : patch_(module, "NtQueryDirectoryFile", [this, change](auto folder, auto event, auto apc, auto context,
                                                            auto status, auto information, auto... rest) {
          VlxNtStatus listed = patch_.original()(folder, event, apc, context, status, information, rest...);
          // Every entry of the batch, the first refusal the answer.
          for (auto* entry = static_cast<BYTE*>(information); listed == 0; entry += reinterpret_cast<
                   VlxFileIdBothDirInformation*>(entry)->NextEntryOffset) {
              const auto& info = *reinterpret_cast<VlxFileIdBothDirInformation*>(entry);
              listed = change(*reinterpret_cast<VlxFileIdBothDirInformation*>(entry));
              if (info.NextEntryOffset == 0) {
                  break;
              }
          }
          return listed;
      }) {}

std::function<VlxNtStatus(VlxFileIdBothDirInformation&)> ReparsePointAt(const std::wstring& name, DWORD tag) {
    return [name, tag](VlxFileIdBothDirInformation& entry) {
        if (std::wstring(entry.FileName, entry.FileNameLength / sizeof(wchar_t)) == name) {
            entry.FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            entry.EaSize = tag;
        }
        return VlxNtStatus{0};
    };
}

const std::vector<ReparseTag> kReparseTags = {
    {"Deduplicated", IO_REPARSE_TAG_DEDUP, false}, {"Compressed", IO_REPARSE_TAG_WOF, false},
    {"CloudPlaceholder", IO_REPARSE_TAG_CLOUD_6, false}, {"Junction", IO_REPARSE_TAG_MOUNT_POINT, true},
    {"SymbolicLink", IO_REPARSE_TAG_SYMLINK, true}, {"TagNotReported", 0, true}};

FatVolume::FatVolume(HMODULE module, const bool& fat)
    : patch_(module, "GetVolumeInformationByHandleW", [this, &fat](auto... call) {
          const LPDWORD flags = std::get<5>(std::make_tuple(call...));
          const BOOL answered = patch_.original()(call...);
          if (fat && answered && flags != nullptr) {
              *flags &= ~FILE_PERSISTENT_ACLS;
          }
          return answered;
      }) {}

EndlessDepth::EndlessDepth(HMODULE module, const std::wstring& top, size_t levels)
    : top_(CreateFileW(top.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE, 7, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr)),
      levels_(levels),
      open_(module, "NtCreateFile", [this](HANDLE* file, ACCESS_MASK access, VlxObjectAttributes* object,
                                           auto... rest) {
          const bool isD = object->ObjectName->Length == 2 && object->ObjectName->Buffer[0] == L'd';
          const size_t below = level_.count(object->RootDirectory) != 0 ? level_[object->RootDirectory] : 1;
          VlxObjectAttributes again = *object;
          again.RootDirectory = isD ? top_ : object->RootDirectory;
          const VlxNtStatus status = open_.original()(file, access, &again, rest...);
          if (isD && status == 0) {
              level_[*file] = below + 1;
              deepest_ = std::max(deepest_, below + 1);
          }
          return status;
      }),
      listing_(module, "NtQueryDirectoryFile", [this](HANDLE folder, auto... rest) {
          const VlxNtStatus status = listing_.original()(folder, rest...);
          if (status != kVlxStatusNoMoreFiles || level_.count(folder) == 0 || level_[folder] > levels_ ||
              !listed_.insert(folder).second) {
              return status;
          }
          auto& entry = *static_cast<VlxFileIdBothDirInformation*>(std::get<4>(std::make_tuple(rest...)));
          memset(&entry, 0, sizeof(entry));
          entry.FileAttributes = FILE_ATTRIBUTE_DIRECTORY;
          entry.FileNameLength = 2;
          entry.FileName[0] = L'd';
          entry.FileId = id_;
          return VlxNtStatus{0};
      }) {
    const HANDLE d = CreateFileW((top + L"\\d").c_str(), 0, 7, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                 nullptr);
    VlxIoStatusBlock io = {};
    NtQueryInformationFile(d, &io, &id_, sizeof(id_), kVlxFileInternalInformation);
    CloseHandle(d);
}

EndlessDepth::~EndlessDepth() {
    CloseHandle(top_);
}
