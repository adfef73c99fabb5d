// A window for the export that records what it is asked to do.
#pragma once

#include "export/export_ui.h"

#include <optional>
#include <string>
#include <vector>

namespace exporttest {

class FakeExportUi : public exporting::ExportUi {
public:
    // What the save dialog answers; nullopt is Cancel.
    std::optional<exporting::SaveDialogAnswer> answer;
    // Answers to questions, in turn; No when none is left.
    std::vector<exporting::Answer> answers;
    std::vector<std::string> questions;

    int dialogs = 0;
    exporting::SaveDialogRequest request;
    int progressMax = -1;
    std::vector<int> progressValues;
    std::vector<std::string> events;  // "busy", "normal", "message", "max", in order
    std::vector<std::pair<std::string, exporting::MessageIcon>> messages;

    std::optional<exporting::SaveDialogAnswer> AskSavePath(const exporting::SaveDialogRequest& r) override {
        ++dialogs;
        request = r;
        return answer;
    }
    void SetProgressMax(int maximum) override {
        progressMax = maximum;
        events.push_back("max");
    }
    void SetProgressValue(int value) override { progressValues.push_back(value); }
    void SetBusy(bool busy) override { events.push_back(busy ? "busy" : "normal"); }
    void ShowMessage(const std::string& text, exporting::MessageIcon icon) override {
        messages.emplace_back(text, icon);
        events.push_back("message");
        progressAtMessage = progressValues.empty() ? -1 : progressValues.back();
    }
    exporting::Answer Ask(const std::string& text, bool) override {
        questions.push_back(text);
        if (answers.empty()) return exporting::Answer::No;
        const exporting::Answer a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    int progressAtMessage = -1;
};

}  // namespace exporttest
