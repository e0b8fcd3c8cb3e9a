// Real links for tests. Wine cannot make a junction or symbolic link from
// Windows code, but a Unix symbolic link made inside the prefix is reported
// as a reparse point, as Windows reports a junction: the link is made and
// removed by /bin/ln and /bin/rm, started through CreateProcessW. (A link to
// a file reads back as a plain file there.) Hard links are real under Wine.
#pragma once

#include <string>

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
