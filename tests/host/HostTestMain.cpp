// Test runner for the hosting tests: the framework's message manager must exist before any
// plug-in format is created; the editor tests open windows, which need a display.

#include "../common/JuceGuiTestEnvironment.h"

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new quorvane::testing::JuceGuiTestEnvironment());
    return RUN_ALL_TESTS();
}
