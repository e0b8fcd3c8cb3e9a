#include "tests/support/process_recorder.h"

#include <stdlib.h>

#include "tests/support/iat_patch.h"

namespace {

CreateProcessRecorder* g_recorder = nullptr;

typedef BOOL(WINAPI* CreateProcessFunction)(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                            LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPCWSTR,
                                            LPSTARTUPINFOW, LPPROCESS_INFORMATION);

}  // namespace

struct CreateProcessRecorder::Patch {
    ImportPatch import;
    Patch(HMODULE module)
        : import(module, "kernel32.dll", "CreateProcessW", &CreateProcessRecorder::Replacement) {}
};

CreateProcessRecorder::CreateProcessRecorder(HMODULE module, bool passOn)
    : patch_(nullptr), passOn_(passOn) {
    if (g_recorder != nullptr) {
        abort();
    }
    g_recorder = this;
    patch_ = new Patch(module);
}

CreateProcessRecorder::~CreateProcessRecorder() {
    delete patch_;
    g_recorder = nullptr;
    for (const Call& call : calls_) {
        if (call.process != nullptr) {
            CloseHandle(call.process);
        }
    }
}

bool CreateProcessRecorder::applied() const {
    return patch_->import.applied();
}

std::vector<std::wstring> CreateProcessRecorder::commandLines() const {
    std::vector<std::wstring> lines;
    for (const Call& call : calls_) {
        lines.push_back(call.commandLine);
    }
    return lines;
}

BOOL WINAPI CreateProcessRecorder::Replacement(LPCWSTR application, LPWSTR commandLine,
                                               LPSECURITY_ATTRIBUTES processAttributes,
                                               LPSECURITY_ATTRIBUTES threadAttributes,
                                               BOOL inheritHandles, DWORD creationFlags,
                                               LPVOID environment, LPCWSTR currentDirectory,
                                               LPSTARTUPINFOW startup,
                                               LPPROCESS_INFORMATION information) {
    CreateProcessRecorder* self = g_recorder;
    Call call = {application != nullptr,
                 commandLine != nullptr ? commandLine : L"",
                 inheritHandles,
                 creationFlags,
                 environment != nullptr,
                 currentDirectory != nullptr,
                 startup != nullptr ? startup->cb : 0,
                 startup != nullptr ? startup->dwFlags : 0,
                 nullptr};
    BOOL result = FALSE;
    if (self->passOn_) {
        const auto original = self->patch_->import.original<CreateProcessFunction>();
        result = original(application, commandLine, processAttributes, threadAttributes,
                          inheritHandles, creationFlags, environment, currentDirectory, startup,
                          information);
        if (result) {
            DuplicateHandle(GetCurrentProcess(), information->hProcess, GetCurrentProcess(),
                            &call.process, 0, FALSE, DUPLICATE_SAME_ACCESS);
        }
    }
    const DWORD error = result ? ERROR_SUCCESS : (self->passOn_ ? GetLastError() : ERROR_FILE_NOT_FOUND);
    self->calls_.push_back(call);
    SetLastError(error);
    return result;
}
