#pragma once
// A dialog on the fake platform with the target combo box and a folder image list attached, as
// data exchange and initialisation would leave them, for the target folder tests.
#include <gtest/gtest.h>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "app/CopyDlg.h"
#include "platform/fake/FakePlatform.h"
#include "target/DestinationHistory.h"

namespace dravolin {

class TargetFixture : public ::testing::Test {
  protected:
    using Language = fake::FakeResources::Language;

    explicit TargetFixture(Language language = Language::English) : platform(language) {
        dialog.Attach(platform.window);
        AttachControls(platform.window.combo);
    }

    static std::string ValueName(int index) {
        char name[32];
        std::snprintf(name, sizeof name, "Destination%02d", index);
        return name;
    }
    // A distinct, already normalised folder per index.
    static std::string Folder(int index) {
        char path[16];
        std::snprintf(path, sizeof path, "C:\\H%02d\\", index);
        return path;
    }
    static std::vector<std::string> Folders(int count) {
        std::vector<std::string> folders;
        for (int i = 0; i < count; ++i) folders.push_back(Folder(i));
        return folders;
    }

    // Puts entries straight into the control and forgets the calls that did it.
    void Fill(const std::vector<std::string>& texts) {
        for (const std::string& text : texts) combo->InsertItem(combo->GetCount(), text);
        platform.log.Clear();
    }
    std::vector<std::string> Entries() const { return combo->Texts(); }

    void Store(int index, const std::string& data, std::uint32_t type = win::kRegSz) {
        platform.registry.Put(win::RootKey::CurrentUser, kHistoryKey, ValueName(index), type, data);
    }
    void StoreAll(const std::vector<std::string>& texts) {
        for (int i = 0; i < static_cast<int>(texts.size()); ++i) Store(i, texts[i]);
    }
    std::optional<fake::FakeRegistry::Stored> Stored(int index) const {
        return platform.registry.Find(win::RootKey::CurrentUser, kHistoryKey, ValueName(index));
    }
    // The bytes of a stored value, or a marker that no bytes can spell when it is missing.
    std::string StoredData(int index) const {
        const auto stored = Stored(index);
        return stored ? stored->data : std::string("<missing>");
    }
    std::vector<std::string> Log(const std::string& prefix) const {
        return platform.log.Matching(prefix);
    }

    // A fresh combo box and image list, as at the next start of the program, then the load.
    void Restart() {
        spareCombos.push_back(std::make_unique<fake::FakeComboBoxEx>(&platform.log));
        AttachControls(*spareCombos.back());
        LoadHistory(dialog);
    }

    fake::FakePlatform platform;
    // Controls of restarts; declared before the dialog so that they outlive it.
    std::vector<std::unique_ptr<fake::FakeComboBoxEx>> spareCombos;
    CCopyDlg dialog{platform.Get()};
    fake::FakeComboBoxEx* combo = nullptr;
    fake::FakeImageList* folders = nullptr;

  private:
    void AttachControls(fake::FakeComboBoxEx& target) {
        combo = &target;
        dialog.m_wndTarget = combo;
        auto images = std::make_unique<fake::FakeImageList>(
            "folders", 16, 16, win::kIlcColor32 | win::kIlcMask, 20, 0, &platform.log);
        folders = images.get();
        dialog.m_imgFolders = std::move(images);
        combo->SetImageList(folders);
        platform.log.Clear();
    }
};

}  // namespace dravolin
