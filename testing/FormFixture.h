#pragma once

#include <gtest/gtest.h>

#include "gui/MainFormLogic.h"
#include "testing/ScriptedWindow.h"
#include "testing/TempDir.h"

namespace packsmith::test {

// For the tests of the window's logic: the logic on a window double, the two wired together
// and the form created as the real window does it, and a fresh temporary directory.
class FormFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.OnResultsChanged = [this] { form.ResultsChanged(); };
        form.FormCreate();
    }

    TempDir dir;
    ScriptedWindow window;
    MainFormLogic form{window};
};

} // namespace packsmith::test
