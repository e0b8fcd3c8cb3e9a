// A call context for unit tests that call the library's functions directly.
#pragma once

#include "hook/context.h"
#include "tests/support/log_capture.h"

inline HookContext TestContext(const PropertyMap* map = nullptr,
                               LogCallback callback = LogCapture::Callback) {
    return HookContext{map, PostPayload, Install, 0, callback};
}
