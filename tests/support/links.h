// Real links for tests. Wine cannot make a junction or symbolic link from
// Windows code, but a Unix symbolic link made inside the prefix is reported
// as a reparse point, as Windows reports a junction: the link is made and
// removed by /bin/ln and /bin/rm, started through CreateProcessW. (A link to
// a file reads back as a plain file there.) Hard links are real under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/iat_patch.h"

// base/nt_file.h's, declared here without its functions, which a test's
// <winternl.h> declares otherwise.
typedef LONG VlxNtStatus;
struct VlxFileIdBothDirInformation;
typedef VlxNtStatus WINAPI ListingFunction(HANDLE, HANDLE, PVOID, PVOID, PVOID, PVOID, ULONG, int, BOOLEAN, PVOID,
                                           BOOLEAN);
struct VlxObjectAttributes;
typedef VlxNtStatus WINAPI OpenFunction(HANDLE*, ACCESS_MASK, VlxObjectAttributes*, PVOID, PLARGE_INTEGER, ULONG,
                                        ULONG, ULONG, ULONG, PVOID, ULONG);

// The Unix path of a Windows path, as Wine maps it; empty when it has none.
std::string UnixName(const std::wstring& path);

// Starts a Unix program (its path as Wine sees it, then its arguments). Wine
// gives no handle to wait on: the caller waits for the effect.
bool RunUnix(const std::string& commandLine);

enum class LinkKind {
    kSymbolic,  // leads to target, a folder or a file
    kHard,      // a second name of target, a file
};

// A link at link (which must not exist) to target; removed again, without
// touching the target, when the object ends.
class ScopedLink {
public:
    ScopedLink(const std::wstring& link, const std::wstring& target, LinkKind kind = LinkKind::kSymbolic);
    ~ScopedLink();
    ScopedLink(const ScopedLink&) = delete;
    ScopedLink& operator=(const ScopedLink&) = delete;

    // True when the link is there.
    bool made() const { return made_; }

private:
    std::wstring link_;
    bool made_ = false;
};

// Answers module's folder listings (NtQueryDirectoryFile) as a volume that
// tells more or less than Wine would: each entry listed passes through
// change, which may also fail the query by returning its status (0 lists
// the entry). Wine lists a link to a file as the file;
// Windows lists it as a reparse point with its tag.
class ListingAnswer {
public:
    ListingAnswer(HMODULE module, std::function<VlxNtStatus(VlxFileIdBothDirInformation& entry)> change);

private:
    ImportPatch<ListingFunction> patch_;
};

// What a volume lists for a reparse point tagged tag at name; Windows lists a
// symbolic link so, tagged IO_REPARSE_TAG_SYMLINK.
std::function<VlxNtStatus(VlxFileIdBothDirInformation&)> ReparsePointAt(const std::wstring& name,
                                                                       DWORD tag = IO_REPARSE_TAG_SYMLINK);

// The reparse points a listing may tell: the name surrogates (junction,
// symbolic link) and a tag the platform does not tell lead elsewhere; a
// deduplicated, compressed or cloud file or folder is the item itself.
struct ReparseTag {
    const char* name;
    DWORD tag;
    bool link;
};
extern const std::vector<ReparseTag> kReparseTags;

// Answers module's GetVolumeInformationByHandleW as a volume without access
// lists (FAT, exFAT) does, while fat is true.
class FatVolume {
public:
    FatVolume(HMODULE module, const bool& fat);

private:
    ImportPatch<decltype(GetVolumeInformationByHandleW)> patch_;
};

// A tree deeper than a walk may go, as a user makes one (65,000 nested
// folders take seconds), for module's opens and listings: below top, each
// folder "d" lists one more "d" down to levels below top, each the real
// folder top\d opened again.
class EndlessDepth {
public:
    EndlessDepth(HMODULE module, const std::wstring& top, size_t levels);
    ~EndlessDepth();
    EndlessDepth(const EndlessDepth&) = delete;
    EndlessDepth& operator=(const EndlessDepth&) = delete;

    // The deepest level opened, top being the first.
    size_t deepest() const { return deepest_; }

private:
    HANDLE top_;
    LARGE_INTEGER id_ = {};  // top\d's
    size_t levels_;
    size_t deepest_ = 1;
    std::map<HANDLE, size_t> level_;  // of each "d" open
    std::set<HANDLE> listed_;
    ImportPatch<OpenFunction> open_;
    ImportPatch<ListingFunction> listing_;
};
