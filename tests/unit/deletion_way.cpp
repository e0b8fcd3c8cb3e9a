// The library's code is linked into this program: where the run takes the
// Windows 10 way of deletion, its deletions are answered so for the whole run.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/support/windows10_deletion.h"

namespace {

class DeletionWay : public testing::Environment {
public:
    void SetUp() override { layer_ = DeletionWayFor(GetModuleHandleW(nullptr)); }
    void TearDown() override { layer_.reset(); }

private:
    std::unique_ptr<Windows10Deletion> layer_;
};

testing::Environment* const g_deletionWay = testing::AddGlobalTestEnvironment(new DeletionWay);

}  // namespace
