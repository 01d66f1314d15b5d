// Test entry of the e2e suite: the shared Xvfb goes down with the run.
#include <gtest/gtest.h>

#include "harness.hpp"

namespace {

class XServerEnvironment : public ::testing::Environment {
public:
    void TearDown() override { e2e::XServer::stop_shared(); }
};

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XServerEnvironment);
    return RUN_ALL_TESTS();
}
