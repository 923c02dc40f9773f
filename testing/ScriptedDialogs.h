#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "gui/WindowOperations.h"

namespace packsmith::test {

// Dialogs that answer from queues the test fills (an empty queue cancels) and message boxes
// that are recorded. The window double uses them, and so do the tests of the real window.
class ScriptedDialogs final : public DialogOperations {
public:
    struct Box {
        std::string Text;
        std::string Caption;
    };

    std::deque<std::optional<OpenDialogResult>> OpenAnswers;
    std::deque<std::optional<std::string>> SaveListAnswers;
    std::deque<std::optional<std::string>> SaveResultsAnswers;
    std::deque<std::optional<std::string>> DirectoryAnswers;
    std::deque<std::optional<std::size_t>> ChoiceAnswers;

    std::vector<Box> InformationBoxes;
    std::vector<std::string> ErrorBoxes;
    std::vector<std::string> DirectoryStarts; // where each directory chooser opened
    struct Question {
        std::string Text;
        std::string Caption;
        std::vector<std::string> Choices;
        std::size_t Preferred = 0;
    };
    std::vector<Question> Questions;
    int AboutBoxes = 0;

    std::optional<OpenDialogResult> SelectLog() override { return Next(OpenAnswers); }
    std::optional<std::string> SaveLST() override { return Next(SaveListAnswers); }
    std::optional<std::string> SaveRes() override { return Next(SaveResultsAnswers); }
    std::optional<std::string> SelectDirectory(const std::string& start) override
    {
        DirectoryStarts.push_back(start);
        return Next(DirectoryAnswers);
    }
    void InformationBox(const std::string& text, const std::string& caption) override
    {
        InformationBoxes.push_back({text, caption});
    }
    void ErrorBox(const std::string& text) override { ErrorBoxes.push_back(text); }
    std::optional<std::size_t> ChooseOne(const std::string& text, const std::string& caption,
                                         const std::vector<std::string>& choices, std::size_t preferred) override
    {
        Questions.push_back({text, caption, choices, preferred});
        return Next(ChoiceAnswers);
    }
    void AboutBox() override { ++AboutBoxes; }

private:
    template <class T>
    static std::optional<T> Next(std::deque<std::optional<T>>& answers)
    {
        if (answers.empty())
            return std::nullopt;
        const bool confirmed = answers.front().has_value();
        T value = confirmed ? std::move(*answers.front()) : T{};
        answers.pop_front();
        if (!confirmed)
            return std::nullopt;
        return value;
    }
};

} // namespace packsmith::test
