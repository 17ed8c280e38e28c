// Test main shared by every test executable: the start-up tables are built once, as in the engine.
#include "board/tables.h"

#include <glib.h>
#include <gtest/gtest.h>

namespace {
class TablesEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        GRand* rng = g_rand_new_with_seed(0);
        orbelin::init_tables(rng);
        g_rand_free(rng);
    }
};
} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ::testing::AddGlobalTestEnvironment(new TablesEnvironment);
    return RUN_ALL_TESTS();
}
