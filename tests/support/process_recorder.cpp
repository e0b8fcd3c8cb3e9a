#include "tests/support/process_recorder.h"

#include <stdlib.h>

#include "tests/support/iat_patch.h"

namespace {

CreateProcessRecorder* g_recorder = nullptr;

}  // namespace

struct CreateProcessRecorder::Patch {
    ImportPatch<decltype(CreateProcessW)> import;
    explicit Patch(HMODULE module)
        : import(module, "kernel32.dll", "CreateProcessW", &CreateProcessRecorder::Replacement) {}
};

CreateProcessRecorder::CreateProcessRecorder(HMODULE module, Children children)
    : children_(children) {
    if (g_recorder != nullptr) {
        abort();
    }
    g_recorder = this;
    patch_.reset(new Patch(module));
}

CreateProcessRecorder::~CreateProcessRecorder() {
    for (const Handle& process : processes_) {
        EndIfRunning(process.get());
    }
    patch_.reset();
    g_recorder = nullptr;
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
    Call call = {application != nullptr ? application : L"",
                 commandLine != nullptr ? commandLine : L"",
                 inheritHandles,
                 creationFlags,
                 environment != nullptr,
                 currentDirectory != nullptr,
                 startup != nullptr ? startup->cb : 0,
                 startup != nullptr ? startup->dwFlags : 0,
                 nullptr};
    BOOL result = FALSE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (self->children_ == Children::kStart) {
        result = self->patch_->import.original()(application, commandLine, processAttributes,
                                                 threadAttributes, inheritHandles, creationFlags,
                                                 environment, currentDirectory, startup,
                                                 information);
        error = result ? ERROR_SUCCESS : GetLastError();
        if (result) {
            Handle own;
            DuplicateHandle(GetCurrentProcess(), information->hProcess, GetCurrentProcess(),
                            own.put(), 0, FALSE, DUPLICATE_SAME_ACCESS);
            call.process = own.get();
            self->processes_.push_back(std::move(own));
        }
    }
    self->calls_.push_back(call);
    SetLastError(error);
    return result;
}

bool EndIfRunning(HANDLE child) {
    const std::wstring running = L"Local\\vlx_child_" + std::to_wstring(GetProcessId(child));
    for (int tries = 0; tries < 1000 && WaitForSingleObject(child, 0) == WAIT_TIMEOUT; ++tries) {
        if (Handle(OpenEventW(SYNCHRONIZE, FALSE, running.c_str())).valid()) {
            break;
        }
        Sleep(10);
    }
    const bool stillRunning = WaitForSingleObject(child, 0) == WAIT_TIMEOUT;
    TerminateProcess(child, 1);
    WaitForSingleObject(child, 10000);
    return stillRunning;
}
