// A rule list window over a toolkit and a fresh hive.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "install_form.h"
#include "rule_store.h"
#include "run_program.h"
#include "scripted_toolkit.h"
#include "temp_hive.h"

template <typename Toolkit>
class WindowFixture : public ::testing::Test {
protected:
    InstallForm& Open() {
        form = std::make_unique<InstallForm>(toolkit);
        form->Form_Load();
        return *form;
    }

    std::vector<std::string> Items(int list) const {
        std::vector<std::string> items;
        ListBox& box = *form->List1[static_cast<size_t>(list)];
        for (int16_t i = 0; i < box.ListCount(); ++i) items.push_back(box.List(i));
        return items;
    }

    // The enabled buttons of a list, by caption, in the window's order.
    std::string EnabledButtons(int list) const {
        size_t k = static_cast<size_t>(list);
        std::string enabled;
        for (Button* button :
             {form->Command1[k].get(), form->Command2[k].get(), form->Command3[k].get(), form->Command4[k].get(),
              k == 0 ? form->Command5.get() : nullptr, form->Command7[k].get(), form->Command8[k].get()})
            if (button && button->Enabled()) enabled += (enabled.empty() ? "" : ", ") + button->Caption();
        return enabled;
    }

    TempHive hive;
    Toolkit toolkit;
    std::unique_ptr<InstallForm> form;
};

using WindowTest = WindowFixture<ScriptedToolkit>;

inline std::vector<std::string> Names(std::initializer_list<const char*> names) {
    return std::vector<std::string>(names.begin(), names.end());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}
